#include "StateTestSupport.h"
#include "TestDisplay.h"

#include "Marnovex_ParameterIDs.h"
#include "Marnovex_ProductStrings.h"

#include <set>

using namespace vorn::test;
using namespace marnovex;

namespace
{
juce::File writeText (const juce::File& file, const juce::String& text)
{
    EXPECT_TRUE (file.replaceWithText (text, false, false, nullptr));
    return file;
}

// The preset file layout: declaration, empty line, root, two-space indents, CRLF.
juce::String presetText (const juce::String& rootAttributes, const juce::String& children, const juce::String& rootTag = "Marnovex")
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n\r\n<" + rootTag + " " + rootAttributes + ">\r\n" + children + "</" + rootTag + ">\r\n";
}

const juce::String kParametersChild = "  <Parameters>\r\n    <PARAM id=\"Mix\" value=\"10.0\"/>\r\n    <PARAM id=\"Curve\" value=\"9.0\"/>\r\n  </Parameters>\r\n";
const juce::String kRightProduct = "product=\"Vorn v2\" version=\"2.0.0\"";

std::set<juce::String> namesOf (const juce::Array<juce::File>& files)
{
    std::set<juce::String> names;
    for (const auto& f : files)
        names.insert (f.getFileName());
    return names;
}

// An instance away from its defaults, with a current preset other than the default.
template <typename Base>
class PresetFixture : public Base
{
protected:
    void SetUp() override
    {
        Base::SetUp();
        if (this->IsSkipped() || this->HasFatalFailure())
            return;
        setValue (processor, kParameter_Mix, 80.0f);
        setValue (processor, kParameter_Feedback, 70.0f);
        setValue (processor, kParameter_TimeN, 7.0f);
        processor.presetManager.currentPresetPath = "/Users/test/Presets/User/Warm.mx";
        before = flushedState (processor);
    }

    void expectNothingChanged()
    {
        deliverPendingMessages();
        EXPECT_EQ (flushedState (processor), before);
        EXPECT_EQ (changes.count, 0);
    }

    TempFolder temp;
    MarnovexTemplateAudioProcessor processor;
    ChangeCounter changes { processor.presetManager };
    juce::MemoryBlock before;
};

using PresetLoad = PresetFixture<::testing::Test>;

class PresetWarning : public PresetFixture<DisplayTest>
{
protected:
    // Loads `file`, which must be refused with one warning box naming `expectedName`.
    void expectWarning (const juce::File& file, const juce::String& expectedName)
    {
        SCOPED_TRACE (file.getFileName().toStdString());
        processor.presetManager.loadPreset (file);
        expectNothingChanged();

        const auto alerts = modalAlertWindows();
        ASSERT_EQ (alerts.size(), 1);
        const juce::String title = "Marnovex Vorn v2";
        EXPECT_EQ (alerts[0]->getName(), title);
        EXPECT_EQ (alerts[0]->getDescription(),
                   title + ". Unable to read data from preset \"" + expectedName
                       + "\": incompatible format. Please remove this file from the preset folder.");
        EXPECT_EQ (alerts[0]->getAlertType(), juce::MessageBoxIconType::WarningIcon);
        EXPECT_EQ (alerts[0]->getNumButtons(), 1);
        dismissAlertWindows();
    }
};
} // namespace

//==============================================================================
TEST_F (PresetLoad, ASavedPresetLoadsSetsThePathAndBroadcasts)
{
    // Written as the preset bar writes it.
    MarnovexTemplateAudioProcessor source;
    setValue (source, kParameter_TimeD, 16.0f);
    setValue (source, kParameter_Curve, 6.0f);
    setValue (source, kParameter_Intensity, 33.0f);
    juce::XmlElement root (kManufacturer);
    root.setAttribute ("product", kProductName);
    root.setAttribute ("version", kProductVersion);
    root.addChildElement (source.parameters.copyState().createXml().release());
    const auto file = temp / "Dark Room.mx";
    ASSERT_TRUE (root.writeTo (file));

    processor.presetManager.loadPreset (file);
    EXPECT_EQ (processor.presetManager.currentPresetPath, file.getFullPathName());
    for (auto* parameter : source.getParameters())
    {
        const auto& id = dynamic_cast<juce::RangedAudioParameter*> (parameter)->paramID;
        EXPECT_EQ (valueOf (processor, id), valueOf (source, id)) << id;
    }
    deliverPendingMessages();
    EXPECT_EQ (changes.count, 1);

    // The current file again: assigned and broadcast once more.
    setValue (processor, kParameter_Mix, 1.0f);
    processor.presetManager.loadPreset (file);
    EXPECT_EQ (valueOf (processor, kParameter_Mix), 50.0f);
    deliverPendingMessages();
    EXPECT_EQ (changes.count, 2);

    // No version check, and the extension plays no part.
    for (const auto& [name, attributes] : { std::pair<const char*, const char*> { "Newer.mx", "product=\"Vorn v2\" version=\"9.9\"" },
                                            { "NoVersion.xml", "product=\"Vorn v2\"" } })
    {
        setValue (processor, kParameter_Mix, 80.0f);
        processor.presetManager.loadPreset (writeText (temp / name, presetText (attributes, kParametersChild)));
        EXPECT_EQ (valueOf (processor, kParameter_Mix), 10.0f) << name;
        EXPECT_EQ (processor.presetManager.currentPresetPath, (temp / name).getFullPathName());
    }
}

TEST_F (PresetLoad, ParametersChildInAnyCaseAndPerParameterRules)
{
    const auto file = writeText (temp / "Partial.mx",
                                 presetText (kRightProduct,
                                             "  <parameters>\r\n    <PARAM id=\"Curve\" value=\"4.0\"/>\r\n    <PARAM id=\"Feedback\"/>\r\n"
                                             "    <PARAM id=\"Sparkle\" value=\"12.0\"/>\r\n  </parameters>\r\n"
                                             "  <Parameters>\r\n    <PARAM id=\"Mix\" value=\"1.0\"/>\r\n  </Parameters>\r\n"));
    processor.presetManager.loadPreset (file);

    EXPECT_EQ (valueOf (processor, kParameter_Curve), 4.0f);
    EXPECT_EQ (valueOf (processor, kParameter_Feedback), 0.0f); // no value: the default
    EXPECT_EQ (valueOf (processor, kParameter_Mix), 80.0f);     // only the first matching child counts
    EXPECT_EQ (valueOf (processor, kParameter_TimeN), 7.0f);    // not in the file: kept
    EXPECT_EQ (processor.presetManager.currentPresetPath, file.getFullPathName());
    deliverPendingMessages();
    EXPECT_EQ (changes.count, 1);
}

TEST_F (PresetLoad, UnreadableFilesAndFilesWithoutParametersChangeNothingAndShowNothing)
{
    const std::string stray = presetText (kRightProduct, kParametersChild).toStdString() + "\xf0";
    ASSERT_TRUE ((temp / "Stray.mx").replaceWithData (stray.data(), stray.size()));

    for (const auto& file : { temp / "Missing.mx", temp.folder, writeText (temp / "Empty.mx", {}),
                              writeText (temp / "Text.mx", "Mix = 10"),
                              writeText (temp / "Cut.mx", presetText (kRightProduct, kParametersChild).upToLastOccurrenceOf ("</", false, false)),
                              writeText (temp / "NoTree.mx", presetText (kRightProduct, "  <Settings><PARAM id=\"Mix\" value=\"10.0\"/></Settings>\r\n")),
                              writeText (temp / "Bare.mx", "<Marnovex product=\"Vorn v2\"/>"),
                              // Text the framework's parser never returns from, or reads past the end of.
                              writeText (temp / "Endless.mx", presetText (kRightProduct, "<Parameters><?pi?>text</Parameters>")),
                              writeText (temp / "Entity.mx", presetText (kRightProduct, kParametersChild + "&<x>&#x;")),
                              temp / "Stray.mx" })
        processor.presetManager.loadPreset (file);

    expectNothingChanged();
    EXPECT_TRUE (modalAlertWindows().isEmpty());
}

//==============================================================================
TEST_F (PresetWarning, AnotherMakerOrProductWarnsAndChangesNothing)
{
    expectWarning (writeText (temp / "Dark.mx", presetText (kRightProduct, kParametersChild, "marnovex")), "Dark");
    expectWarning (writeText (temp / "Other.mx", presetText (kRightProduct, kParametersChild, "Vorn")), "Other");
    expectWarning (writeText (temp / "Case.mx", presetText ("product=\"vorn v2\"", kParametersChild)), "Case");
    expectWarning (writeText (temp / "Attr.mx", presetText ("Product=\"Vorn v2\"", kParametersChild)), "Attr");
    expectWarning (writeText (temp / "None.mx", presetText ("version=\"2.0.0\"", kParametersChild)), "None");
}

TEST_F (PresetWarning, TheWarningNamesTheFileWithoutItsLastExtension)
{
    expectWarning (writeText (temp / "My Preset.mx", presetText ("product=\"x\"", kParametersChild)), "My Preset");
    expectWarning (writeText (temp / "a.b.mx", presetText ("product=\"x\"", kParametersChild)), "a.b");
    expectWarning (writeText (temp / "Say \"Hi\".MX", presetText ("product=\"x\"", kParametersChild)), "Say \"Hi\"");

    // Each refused load raises a box of its own.
    processor.presetManager.loadPreset (temp / "a.b.mx");
    processor.presetManager.loadPreset (temp / "a.b.mx");
    deliverPendingMessages();
    EXPECT_EQ (modalAlertWindows().size(), 2);
}

//==============================================================================
TEST (PresetList, ListsPresetFilesBesideTheCurrentOneInAnyCase)
{
    TempFolder temp;
    const auto folder = temp / "[User] *?"; // taken literally, not as a pattern
    folder.createDirectory();
    for (auto* name : { "X.MX", "x.mx", "._x.mx", "Mixed.Mx", "notes.txt", "x.mxl", "mx", "Sub/Inner.mx" })
    {
        folder.getChildFile (name).getParentDirectory().createDirectory();
        writeText (folder.getChildFile (name), "<Marnovex/>");
    }
    folder.getChildFile ("Folder.mx").createDirectory();
    writeText (temp / "Outside.mx", "<Marnovex/>");

    MarnovexTemplateAudioProcessor processor;
    // Only a name: the current file itself need not exist.
    processor.presetManager.currentPresetPath = folder.getChildFile ("Gone.mx").getFullPathName();
    EXPECT_EQ (namesOf (processor.presetManager.getPresetList()), (std::set<juce::String> { "X.MX", "x.mx", "._x.mx", "Mixed.Mx" }));

    // Scanned afresh at every call.
    writeText (folder.getChildFile ("New.mx"), "<Marnovex/>");
    EXPECT_EQ (processor.presetManager.getPresetList().size(), 5);

    for (const auto& path : { (temp / "Missing/Any.mx").getFullPathName(), juce::String ("Outside.mx"), juce::String() })
    {
        processor.presetManager.currentPresetPath = path;
        EXPECT_TRUE (processor.presetManager.getPresetList().isEmpty()) << path;
    }
}
