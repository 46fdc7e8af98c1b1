#include "PresetBarTestSupport.h"
#include "TestOutput.h"

#include "Marnovex_Colours.h"

#include <csignal>
#include <map>
#include <sys/resource.h>
#include <sys/wait.h>

using namespace vorn::test;
using namespace marnovex;

namespace
{
// The desktop programs behind the native file dialog and "reveal", replaced
// by the stand-ins in tests/standins, first on PATH while this lives. Each run
// of a stand-in leaves a line in a log; a dialog answers as `answer` says at
// the moment it opens. The framework decides once per process that a native
// dialog exists, so every test that opens a dialog in this process uses these.
class StandInPrograms
{
public:
    struct Run
    {
        juce::String program;
        int pid = 0;
        juce::File workingDirectory;
        juce::StringArray arguments;
    };

    StandInPrograms()
    {
        EXPECT_TRUE (bin.createDirectory().wasOk());
        for (const auto* name : { "zenity", "xdg-open" })
        {
            const auto copy = bin.getChildFile (name);
            EXPECT_TRUE (juce::File (VORN_TEST_STANDINS_DIR).getChildFile (name).copyFileTo (copy) && copy.setExecutePermission (true));
        }
        setenv ("PATH", (bin.getFullPathName() + ":" + previousPath).toRawUTF8(), 1);
        setenv ("VORN_STANDIN_LOG", log.getFullPathName().toRawUTF8(), 1);
        unsetenv ("KDE_FULL_SESSION"); // or the framework would look for kdialog
        answer ("cancel");
    }

    ~StandInPrograms()
    {
        setenv ("PATH", previousPath.toRawUTF8(), 1);

        // The framework never waits for the programs it starts for "reveal" or
        // for a dialog it closed: reap them rather than leave zombies behind.
        while (waitpid (-1, nullptr, WNOHANG) > 0)
        {
        }
    }

    static void answer (const juce::String& reply) { setenv ("VORN_STANDIN_ANSWER", reply.toRawUTF8(), 1); }
    static void answer (const juce::File& chosen) { answer (chosen.getFullPathName()); }

    std::vector<Run> runs() const
    {
        std::vector<Run> result;
        for (const auto& line : juce::StringArray::fromLines (log.loadFileAsString()))
        {
            auto fields = juce::StringArray::fromTokens (line, "\t", {});
            if (fields.size() >= 3)
            {
                result.push_back ({ fields[0], fields[1].fromFirstOccurrenceOf ("pid=", false, false).getIntValue(),
                                    juce::File (fields[2].fromFirstOccurrenceOf ("cwd=", false, false)), {} });
                fields.removeRange (0, 3);
                result.back().arguments = fields;
            }
        }
        return result;
    }

    bool waitForRuns (size_t count) const
    {
        return runMessageLoopUntil ([this, count] { return runs().size() >= count; });
    }

    void clearLog() const { log.deleteFile(); }

    // True once the process has ended by the kill signal; it is then reaped.
    static bool wasKilled (int pid)
    {
        int status = 0;
        for (int i = 0; i < 500; ++i)
        {
            const auto reaped = waitpid (pid, &status, WNOHANG);
            if (reaped != 0)
                return reaped == pid && WIFSIGNALED (status) && WTERMSIG (status) == SIGKILL;
            juce::Thread::sleep (10);
        }
        return false;
    }

private:
    TempFolder folder;
    const juce::File bin = folder / "bin", log = folder / "runs.log";
    const juce::String previousPath = juce::SystemStats::getEnvironmentVariable ("PATH", "/usr/bin:/bin");
};

bool hasArgument (const StandInPrograms::Run& run, const juce::String& argument) { return run.arguments.contains (argument); }

// The working directory of the test process, put back after each test in
// case a dialog moved it.
struct WorkingDirectoryGuard
{
    ~WorkingDirectoryGuard() { original.setAsCurrentWorkingDirectory(); }
    const juce::File original = juce::File::getCurrentWorkingDirectory();
};

class PresetBarDialogs : public PresetBarFixture<DisplayTest>
{
protected:
    // Opens the save dialog, which answers `reply`, and waits for its callback.
    void saveAs (const juce::String& reply)
    {
        StandInPrograms::answer (reply);
        ASSERT_TRUE (openAndWaitForCallback ([this] { click (bar.saveButton); })) << "the save dialog never answered";
        deliverPendingMessages();
    }

    WorkingDirectoryGuard workingDirectory;
    StandInPrograms programs;
};

using PresetBarLayout = PresetBarFixture<::testing::Test>;
using PresetBarSteps = PresetBarDialogs;
using PresetBarSaving = PresetBarDialogs;
using PresetBarBadFiles = PresetBarDialogs;
} // namespace

//==============================================================================
TEST_F (PresetBarLayout, WidgetsTheirPlacesGlyphsColoursAndStackingOrder)
{
    for (const int width : { 590, 760 })
    {
        juce::Component window;
        PresetController presetBar (window, processor.presetManager, width);
        EXPECT_EQ (presetBar.chooser, nullptr);

        // Lowest in the window, in this order: display, previous, next, load, save.
        const juce::Array<juce::Component*> order { &presetBar.presetName, &presetBar.previousButton, &presetBar.nextButton,
                                                    &presetBar.loadButton, &presetBar.saveButton };
        EXPECT_EQ (window.getChildren(), order);
        const juce::Rectangle<int> bounds[] = { { 150, 15, width - 300, 20 }, { width - 111, 16, 20, 20 }, { width - 86, 16, 20, 20 },
                                                { width - 61, 16, 20, 20 },   { width - 34, 16, 20, 20 } };
        const int shapes[] = { 0, 2, 3, 5, 4 };
        for (int i = 0; i < order.size(); ++i)
        {
            SCOPED_TRACE (juce::String (width) + " wide, widget " + juce::String (i));
            EXPECT_EQ (order[i]->getBounds(), bounds[i]);
            EXPECT_TRUE (order[i]->isVisible());
            EXPECT_EQ (order[i]->findColour (Marnovex_ShapeButton::foregroundColourId), Colours::white);
            EXPECT_EQ (order[i]->findColour (Marnovex_ShapeButton::pressedColourId), Colours::grey);
            if (auto* button = dynamic_cast<Marnovex_ShapeButton*> (order[i]))
            {
                EXPECT_EQ (button->shape, shapes[i]);
            }
        }
    }

    // For a person to look at: the bar on the window's background.
    processor.presetManager.sendChangeMessage();
    deliverPendingMessages();
    juce::Image image (juce::Image::ARGB, parent.getWidth(), parent.getHeight(), true);
    {
        juce::Graphics g (image);
        g.fillAll (Colours::background);
        g.drawImageAt (renderComponent (parent), 0, 0);
    }
    EXPECT_TRUE (writeTestImage (image, "preset-bar"));
}

TEST_F (PresetBarLayout, TheNameChangesOnlyWhenTheManagersBroadcastArrives)
{
    writePreset (presets / "User/Dark.mx", 20.0f);
    EXPECT_EQ (bar.presetName.text, "Default");

    processor.presetManager.currentPresetPath = (presets / "User/Night.mx").getFullPathName();
    processor.presetManager.sendChangeMessage();
    EXPECT_EQ (bar.presetName.text, "Default");
    deliverPendingMessages();
    EXPECT_EQ (bar.presetName.text, "Night");

    // A step loads at once; the name follows with the broadcast.
    processor.presetManager.currentPresetPath = current.getFullPathName();
    bar.buttonClicked (&bar.nextButton);
    EXPECT_EQ (currentPath(), (presets / "User/Dark.mx").getFullPathName());
    EXPECT_EQ (bar.presetName.text, "Night");
    deliverPendingMessages();
    EXPECT_EQ (bar.presetName.text, "Dark");
}

//==============================================================================
TEST_F (PresetBarSteps, PreviousAndNextFollowTheCaseBlindOrderAndWrapAround)
{
    struct Case { const char* what; std::vector<const char*> files; const char* current; const char* previous; const char* next; };

    // Upper-cased, a space sorts before the full stop, and letters before the
    // underscore (which lower-cased would come before them), digits first.
    const std::vector<const char*> tricky { "_Init.mx", "Zed.mx", "A.mx", "A b.mx", "9 Lives.mx" };
    const Case cases[] = {
        { "middle", tricky, "A.mx", "A b.mx", "Zed.mx" },
        { "space before full stop", tricky, "A b.mx", "9 Lives.mx", "A.mx" },
        { "letters before the underscore", tricky, "_Init.mx", "Zed.mx", "9 Lives.mx" },
        { "first wraps back", tricky, "9 Lives.mx", "_Init.mx", "A b.mx" },
        { "lower-case twin", { "b.mx", "a.mx", "A.mx" }, "a.mx", "A.mx", "b.mx" },
        { "upper-case twin", { "b.mx", "a.mx", "A.mx" }, "A.mx", "b.mx", "a.mx" },
        { "current named in another case", tricky, "zed.MX", "A.mx", "_Init.mx" },
        { "alone in its folder", { "Only.mx" }, "Only.mx", "Only.mx", "Only.mx" },
        { "any case of the extension, files only", { "Loud.MX", "quiet.mx", "notes.txt", "Sub.mx/" }, "Loud.MX", "quiet.mx", "quiet.mx" },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        TempFolder folder;
        std::map<juce::String, float> mixOf;
        for (const juce::String name : c.files)
            if (name.endsWith ("/"))
                (folder / name.dropLastCharacters (1)).createDirectory();
            else
                writePreset (folder / name, mixOf[name] = 10.0f + (float) mixOf.size());

        for (auto [button, expected] : { std::pair<juce::Button*, const char*> { &bar.previousButton, c.previous }, { &bar.nextButton, c.next } })
        {
            processor.presetManager.currentPresetPath = (folder / c.current).getFullPathName();
            const auto broadcasts = changes.count;
            click (*button);
            EXPECT_EQ (currentPath(), (folder / expected).getFullPathName()) << (button == &bar.nextButton ? "next" : "previous");
            EXPECT_EQ (valueOf (processor, kParameter_Mix), mixOf[expected]);
            EXPECT_EQ (changes.count, broadcasts + 1);
        }
    }
}

TEST_F (PresetBarSteps, AnUnknownCurrentPresetStepsToTheDefault)
{
    // Kept to one test: the default preset's place is fixed and shared by
    // every test process running at the same time.
    const juce::File defaultPreset (kDefaultPresetPath);
    if (defaultPreset.exists())
        GTEST_SKIP() << "a preset already exists at " << kDefaultPresetPath << "; this test leaves it alone";

    writePreset (presets / "Other/Present.mx", 20.0f);
    (presets / "Empty").createDirectory();
    const auto stepFromEachUnknownPreset = [&] (const juce::String& expectedPath, float expectedMix)
    {
        // Deleted, in a missing folder, in an empty folder.
        for (const auto& unknown : { presets / "Other/Gone.mx", presets / "Missing/Gone.mx", presets / "Empty/Gone.mx" })
            for (auto* button : { &bar.previousButton, &bar.nextButton })
            {
                SCOPED_TRACE (unknown.getFullPathName());
                processor.presetManager.currentPresetPath = unknown.getFullPathName();
                setValue (processor, kParameter_Mix, 70.0f);
                click (*button);
                EXPECT_EQ (currentPath(), expectedPath.isEmpty() ? unknown.getFullPathName() : expectedPath);
                EXPECT_EQ (valueOf (processor, kParameter_Mix), expectedMix);
            }
    };

    // No default preset on this machine: nothing changes.
    stepFromEachUnknownPreset ({}, 70.0f);
    EXPECT_EQ (changes.count, 0);

    // Create the default preset and only the folders that were missing.
    juce::Array<juce::File> createdFolders;
    for (auto folder = defaultPreset.getParentDirectory(); ! folder.exists(); folder = folder.getParentDirectory())
        createdFolders.insert (0, folder);
    const auto created = defaultPreset.getParentDirectory().createDirectory().wasOk()
                      && defaultPreset.replaceWithText (presetFileText ({ "<PARAM id=\"Mix\" value=\"55.0\"/>" }), false, false, nullptr);
    if (created)
        stepFromEachUnknownPreset (kDefaultPresetPath, 55.0f);

    defaultPreset.deleteFile();
    for (int i = createdFolders.size(); --i >= 0;)
        createdFolders[i].deleteFile();
    EXPECT_FALSE (defaultPreset.exists());
    if (! created)
        GTEST_SKIP() << "cannot create " << kDefaultPresetPath << " as this user; stepping to the default preset not checked";
}

//==============================================================================
TEST_F (PresetBarDialogs, EachWayOfOpeningOneStartsWhereItShouldAndLeavesTheWorkingDirectoryAlone)
{
    const auto elsewhere = presets / "Elsewhere";
    ASSERT_TRUE (elsewhere.createDirectory().wasOk() && elsewhere.setAsCurrentWorkingDirectory());
    for (const auto* folder : { "Factory", "factory", "Other" })
        (presets / folder).createDirectory();

    struct Case { const char* what; juce::String current; std::function<void()> open; juce::Array<juce::File> folders; juce::String name; bool save; };
    const auto press = [this] (int keys, juce::ModifierKeys::Flags button = juce::ModifierKeys::leftButtonModifier)
    { return [this, keys, button] { pressPresetName (juce::ModifierKeys (keys), button); }; };
    const auto clickOn = [this] (juce::Button& b) { return [this, &b] { click (b); }; };
    const auto home = juce::File::getSpecialLocation (juce::File::userHomeDirectory);
    const juce::File productFolder (kProductPresetPath);
    // The product folder, or where the framework goes when it is missing
    // (another test process may be creating it at this moment).
    const juce::Array<juce::File> productFolders { productFolder, productFolder.getParentDirectory(), home };
    const auto other = (presets / "Other/Warm.mx").getFullPathName();
    const auto ctrl = juce::ModifierKeys::commandModifier, alt = juce::ModifierKeys::altModifier;

    const Case cases[] = {
        // Ctrl reveals the current preset's folder (no folders, no dialog), whatever else is held.
        { "ctrl", other, press (ctrl), {}, {}, false },
        { "ctrl+alt", other, press (ctrl | alt), {}, {}, false },
        { "plain press: the current preset", other, press (0), { presets / "Other" }, "Warm.mx", false },
        { "right button", other, press (0, juce::ModifierKeys::rightButtonModifier), { presets / "Other" }, "Warm.mx", false },
        { "shift", other, press (juce::ModifierKeys::shiftModifier), { presets / "Other" }, "Warm.mx", false },
        { "alt: the product folder", other, press (alt), productFolders, "Vorn v2", false },
        { "the load button: the product folder", other, clickOn (bar.loadButton), productFolders, "Vorn v2", false },
        { "save: factory preset proposed among the user's", (presets / "Factory/Warm.mx").getFullPathName(), clickOn (bar.saveButton),
          { presets / "User" }, "Warm.mx", true },
        { "save: lower-case factory stays", (presets / "factory/Warm.mx").getFullPathName(), clickOn (bar.saveButton),
          { presets / "factory" }, "Warm.mx", true },
        { "save: the default, in the User folder", kDefaultPresetPath, clickOn (bar.saveButton),
          { juce::File (kProductPresetPath + "/User"), home }, "Default.mx", true },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        programs.clearLog();
        bar.chooser.reset();
        processor.presetManager.currentPresetPath = c.current;
        const auto open = [&] {
            c.open();
            EXPECT_EQ (juce::File::getCurrentWorkingDirectory(), elsewhere);
        };

        const auto reveals = c.folders.isEmpty();
        if (reveals)
            open();
        ASSERT_TRUE (reveals ? programs.waitForRuns (1) : openAndWaitForCallback (open));
        ASSERT_EQ (programs.runs().size(), 1u);
        const auto run = programs.runs().front();
        if (reveals)
        {
            EXPECT_EQ (run.program, "xdg-open");
            EXPECT_EQ (run.arguments, juce::StringArray (juce::File (c.current).getParentDirectory().getFullPathName()));
            EXPECT_EQ (bar.chooser, nullptr) << "a dialog opened";
            continue;
        }

        EXPECT_EQ (run.program, "zenity");
        EXPECT_TRUE (c.folders.contains (run.workingDirectory)) << run.workingDirectory.getFullPathName();
        for (const auto& argument : { "--filename=" + c.name, juce::String ("--file-filter=*.mx"),
                                      juce::String (c.save ? "--title=Save Preset" : "--title=Load Preset") })
            EXPECT_TRUE (hasArgument (run, argument)) << argument << " not in " << run.arguments.joinIntoString (" ");
        EXPECT_EQ (hasArgument (run, "--save"), c.save);
        EXPECT_EQ (hasArgument (run, "--confirm-overwrite"), c.save);

        // Cancelled: nothing happens.
        EXPECT_EQ ((c.save ? saveResults : loadResults).getLast(), juce::File());
        deliverPendingMessages();
        EXPECT_EQ (currentPath(), c.current);
    }
    EXPECT_EQ (changes.count, 0);
}

TEST_F (PresetBarDialogs, ASecondDialogReplacesTheFirstAndAGoneBarHearsNothing)
{
    const auto dark = writePreset (presets / "User/Dark.mx", 20.0f);

    // A save dialog nobody answers, then a load dialog that chooses Dark.
    StandInPrograms::answer ("wait");
    click (bar.saveButton);
    ASSERT_TRUE (programs.waitForRuns (1));
    const auto first = programs.runs().front();

    StandInPrograms::answer (dark);
    ASSERT_TRUE (openAndWaitForCallback ([this] { click (bar.loadButton); }));
    EXPECT_TRUE (StandInPrograms::wasKilled (first.pid)) << "the first dialog is still open";
    EXPECT_EQ (namesShownAfterCallbacks, juce::StringArray ("Default")) << "the name changed before the broadcast";
    deliverPendingMessages();
    EXPECT_EQ (loadResults, juce::Array<juce::File> ({ dark }));
    EXPECT_TRUE (saveResults.isEmpty());
    EXPECT_EQ (currentPath(), dark.getFullPathName());
    EXPECT_EQ (valueOf (processor, kParameter_Mix), 20.0f);
    EXPECT_EQ (changes.count, 1);
    EXPECT_EQ (bar.presetName.text, "Dark");

    // A bar destroyed with its dialog open: the dialog goes, nothing calls back.
    programs.clearLog();
    {
        juce::Component window;
        PresetController shortLived (window, processor.presetManager, 590);
        shortLived.loadCallback = [] (const juce::FileChooser&) { ADD_FAILURE() << "a gone bar was called back"; };
        StandInPrograms::answer ("wait");
        shortLived.openLoadPresetDialog (true);
        ASSERT_TRUE (programs.waitForRuns (1));
    }
    EXPECT_TRUE (StandInPrograms::wasKilled (programs.runs().front().pid));
    deliverPendingMessages();
    EXPECT_EQ (changes.count, 1);
}

//==============================================================================
TEST_F (PresetBarSaving, SavedPresetsMatchTheFormatByteForByteGetTheSuffixAndConfirmReplacing)
{
    const auto bright = writePreset (presets / "User/Bright.mx", 20.0f);
    const auto brightBefore = fileText (bright);
    for (const auto& [id, value] : { std::pair<juce::String, float> { kParameter_Mix, 37.0f }, { kParameter_Feedback, 61.0f },
                                     { kParameter_Curve, 9.0f }, { kParameter_TimeN, 5.0f }, { kParameter_Intensity, 42.5f } })
        setValue (processor, id, value);
    const auto newText = expectedPresetText (processor);
    ASSERT_NE (newText.find ("<PARAM id=\"Mix\" value=\"37.0\"/>"), std::string::npos) << newText;

    struct Case
    {
        const char* reply;      // the dialog's answer, inside the User folder
        const char* written;    // the file that must now hold the settings, or none
        const char* confirmBox; // the button clicked on the replacement box, or none
    };
    const Case cases[] = {
        { "My \"Sound\" & Co.mx", "My \"Sound\" & Co.mx", nullptr },
        { "Fresh", "Fresh.mx", nullptr },
        { "LOUD.MX", "LOUD.MX", nullptr },
        { "Bright", nullptr, "Cancel" },
        { "Bright", "Bright.mx", "Replace" },
        { "Warm.mx", "Warm.mx", nullptr }, // the current one again, confirmed by the dialog
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (juce::String (c.reply) + " " + (c.confirmBox != nullptr ? c.confirmBox : ""));
        processor.presetManager.currentPresetPath = current.getFullPathName();
        const auto broadcasts = changes.count;
        const auto shownBefore = bar.presetName.text;
        saveAs ((presets / "User").getChildFile (c.reply).getFullPathName());
        EXPECT_EQ (saveResults.getLast(), (presets / "User").getChildFile (c.reply));
        EXPECT_EQ (namesShownAfterCallbacks[namesShownAfterCallbacks.size() - 1], shownBefore) << "changed before the broadcast";

        if (c.confirmBox != nullptr)
        {
            auto* box = theAlert();
            ASSERT_NE (box, nullptr);
            EXPECT_EQ (box->getName(), "Marnovex Vorn v2");
            EXPECT_TRUE (box->getDescription().contains ("\"Bright\" already exists")) << box->getDescription();
            EXPECT_EQ (fileText (bright), brightBefore);
            clickAlertButton (c.confirmBox);
        }

        EXPECT_FALSE ((presets / "User/Fresh").exists() || (presets / "User/Bright").exists());
        if (c.written == nullptr)
        {
            EXPECT_EQ (fileText (bright), brightBefore);
            EXPECT_EQ (currentPath(), current.getFullPathName());
            EXPECT_EQ (changes.count, broadcasts);
            continue;
        }

        const auto written = (presets / "User").getChildFile (c.written);
        EXPECT_EQ (fileText (written), newText);
        EXPECT_EQ (currentPath(), written.getFullPathName());
        EXPECT_EQ (changes.count, broadcasts + 1);
        EXPECT_EQ (bar.presetName.text, written.getFileNameWithoutExtension());

        MarnovexTemplateAudioProcessor reader;
        reader.presetManager.loadPreset (written);
        for (auto* parameter : processor.getParameters())
        {
            const auto& id = dynamic_cast<juce::RangedAudioParameter*> (parameter)->paramID;
            EXPECT_EQ (valueOf (reader, id), valueOf (processor, id)) << id;
        }
    }
    EXPECT_TRUE (modalAlertWindows().isEmpty());

    // A bar gone while its question is up: the answer writes nothing.
    const auto brightNow = fileText (bright);
    {
        juce::Component window;
        PresetController shortLived (window, processor.presetManager, 590);
        StandInPrograms::answer ((presets / "User/Bright").getFullPathName());
        shortLived.saveButton.triggerClick();
        ASSERT_TRUE (runMessageLoopUntil ([] { return modalAlertWindows().size() == 1; }));
    }
    clickAlertButton ("Replace");
    EXPECT_EQ (fileText (bright), brightNow);
}

TEST_F (PresetBarSaving, AFailedSaveChangesNothingAndTellsTheUser)
{
    const auto keep = writePreset (presets / "User/Keep.mx", 20.0f);
    (presets / "NotAFolder").replaceWithText ("a file, not a folder");
    writePreset (presets / "Bundle.mx/Inside.mx", 10.0f);
    (presets / "Empty.mx").createDirectory();
    setValue (processor, kParameter_Mix, 64.0f);

    const auto listing = [this] {
        juce::StringArray names;
        for (const auto& entry : juce::RangedDirectoryIterator (presets.folder, true, "*", juce::File::findFilesAndDirectories))
            names.add (entry.getFile().getRelativePathFrom (presets.folder) + " " + juce::String (fileText (entry.getFile())));
        names.sort (false);
        return names;
    };

    struct Case { const char* what; juce::File target; bool limitFileSize; };
    const Case cases[] = {
        { "folder is really a file", presets / "NotAFolder/Lost.mx", false },
        { "a folder in the way", presets / "Bundle.mx", false },
        { "an empty folder in the way", presets / "Empty.mx", false },
        // A full disk, which no user can bypass either: the write comes up short.
        { "short write over an existing preset", keep, true },
    };

    processor.presetManager.sendChangeMessage();
    deliverPendingMessages();
    const auto broadcasts = changes.count;
    const auto before = listing();

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        if (c.limitFileSize)
        {
            // Set once the dialog's program has started, so only this process is limited.
            StandInPrograms::answer (c.target);
            rlimit limit {};
            getrlimit (RLIMIT_FSIZE, &limit);
            const auto previousLimit = limit;
            const auto answered = openAndWaitForCallback ([&] {
                click (bar.saveButton);
                limit.rlim_cur = 100;
                std::signal (SIGXFSZ, SIG_IGN);
                EXPECT_EQ (setrlimit (RLIMIT_FSIZE, &limit), 0);
            });
            setrlimit (RLIMIT_FSIZE, &previousLimit);
            std::signal (SIGXFSZ, SIG_DFL);
            ASSERT_TRUE (answered);
        }
        else
        {
            saveAs (c.target.getFullPathName());
        }

        auto* box = theAlert();
        ASSERT_NE (box, nullptr);
        EXPECT_EQ (box->getName(), "Marnovex Vorn v2");
        EXPECT_EQ (box->getAlertType(), juce::MessageBoxIconType::WarningIcon);
        EXPECT_EQ (box->getNumButtons(), 1);
        EXPECT_TRUE (box->getDescription().contains ("Unable to save preset \"" + c.target.getFileNameWithoutExtension() + "\""))
            << box->getDescription();
        EXPECT_TRUE (box->getDescription().contains ("nothing was saved"));
        dismissAlertWindows();

        deliverPendingMessages();
        EXPECT_EQ (currentPath(), current.getFullPathName());
        EXPECT_EQ (bar.presetName.text, "Warm");
        EXPECT_EQ (changes.count, broadcasts);
        EXPECT_EQ (listing(), before);
    }
}

//==============================================================================
TEST_F (PresetBarBadFiles, SteppedOntoOrChosenTheyChangeNothingAndNeverCrash)
{
    struct Case { const char* name; juce::String text; bool warns; };
    const Case cases[] = {
        { "Broken.mx", "<?xml version=\"1.0\"?>\r\n<Marnovex product=\"Vorn v2\"><Parameters><PARAM id=", false },
        { "Other.mx", presetFileText ({ "<PARAM id=\"Mix\" value=\"1.0\"/>" }, "product=\"Vorn v3\""), true },
        { "Empty.mx", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n\r\n<Marnovex product=\"Vorn v2\" version=\"2.0.0\"/>\r\n", false },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        TempFolder folder;
        const auto good = writePreset (folder / "Good.mx", 30.0f);
        const auto bad = folder / c.name;
        ASSERT_TRUE (bad.replaceWithText (c.text, false, false, nullptr));
        processor.presetManager.currentPresetPath = good.getFullPathName();
        setValue (processor, kParameter_Mix, 70.0f);
        const auto broadcasts = changes.count;

        // Stepping onto it both ways, then choosing it: each time it stays where it was.
        const std::function<void()> attempts[] = { [&] { click (bar.nextButton); },
                                                   [&] { click (bar.previousButton); },
                                                   [&] {
                                                       StandInPrograms::answer (bad);
                                                       ASSERT_TRUE (openAndWaitForCallback ([this] { click (bar.loadButton); }));
                                                   } };
        for (const auto& attempt : attempts)
        {
            attempt();
            deliverPendingMessages();
            EXPECT_EQ (currentPath(), good.getFullPathName());
            EXPECT_EQ (valueOf (processor, kParameter_Mix), 70.0f);
            EXPECT_EQ (changes.count, broadcasts);
            EXPECT_EQ (modalAlertWindows().size(), c.warns ? 1 : 0);
            if (c.warns)
            {
                auto* box = theAlert();
                ASSERT_NE (box, nullptr);
                EXPECT_TRUE (box->getDescription().contains ("\"" + bad.getFileNameWithoutExtension() + "\": incompatible format"));
            }
            dismissAlertWindows();
        }
    }
}
