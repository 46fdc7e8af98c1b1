#include "PresetController.h"

#include "Marnovex_Colours.h"
#include "Marnovex_ProductStrings.h"

namespace marnovex
{
namespace
{
const juce::String kPresetFileSuffix = kPresetExtension.fromLastOccurrenceOf ("*", false, false);

// A path restored from another machine's host state may be relative; it names
// no file here, so the dialogs fall back to the factory default's place.
juce::File presetFileOrDefault (const juce::String& path)
{
    return juce::File (juce::File::isAbsolutePath (path) ? path : kDefaultPresetPath);
}

juce::String presetDisplayName (const juce::String& path)
{
    return juce::File::createFileWithoutCheckingPath (path).getFileNameWithoutExtension();
}

// File systems here tell letter cases apart, so equal names in another case are
// different files: ordering them by the exact text as well keeps every step moving.
struct PresetOrder
{
    static int compareElements (const juce::File& first, const juce::File& second)
    {
        const auto& a = first.getFullPathName();
        const auto& b = second.getFullPathName();
        const auto ignoringCase = a.compareIgnoreCase (b);
        return ignoringCase != 0 ? ignoringCase : a.compare (b);
    }
};

int indexOfPreset (const juce::Array<juce::File>& presets, const juce::String& path)
{
    for (int i = 0; i < presets.size(); ++i)
        if (presets[i].getFullPathName() == path)
            return i;

    for (int i = 0; i < presets.size(); ++i)
        if (presets[i].getFullPathName().equalsIgnoreCase (path))
            return i;

    return -1;
}

// The save dialogs here leave the typed name as it is; presets are only found by their suffix.
juce::File withPresetSuffix (const juce::File& file)
{
    if (file.getFileName().endsWithIgnoreCase (kPresetFileSuffix))
        return file;
    return file.getSiblingFile (file.getFileName() + kPresetFileSuffix);
}

juce::String productTitle() { return kManufacturer + " " + kProductName; }
} // namespace

PresetController::PresetController (juce::Component& parentComponent, PresetManager& manager, int width)
    : parent (parentComponent),
      presetManager (manager)
{
    presetName.setBounds (150, 15, width - 300, 20);
    presetName.setText (presetDisplayName (presetManager.currentPresetPath));
    parent.addAndMakeVisible (presetName);

    const auto addGlyphButton = [this] (Marnovex_ShapeButton& button, int shape, int x)
    {
        button.setBounds (x, 16, 20, 20);
        button.setShape (shape);
        button.setColour (Marnovex_ShapeButton::foregroundColourId, Colours::white);
        button.setColour (Marnovex_ShapeButton::pressedColourId, Colours::grey);
        button.addListener (this);
        parent.addAndMakeVisible (button);
    };
    addGlyphButton (previousButton, 2, width - 111);
    addGlyphButton (nextButton, 3, width - 86);
    addGlyphButton (loadButton, 5, width - 61);
    addGlyphButton (saveButton, 4, width - 34);

    presetManager.addChangeListener (this);
    presetName.addMouseListener (this, false);

    loadCallback = [this] (const juce::FileChooser& finished) { loadChosenPreset (finished); };
    saveCallback = [this] (const juce::FileChooser& finished) { saveChosenPreset (finished); };
}

PresetController::~PresetController()
{
    presetManager.removeChangeListener (this);
    presetName.removeMouseListener (this);
}

void PresetController::buttonClicked (juce::Button* button)
{
    if (button == &saveButton)
        openSavePresetDialog();
    if (button == &previousButton)
        stepThroughPresets (false);
    if (button == &nextButton)
        stepThroughPresets (true);
    if (button == &loadButton)
        openLoadPresetDialog (false);
}

void PresetController::openLoadPresetDialog (bool startAtCurrentPreset)
{
    const auto start = startAtCurrentPreset ? presetFileOrDefault (presetManager.currentPresetPath)
                                            : juce::File (kProductPresetPath);
    launchChooser ("Load Preset", start, juce::FileBrowserComponent::openMode | juce::FileBrowserComponent::canSelectFiles, loadCallback);
}

void PresetController::openSavePresetDialog()
{
    // Factory presets are read-only by intent: propose the same name among the user's presets.
    const auto start = presetFileOrDefault (presetManager.currentPresetPath.replace ("/Factory/", "/User/"));

    // The dialogs here never confirm an overwrite unless asked to.
    launchChooser ("Save Preset", start,
                   juce::FileBrowserComponent::saveMode | juce::FileBrowserComponent::canSelectFiles
                       | juce::FileBrowserComponent::warnAboutOverwriting,
                   saveCallback);
}

void PresetController::launchChooser (const juce::String& title, const juce::File& start, int flags,
                                      const std::function<void (const juce::FileChooser&)>& callback)
{
    // The native dialog moves the process into the start folder so that the
    // dialog opens there; the process's working directory belongs to the host.
    const auto workingDirectory = juce::File::getCurrentWorkingDirectory();

    // Replacing the chooser closes a dialog still open; only the newest one answers.
    chooser = std::make_unique<juce::FileChooser> (title, start, kPresetExtension, true, false, nullptr);
    chooser->launchAsync (flags, callback);

    workingDirectory.setAsCurrentWorkingDirectory();
}

void PresetController::stepThroughPresets (bool forwards)
{
    auto presets = presetManager.getPresetList();
    PresetOrder order;
    presets.sort (order);

    const auto index = indexOfPreset (presets, presetManager.currentPresetPath);
    if (index < 0)
    {
        presetManager.loadPreset (juce::File (kDefaultPresetPath));
        return;
    }

    const auto last = presets.size() - 1;
    const auto target = forwards ? (index < last ? index + 1 : 0)
                                 : (index > 0 ? index - 1 : last);
    presetManager.loadPreset (presets[target]);
}

void PresetController::mouseDown (const juce::MouseEvent& event)
{
    if (event.mods.isCommandDown())
    {
        if (juce::File::isAbsolutePath (presetManager.currentPresetPath))
            juce::File (presetManager.currentPresetPath).revealToUser();
    }
    else if (event.mods.isAltDown())
        openLoadPresetDialog (false);
    else
        openLoadPresetDialog (true);
}

void PresetController::changeListenerCallback (juce::ChangeBroadcaster*)
{
    presetName.setText (presetDisplayName (presetManager.currentPresetPath));
}

void PresetController::loadChosenPreset (const juce::FileChooser& finishedChooser)
{
    const auto chosen = finishedChooser.getResult();
    if (chosen != juce::File())
        presetManager.loadPreset (chosen);
}

void PresetController::saveChosenPreset (const juce::FileChooser& finishedChooser)
{
    const auto chosen = finishedChooser.getResult();
    if (chosen == juce::File())
        return;

    const auto target = withPresetSuffix (chosen);

    // The dialog confirmed the name it returned, not the one with the suffix added.
    if (target != chosen && target.exists())
        confirmReplacing (target);
    else
        savePresetTo (target);
}

void PresetController::confirmReplacing (const juce::File& target)
{
    juce::WeakReference<PresetController> bar (this);
    juce::AlertWindow::showOkCancelBox (juce::MessageBoxIconType::WarningIcon,
                                        productTitle(),
                                        "A preset named \"" + target.getFileNameWithoutExtension()
                                            + "\" already exists in this folder. Do you want to replace it?",
                                        "Replace", "Cancel", nullptr,
                                        juce::ModalCallbackFunction::create ([bar, target] (int result)
                                                                             {
                                                                                 if (result == 1 && bar != nullptr)
                                                                                     bar->savePresetTo (target);
                                                                             }));
}

void PresetController::savePresetTo (const juce::File& target)
{
    juce::XmlElement root (kManufacturer);
    root.addChildElement (presetManager.parameters.state.createXml().release());
    root.setAttribute ("product", kProductName);
    root.setAttribute ("version", kProductVersion);

    if (! writePresetFile (root, target))
    {
        showSaveFailure (target);
        return;
    }

    presetManager.currentPresetPath = target.getFullPathName();
    presetManager.sendChangeMessage();
}

bool PresetController::writePresetFile (const juce::XmlElement& root, const juce::File& target)
{
    // Moving the temporary file over the target would delete a folder that is empty.
    if (target.isDirectory())
        return false;

    juce::MemoryOutputStream text;
    root.writeTo (text, {});

    // Written beside the target and moved over it only when complete, so a
    // failure leaves an existing preset as it was. The size check catches a
    // short write (a full disk), which the file stream does not report.
    juce::TemporaryFile temporary (target);
    {
        juce::FileOutputStream out (temporary.getFile());
        if (! out.openedOk())
            return false;

        out.write (text.getData(), text.getDataSize());
        out.flush();
        if (out.getStatus().failed())
            return false;
    }

    return temporary.getFile().getSize() == (juce::int64) text.getDataSize()
        && temporary.overwriteTargetFileWithTemporary();
}

void PresetController::showSaveFailure (const juce::File& target)
{
    juce::NativeMessageBox::showMessageBoxAsync (juce::MessageBoxIconType::WarningIcon,
                                                 productTitle(),
                                                 "Unable to save preset \"" + target.getFileNameWithoutExtension()
                                                     + "\": the file could not be written, so nothing was saved. "
                                                       "Please choose a folder you can write to.");
}
} // namespace marnovex
