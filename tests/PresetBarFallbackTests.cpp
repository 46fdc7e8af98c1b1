// The preset bar's dialogs on a desktop without a native dialog program: the
// framework then shows its own file dialog. It decides once per process
// whether a native one exists, so these tests live in an executable of their
// own, with nothing on PATH.

#include "editor/PresetBarTestSupport.h"

#include <cstdlib>

using namespace vorn::test;
using namespace marnovex;

namespace
{
// PATH names only an empty folder while this lives, so neither a dialog
// program nor the lookup tool that finds one can run.
struct NoDesktopPrograms
{
    NoDesktopPrograms() { setenv ("PATH", empty.folder.getFullPathName().toRawUTF8(), 1); }
    ~NoDesktopPrograms() { setenv ("PATH", previous.toRawUTF8(), 1); }

    const juce::String previous = juce::SystemStats::getEnvironmentVariable ("PATH", "/usr/bin:/bin");
    TempFolder empty;
};

template <typename ComponentType>
ComponentType* findDescendant (juce::Component& root, const std::function<bool (ComponentType&)>& matches = {})
{
    for (auto* child : root.getChildren())
    {
        if (auto* found = dynamic_cast<ComponentType*> (child); found != nullptr && (! matches || matches (*found)))
            return found;
        if (auto* found = findDescendant<ComponentType> (*child, matches))
            return found;
    }
    return nullptr;
}

juce::Array<juce::FileChooserDialogBox*> openDialogBoxes()
{
    juce::Array<juce::FileChooserDialogBox*> boxes;
    for (int i = 0; i < juce::TopLevelWindow::getNumTopLevelWindows(); ++i)
        if (auto* box = dynamic_cast<juce::FileChooserDialogBox*> (juce::TopLevelWindow::getTopLevelWindow (i)))
            if (box->isCurrentlyModal (false) && box->isOnDesktop())
                boxes.add (box);
    return boxes;
}

class PresetBarFallbackDialog : public PresetBarFixture<DisplayTest>
{
protected:
    // The one file dialog on the desktop and its browser, or a test failure.
    juce::FileChooserDialogBox* theDialog()
    {
        const auto boxes = openDialogBoxes();
        EXPECT_EQ (boxes.size(), 1);
        return boxes.size() == 1 ? boxes[0] : nullptr;
    }

    static juce::FileBrowserComponent& browserOf (juce::FileChooserDialogBox& dialog)
    {
        return *findDescendant<juce::FileBrowserComponent> (dialog);
    }

    // Types a name (unless empty) and presses the dialog's button of that text.
    void answerDialog (juce::FileChooserDialogBox& dialog, const juce::String& fileName, const juce::String& buttonText)
    {
        if (fileName.isNotEmpty())
            browserOf (dialog).setFileName (fileName);

        auto* button = findDescendant<juce::TextButton> (dialog, [&] (juce::TextButton& b) { return b.getButtonText() == buttonText; });
        ASSERT_TRUE (button != nullptr && button->isEnabled()) << buttonText;
        button->triggerClick();
        deliverPendingMessages();
        deliverPendingMessages();
    }

    NoDesktopPrograms noPrograms;
};
} // namespace

TEST_F (PresetBarFallbackDialog, SaveDialogStartsAmongTheUsersPresetsAndConfirmsOverwriting)
{
    const auto keep = writePreset (presets / "User/Keep.mx", 20.0f);
    const auto original = fileText (keep);
    setValue (processor, kParameter_Mix, 64.0f);
    const auto newText = expectedPresetText (processor);
    processor.presetManager.currentPresetPath = (presets / "Factory/Warm.mx").getFullPathName();
    const auto workingDirectory = juce::File::getCurrentWorkingDirectory();

    click (bar.saveButton);
    auto* dialog = theDialog();
    ASSERT_NE (dialog, nullptr);
    EXPECT_EQ (dialog->getName(), "Save Preset");
    EXPECT_TRUE (browserOf (*dialog).isSaveMode());
    EXPECT_EQ (browserOf (*dialog).getRoot(), presets / "User");
    EXPECT_EQ (browserOf (*dialog).getSelectedFile (0), presets / "User/Warm.mx");
    EXPECT_EQ (juce::File::getCurrentWorkingDirectory(), workingDirectory);

    // The dialog's own question, for the name as typed: first declined, then accepted.
    answerDialog (*dialog, "Keep.mx", "Save");
    auto* question = theAlert();
    ASSERT_NE (question, nullptr);
    EXPECT_TRUE (question->getDescription().contains (keep.getFullPathName())) << question->getDescription();
    clickAlertButton ("Cancel");
    EXPECT_EQ (fileText (keep), original);
    EXPECT_TRUE (saveResults.isEmpty());

    answerDialog (*dialog, {}, "Save");
    clickAlertButton ("Overwrite");
    EXPECT_EQ (saveResults, juce::Array<juce::File> ({ keep }));
    EXPECT_EQ (fileText (keep), newText);
    EXPECT_EQ (currentPath(), keep.getFullPathName());
    EXPECT_EQ (changes.count, 1);
    EXPECT_EQ (bar.presetName.text, "Keep");
    EXPECT_TRUE (openDialogBoxes().isEmpty());
}

TEST_F (PresetBarFallbackDialog, LoadDialogsStartWhereAskedAndOnlyTheNewestAnswers)
{
    const auto dark = writePreset (presets / "User/Dark.mx", 20.0f);
    setValue (processor, kParameter_Mix, 70.0f);

    // A press on the name: at the current preset. The load button then opens
    // a second dialog, at the product folder, in place of the first. Cancelled: nothing happens.
    pressPresetName ({});
    auto* dialog = theDialog();
    ASSERT_NE (dialog, nullptr);
    EXPECT_EQ (dialog->getName(), "Load Preset");
    EXPECT_FALSE (browserOf (*dialog).isSaveMode());
    EXPECT_EQ (browserOf (*dialog).getRoot(), current.getParentDirectory());
    EXPECT_EQ (browserOf (*dialog).getSelectedFile (0), current);
    click (bar.loadButton);
    dialog = theDialog();
    ASSERT_NE (dialog, nullptr);
    EXPECT_EQ (browserOf (*dialog).getSelectedFile (0), juce::File (kProductPresetPath));
    answerDialog (*dialog, {}, "Cancel");
    EXPECT_EQ (loadResults, juce::Array<juce::File> ({ juce::File() }));
    EXPECT_TRUE (openDialogBoxes().isEmpty());
    EXPECT_EQ (changes.count, 0);

    // Chosen: loaded.
    pressPresetName ({});
    dialog = theDialog();
    ASSERT_NE (dialog, nullptr);
    answerDialog (*dialog, "Dark.mx", "Open");
    EXPECT_EQ (loadResults.getLast(), dark);
    EXPECT_EQ (currentPath(), dark.getFullPathName());
    EXPECT_EQ (valueOf (processor, kParameter_Mix), 20.0f);
    EXPECT_EQ (bar.presetName.text, "Dark");

    // A bar destroyed with its dialog open: the dialog goes, nothing calls back.
    {
        juce::Component window;
        PresetController shortLived (window, processor.presetManager, 590);
        shortLived.loadCallback = [] (const juce::FileChooser&) { ADD_FAILURE() << "a gone bar was called back"; };
        shortLived.openLoadPresetDialog (true);
        EXPECT_EQ (openDialogBoxes().size(), 1);
    }
    deliverPendingMessages();
    EXPECT_TRUE (openDialogBoxes().isEmpty());
    EXPECT_EQ (changes.count, 1);
}
