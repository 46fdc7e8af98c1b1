#pragma once

// Reading the XML that hosts and preset files hand back to the plug-in. Both
// come from outside and may be damaged, so nothing here trusts its input.

#include <juce_audio_processors/juce_audio_processors.h>

#include <memory>

namespace marnovex
{
// The first child of `parent` whose tag equals `tag` in any letter case.
const juce::XmlElement* findChildIgnoringCase (const juce::XmlElement& parent, const juce::String& tag);

// A file's text as the framework's XML document reads a file. Empty when the
// file is missing or unreadable.
juce::String readDocumentText (const juce::File& file);

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
} // namespace marnovex
