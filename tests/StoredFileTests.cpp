// Stored files as a user meets them: presets saved by other tools, odd
// entries in the preset folder, damaged or hostile settings files. Each must
// load, or be passed over without blocking, changing or rewriting anything.

#include "XmlTestSupport.h"

#include "Marnovex_ParameterIDs.h"

#include <atomic>
#include <fcntl.h>
#include <functional>
#include <thread>
#include <unistd.h>

using namespace vorn::test;
using namespace marnovex;

namespace
{
// Releases a reader blocked in opening a FIFO at `fifo` once a generous time has passed,
// by opening it for writing (and closing it at once, so the reader sees an
// empty file). Reports whether it had to: nothing may ever block on a FIFO.
class FifoRelease
{
public:
    explicit FifoRelease (const juce::File& fifo)
        : path (fifo.getFullPathName().toStdString()),
          thread ([this]
                  {
                      for (int waited = 0; waited < 3000 && ! done; waited += 5)
                          std::this_thread::sleep_for (std::chrono::milliseconds (5));
                      struct stat info;
                      if (done || ::stat (path.c_str(), &info) != 0 || ! S_ISFIFO (info.st_mode))
                          return;
                      const int handle = ::open (path.c_str(), O_WRONLY | O_NONBLOCK);
                      released = handle >= 0;
                      if (handle >= 0)
                          ::close (handle);
                  })
    {
    }

    ~FifoRelease() { hadToRelease(); }

    bool hadToRelease()
    {
        done = true;
        if (thread.joinable())
            thread.join();
        return released;
    }

private:
    std::string path;
    std::atomic<bool> done { false }, released { false };
    std::thread thread;
};

const juce::String kDeclaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";

// A preset that sets Mix to 10, with `beforeRoot` ahead of its root element
// and `inRoot` inside it.
juce::String presetText (const juce::String& beforeRoot = kDeclaration + "\r\n\r\n", const juce::String& inRoot = {})
{
    return beforeRoot + "<Marnovex product=\"Vorn v2\" version=\"2.0.0\">\r\n" + inRoot
         + "  <Parameters>\r\n    <PARAM id=\"Mix\" value=\"10.0\"/>\r\n  </Parameters>\r\n</Marnovex>\r\n";
}

// A settings file as the framework writes it, with one more value.
juce::String settingsText (const juce::String& extraValue, const juce::String& beforeRoot = kDeclaration + "\n\n")
{
    return beforeRoot + "<PROPERTIES>\n  <VALUE name=\"EditorScale\" val=\"1.5\"/>\n  " + extraValue + "\n</PROPERTIES>\n";
}

std::function<void (const juce::File&)> bytes (const std::string& content)
{
    return [content] (const juce::File& file) { ASSERT_TRUE (file.replaceWithData (content.data(), content.size())); };
}

std::function<void (const juce::File&)> text (const juce::String& content)
{
    return bytes (content.toStdString());
}

// Settings in one of the framework's binary layouts, written by the framework itself.
std::function<void (const juce::File&)> binarySettings (juce::PropertiesFile::StorageFormat format, const juce::String& note)
{
    return [format, note] (const juce::File& file)
    {
        juce::PropertiesFile::Options options;
        options.storageFormat = format;
        options.millisecondsBeforeSaving = -1;
        juce::PropertiesFile settings (file, options);
        settings.setValue ("EditorScale", 1.5);
        settings.setValue ("Note", note);
        ASSERT_TRUE (settings.save());
    };
}

enum class Expected
{
    loads,         // listed beside the current preset; loading sets its values and path
    refused,       // listed, but loading changes nothing
    notListed,     // not listed; loading it changes nothing and never blocks
    settingsKept,  // the store reads the settings file and remembers zoom
    settingsLeft   // the store opens no settings: zoom is not remembered, the file stays byte for byte
};

struct StoredFileCase
{
    const char* what;
    std::function<void (const juce::File&)> make;
    Expected expected;
};

bool isPresetCase (Expected e) { return e == Expected::loads || e == Expected::refused || e == Expected::notListed; }

void checkPreset (const StoredFileCase& c, const juce::File& folder)
{
    const auto file = folder.getChildFile ("Case.mx");
    c.make (file);

    MarnovexTemplateAudioProcessor processor;
    setValue (processor, kParameter_Mix, 80.0f);
    processor.presetManager.currentPresetPath = folder.getChildFile ("Current.mx").getFullPathName();
    ChangeCounter changes { processor.presetManager };
    const auto before = flushedState (processor);

    EXPECT_EQ (processor.presetManager.getPresetList().contains (file), c.expected != Expected::notListed);

    FifoRelease release (file);
    processor.presetManager.loadPreset (file);
    EXPECT_FALSE (release.hadToRelease()) << "loading blocked";
    deliverPendingMessages();

    if (c.expected == Expected::loads)
    {
        EXPECT_EQ (valueOf (processor, kParameter_Mix), 10.0f);
        EXPECT_EQ (processor.presetManager.currentPresetPath, file.getFullPathName());
        EXPECT_EQ (changes.count, 1);
    }
    else
    {
        EXPECT_EQ (flushedState (processor), before);
        EXPECT_EQ (changes.count, 0);
    }
}

void checkSettings (const StoredFileCase& c, const juce::File& settingsFile)
{
    ASSERT_TRUE (settingsFile.getParentDirectory().createDirectory());
    c.make (settingsFile);

    juce::MemoryBlock original;
    const bool regular = isRegularFile (settingsFile);
    if (regular)
    {
        ASSERT_TRUE (settingsFile.loadFileAsData (original));
        ASSERT_TRUE (settingsFile.setLastModificationTime (juce::Time (2001, 0, 1, 12, 0)));
    }

    {
        MarnovexTemplateAudioProcessor processor;
        FifoRelease release (settingsFile);
        const bool kept = c.expected == Expected::settingsKept;
        EXPECT_EQ (processor.preferenceManager.isValid(), kept);
        EXPECT_FALSE (release.hadToRelease()) << "opening the settings blocked";
        EXPECT_EQ (processor.preferenceManager.getPreference ("EditorScale", 1.0), kept ? 1.5 : 1.0);
        processor.preferenceManager.setPreference ("EditorScale", 2.0);
    }

    MarnovexTemplateAudioProcessor later;
    EXPECT_EQ (later.preferenceManager.getPreference ("EditorScale", 1.0), c.expected == Expected::settingsKept ? 2.0 : 1.0);

    if (c.expected == Expected::settingsLeft && regular)
    {
        juce::MemoryBlock now;
        ASSERT_TRUE (settingsFile.loadFileAsData (now));
        EXPECT_EQ (now, original);
        EXPECT_EQ (settingsFile.getLastModificationTime(), juce::Time (2001, 0, 1, 12, 0));
    }
}
} // namespace

TEST (StoredFiles, LoadWhatIsReadableAndPassOverTheRestWithoutBlockingOrChanges)
{
    const auto hangsOnSave = juce::String ("<a><?p?>x</a>");
    const auto pad = juce::String::repeatedString ("x", 8180);

    const StoredFileCase cases[] = {
        // Presets written by other tools or edited by hand.
        { "preset saved as UTF-16, little-endian, with a byte-order mark", bytes (utf16Bytes (presetText(), false)), Expected::loads },
        { "preset saved as UTF-16, big-endian, with a byte-order mark", bytes (utf16Bytes (presetText(), true)), Expected::loads },
        { "preset saved as UTF-8 with a byte-order mark", bytes ("\xef\xbb\xbf" + presetText().toStdString()), Expected::loads },
        { "comment holding '&'", text (presetText (kDeclaration + "<!-- Bass & Drums -->")), Expected::loads },
        { "comments holding '<?' and '<!DOCTYPE'", text (presetText (kDeclaration, "  <!-- <? -->\r\n  <!-- <!DOCTYPE x> -->\r\n")), Expected::loads },
        { "CDATA section holding '&'", text (presetText (kDeclaration, "  <Notes><![CDATA[Rock & Roll]]></Notes>\r\n")), Expected::loads },
        { "vertical tab before the declaration", text (presetText ("\v" + kDeclaration)), Expected::loads },
        { "link to a preset", [] (const juce::File& f)
          {
              ASSERT_TRUE (f.getSiblingFile ("Target.data").replaceWithText (presetText()));
              ASSERT_TRUE (f.getSiblingFile ("Target.data").createSymbolicLink (f, true));
          }, Expected::loads },

        // Presets that must not be trusted.
        { "instruction followed by text", text (presetText (kDeclaration, "  <?pi?>text\r\n")), Expected::refused },
        { "external DTD naming a FIFO", [] (const juce::File& f)
          {
              makeFifo (f.getSiblingFile ("fifo.dtd"));
              text ("<!DOCTYPE Marnovex SYSTEM \"fifo.dtd\">" + presetText ({}, "<x v='&e;'/>")) (f);
          }, Expected::refused },
        { "unfinished character reference at the end", text (presetText() + "&#x"), Expected::refused },
        { "FIFO named *.mx", [] (const juce::File& f) { makeFifo (f); }, Expected::notListed },
        { "dangling link named *.mx", [] (const juce::File& f) { ASSERT_TRUE (f.getSiblingFile ("Gone").createSymbolicLink (f, true)); }, Expected::notListed },
        { "folder named *.mx", [] (const juce::File& f) { ASSERT_TRUE (f.createDirectory()); }, Expected::notListed },

        // User settings files.
        { "settings as the framework writes them", text (settingsText ({})), Expected::settingsKept },
        { "settings saved as UTF-16", bytes (utf16Bytes (settingsText ("<!-- Bass & Drums -->"), false)), Expected::settingsKept },
        { "settings in the framework's binary layout", binarySettings (juce::PropertiesFile::storeAsBinary, "plain"), Expected::settingsKept },
        { "settings in the framework's compressed layout", binarySettings (juce::PropertiesFile::storeAsCompressedBinary, " <b/>"), Expected::settingsKept },
        { "settings holding an instruction followed by text", text (settingsText ("<?p?>x")), Expected::settingsLeft },
        { "settings value the framework hangs on when it saves",
          text (settingsText ("<VALUE name=\"Note\" val=\"&lt;a&gt;&lt;?p?&gt;x&lt;/a&gt;\"/>")),
          Expected::settingsLeft },
        { "binary settings value the framework hangs on when it saves", binarySettings (juce::PropertiesFile::storeAsBinary, hangsOnSave), Expected::settingsLeft },
        { "compressed settings value the framework hangs on when it saves",
          binarySettings (juce::PropertiesFile::storeAsCompressedBinary, " \t" + hangsOnSave), Expected::settingsLeft },
        { "settings whose DTD names a FIFO", [] (const juce::File& f)
          {
              makeFifo (f.getSiblingFile ("fifo.dtd"));
              text (settingsText ("<VALUE name=\"x\" val=\"&e;\"/>", "<!DOCTYPE PROPERTIES SYSTEM \"fifo.dtd\">")) (f);
          }, Expected::settingsLeft },
        { "settings whose document element's start tag ends past the framework's first read",
          text (settingsText ({}, kDeclaration).replace ("<PROPERTIES>", "<PROPERTIES pad=\"" + pad + "&#x41;\">")), Expected::settingsLeft },
        { "settings with malformed UTF-8", text (settingsText ({}).replace ("1.5", "1.5\xc3")), Expected::settingsLeft },
        { "settings saved as UTF-16 with a character outside the BMP",
          bytes (utf16Bytes (settingsText (juce::String::fromUTF8 ("<VALUE name=\"Note\" val=\"\xf0\x9f\x98\x80\"/>")), false)), Expected::settingsLeft },
        { "FIFO in place of the settings file", [] (const juce::File& f) { makeFifo (f); }, Expected::settingsLeft },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        ScopedHome scopedHome;
        if (isPresetCase (c.expected))
        {
            const auto folder = scopedHome.home / "Presets";
            ASSERT_TRUE (folder.createDirectory());
            checkPreset (c, folder);
        }
        else
        {
            checkSettings (c, scopedHome.settingsFile());
        }
    }
}

TEST (StoredFiles, TheMachineWideSettingsFileIsCheckedAlike)
{
    // The store opens the machine-wide fallback only after the same check.
    TempFolder temp;
    const auto file = temp / "Vorn v2.settings";
    EXPECT_TRUE (PreferenceManager::isSafeToOpen (file)); // missing: nothing to read

    for (const auto& [content, safe] : { std::pair<juce::String, bool> { settingsText ({}), true },
                                         { settingsText ("<?p?>x"), false },
                                         { settingsText ("<VALUE name=\"Note\" val=\"&lt;a&gt;&lt;?p?&gt;x&lt;/a&gt;\"/>"), false },
                                         { settingsText ("<VALUE name=\"Note\" val=\"a &lt; b\"/>"), true },
                                         { settingsText ("<VALUE name=\"Note\" val=\"&lt;b/&gt;\"/>"), true },
                                         { "PROP", true } })
    {
        ASSERT_TRUE (file.replaceWithText (content));
        EXPECT_EQ (PreferenceManager::isSafeToOpen (file), safe) << content;
    }

    ASSERT_TRUE (file.deleteFile());
    EXPECT_FALSE (PreferenceManager::isSafeToOpen (makeFifo (file)));
}
