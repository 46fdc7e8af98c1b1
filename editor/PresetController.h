#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include "PresetManager.h"
#include "Marnovex_ShapeButton.h"
#include "Marnovex_TextButton.h"

namespace marnovex
{
// The preset bar at the top of the window: the current preset's name and four
// glyph buttons to step to the previous or next preset of the current folder,
// load a preset through a dialog and save the current settings as a preset.
// It is no component itself: it adds its widgets to `parent` and listens to
// them, to the name display's presses and to the preset manager.
// Message thread only.
class PresetController : public juce::Button::Listener,
                         public juce::ChangeListener,
                         public juce::MouseListener
{
public:
    // `width` only places the widgets; it is not kept.
    PresetController (juce::Component& parent, PresetManager& presetManager, int width);
    ~PresetController() override;

    void buttonClicked (juce::Button* button) override;

    // Opens the load dialog at the current preset file, or at the product
    // preset folder when `startAtCurrentPreset` is false.
    void openLoadPresetDialog (bool startAtCurrentPreset);

    // Presses on the name display: Ctrl reveals the current file, Alt opens the
    // load dialog at the product folder, anything else at the current preset.
    void mouseDown (const juce::MouseEvent& event) override;

    // The manager's broadcast is the only thing that changes the shown name.
    void changeListenerCallback (juce::ChangeBroadcaster* source) override;

    juce::Component& parent;
    PresetManager& presetManager;

    Marnovex_TextButton presetName;
    Marnovex_ShapeButton previousButton;
    Marnovex_ShapeButton nextButton;
    Marnovex_ShapeButton saveButton;
    Marnovex_ShapeButton loadButton;

    std::function<void (const juce::FileChooser&)> loadCallback;
    std::function<void (const juce::FileChooser&)> saveCallback;

    // The dialog last opened; replacing it silences a dialog still open.
    std::unique_ptr<juce::FileChooser> chooser;

private:
    void openSavePresetDialog();
    void stepThroughPresets (bool forwards);
    void launchChooser (const juce::String& title, const juce::File& start, int flags,
                        const std::function<void (const juce::FileChooser&)>& callback);

    void loadChosenPreset (const juce::FileChooser& finishedChooser);
    void saveChosenPreset (const juce::FileChooser& finishedChooser);
    void confirmReplacing (const juce::File& target);
    void savePresetTo (const juce::File& target);
    static bool writePresetFile (const juce::XmlElement& root, const juce::File& target);
    static void showSaveFailure (const juce::File& target);

    // Lets a confirmation box that outlives the bar find out it is gone.
    JUCE_DECLARE_WEAK_REFERENCEABLE (PresetController)
    JUCE_DECLARE_NON_COPYABLE (PresetController)
};
} // namespace marnovex
