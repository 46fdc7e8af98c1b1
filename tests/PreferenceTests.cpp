#include "XmlTestSupport.h"

using namespace vorn::test;

namespace
{
class PreferenceStore : public ::testing::Test
{
protected:
    juce::File settingsFile() const { return scopedHome.settingsFile(); }

    juce::File writeSettings (const juce::String& text) const
    {
        EXPECT_TRUE (settingsFile().getParentDirectory().createDirectory());
        EXPECT_TRUE (settingsFile().replaceWithText (text, false, false, nullptr));
        return settingsFile();
    }

    // Marks the file as old, so any later write shows in its modification time.
    void backdate (const juce::File& file) const
    {
        ASSERT_TRUE (file.setLastModificationTime (juce::Time (2001, 0, 1, 12, 0)));
        ASSERT_EQ (file.getLastModificationTime(), juce::Time (2001, 0, 1, 12, 0));
    }

    static juce::String storedValue (const juce::File& file, const juce::String& key)
    {
        auto xml = juce::parseXMLIfTagMatches (file, "PROPERTIES");
        if (xml == nullptr)
            return "<unreadable>";
        for (auto* e : xml->getChildWithTagNameIterator ("VALUE"))
            if (e->getStringAttribute ("name") == key)
                return e->getStringAttribute ("val");
        return "<absent>";
    }

    static double scaleOf (MarnovexTemplateAudioProcessor& p) { return p.preferenceManager.getPreference ("EditorScale", 1.0); }

    ScopedHome scopedHome;
    const TempFolder& home = scopedHome.home;
};
} // namespace

TEST_F (PreferenceStore, AnInstanceWhoseSettingsAreNeverOpenedTouchesNoFile)
{
    {
        MarnovexTemplateAudioProcessor processor;
        marnovex::PreferenceManager store ("Marnovex", "Vorn v2");
    }
    EXPECT_EQ (home.folder.getNumberOfChildFiles (juce::File::findFilesAndDirectories), 0);

    // Opening without changing anything writes nothing either.
    {
        MarnovexTemplateAudioProcessor processor;
        EXPECT_TRUE (processor.preferenceManager.isValid());
    }
    EXPECT_FALSE ((home / "Library").exists());
}

TEST_F (PreferenceStore, TheFirstSettingCreatesTheUserFileAtOnce)
{
    MarnovexTemplateAudioProcessor processor;
    processor.preferenceManager.setPreference ("EditorScale", 1.4);
    ASSERT_TRUE (settingsFile().existsAsFile());
    EXPECT_EQ (home.folder.findChildFiles (juce::File::findFiles, true).size(), 1);
    EXPECT_EQ (storedValue (settingsFile(), "EditorScale"), "1.4");

    // A later instance reads it back.
    MarnovexTemplateAudioProcessor later;
    EXPECT_EQ (scaleOf (later), 1.4);
}

TEST_F (PreferenceStore, AnUnreadableUserFileIsNeverTouched)
{
    for (const auto& content : { juce::String(),
                                 juce::String ("<?xml version=\"1.0\"?>\n<SETTINGS><VALUE name=\"EditorScale\" val=\"1.2\"/></SETTINGS>\n"),
                                 juce::String ("EditorScale=1.2\n") })
    {
        const auto file = writeSettings (content);
        backdate (file);
        {
            MarnovexTemplateAudioProcessor processor;
            processor.preferenceManager.setPreference ("EditorScale", 2.0);
            EXPECT_FALSE (processor.preferenceManager.isValid());
            EXPECT_EQ (scaleOf (processor), 1.0);
        }
        EXPECT_EQ (file.loadFileAsString(), content);
        EXPECT_EQ (file.getLastModificationTime(), juce::Time (2001, 0, 1, 12, 0));
    }
}

TEST_F (PreferenceStore, SavingKeepsEveryOtherKey)
{
    writeSettings ("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<PROPERTIES>\n"
                   "  <VALUE name=\"EditorScale\" val=\"1.0\"/>\n"
                   "  <VALUE name=\"LastFolder\" val=\"/Users/me/Presets &amp; more\"/>\n"
                   "</PROPERTIES>\n");
    {
        MarnovexTemplateAudioProcessor processor;
        processor.preferenceManager.setPreference ("EditorScale", 1.6);
    }
    EXPECT_EQ (storedValue (settingsFile(), "EditorScale"), "1.6");
    EXPECT_EQ (storedValue (settingsFile(), "LastFolder"), "/Users/me/Presets & more");
}

TEST_F (PreferenceStore, AnEqualValueWritesNothing)
{
    // Laid out unlike the framework's own writer: any rewrite would show.
    const juce::String handWritten = "<?xml version=\"1.0\"?><PROPERTIES><VALUE name=\"EditorScale\" val=\"1.2\"/>   </PROPERTIES>";
    const auto file = writeSettings (handWritten);
    backdate (file);
    {
        MarnovexTemplateAudioProcessor processor;
        processor.preferenceManager.setPreference ("EditorScale", 1.2);
    }
    EXPECT_EQ (file.loadFileAsString(), handWritten);
    EXPECT_EQ (file.getLastModificationTime(), juce::Time (2001, 0, 1, 12, 0));

    // Once written by a change, setting the same value again leaves the file alone.
    MarnovexTemplateAudioProcessor processor;
    processor.preferenceManager.setPreference ("EditorScale", 1.8);
    EXPECT_EQ (storedValue (file, "EditorScale"), "1.8");
    backdate (file);
    processor.preferenceManager.setPreference ("EditorScale", 1.8);
    EXPECT_EQ (file.getLastModificationTime(), juce::Time (2001, 0, 1, 12, 0));
}

TEST_F (PreferenceStore, KeysDifferingInCaseAreDifferentSettings)
{
    {
        MarnovexTemplateAudioProcessor processor;
        processor.preferenceManager.setPreference ("EditorScale", 1.8);
        processor.preferenceManager.setPreference ("editorscale", 0.8);
        EXPECT_EQ (scaleOf (processor), 1.8);
    }
    EXPECT_EQ (storedValue (settingsFile(), "EditorScale"), "1.8");
    EXPECT_EQ (storedValue (settingsFile(), "editorscale"), "0.8");
}

TEST_F (PreferenceStore, AFailedWriteIsRetriedLater)
{
    // A plain file where the settings folder belongs: the folder cannot be made.
    const auto blocker = settingsFile().getParentDirectory();
    ASSERT_TRUE (blocker.getParentDirectory().createDirectory());
    ASSERT_TRUE (blocker.replaceWithText ("in the way"));
    {
        MarnovexTemplateAudioProcessor processor;
        processor.preferenceManager.setPreference ("EditorScale", 1.4);
        EXPECT_FALSE (settingsFile().exists());
        EXPECT_EQ (scaleOf (processor), 1.4);

        // Still marked as changed: the destructor writes it once it can.
        ASSERT_TRUE (blocker.deleteFile());
    }
    EXPECT_EQ (storedValue (settingsFile(), "EditorScale"), "1.4");
}
