#pragma once

#include <juce_audio_processors/juce_audio_processors.h>

#include "StoredXml.h"

namespace marnovex
{
// Keeps the identity of the current preset and reads preset files into the
// parameter state. Broadcasts a change whenever the current preset changes.
// Message thread only.
class PresetManager : public juce::ChangeBroadcaster
{
public:
    explicit PresetManager (juce::AudioProcessorValueTreeState& parameterState);
    ~PresetManager() override;

    // Loads the preset in `file`. Unreadable files and files without parameters
    // change nothing; files of another maker or product raise the format warning.
    void loadPreset (juce::File file);

    void showAlertForPreset (juce::String name);

    // Preset files ("*.mx" in any case) directly inside the current preset's
    // folder, in file-system order.
    juce::Array<juce::File> getPresetList();

    juce::AudioProcessorValueTreeState& parameters;

    // Full path of the preset last loaded or saved. Only a name: nothing checks it exists.
    juce::String currentPresetPath;

    JUCE_DECLARE_NON_COPYABLE (PresetManager)
};
} // namespace marnovex
