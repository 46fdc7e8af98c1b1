#pragma once

#include <juce_audio_processors/juce_audio_processors.h>

namespace marnovex
{
// The first child of `parent` whose tag equals `tag` in any letter case.
const juce::XmlElement* findChildIgnoringCase (const juce::XmlElement& parent, const juce::String& tag);

// The document element of `text` as the framework's XML parser reads it, or
// nullptr. Text the parser cannot be trusted with is refused unparsed: text
// that is not well-formed UTF-8, holds a document type declaration, a
// processing instruction after its leading XML declaration, or an '&' that
// opens neither a predefined entity nor a complete character reference. On
// such text the framework's parser reads past the end of its buffer or, for a
// processing instruction followed by character data, never returns. Neither
// the state nor the preset files this plug-in writes ever contain any of them.
std::unique_ptr<juce::XmlElement> parseXmlDocument (const juce::String& text);

// The parameter tree stored in `stored`, ready for replaceState. A parameter
// the stored tree has no child for keeps its current value: it gets a child
// appended, in the order the framework itself would append it, carrying that
// value. (Left to the framework, such a parameter would fall back to its default.)
// A stored value that is not a number is replaced by the current value too.
juce::ValueTree parameterTreeFromXml (juce::AudioProcessorValueTreeState& parameters, const juce::XmlElement& stored);

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
