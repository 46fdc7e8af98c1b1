#pragma once

// Reading the XML that hosts, preset files and settings files hand back to the
// plug-in. All of it comes from outside and may be damaged or hostile, so
// nothing here trusts its input.
//
// The framework's own XML parser builds every tree, so a document reads exactly
// as the framework reads it. But that parser never returns from some documents
// and reads past the end of its text on others, so no text reaches it before a
// strict reader of its own has checked it: the text must decode, be well-formed
// XML, load nothing from elsewhere, and hold nothing the parser is known to
// misread. Beyond XML, it keeps three tolerances of the framework that lose
// nothing: white space (vertical tab and form feed included) ahead of the XML
// declaration, the five predefined entities in any letter case, and text that
// ends at its first zero character.

#include <juce_audio_processors/juce_audio_processors.h>

#include <memory>

namespace marnovex
{
// The first child of `parent` whose tag equals `tag` in any letter case.
const juce::XmlElement* findChildIgnoringCase (const juce::XmlElement& parent, const juce::String& tag);

// How stored bytes become text.
enum class StoredText
{
    utf8,       // host state: UTF-8 as it is
    fileBytes   // a file, as the framework reads one: UTF-16 after its byte-order mark, else UTF-8 (after a UTF-8 mark, if any)
};

// Why a document was refused.
enum class XmlRefusal
{
    none,
    unreadable,        // a missing file, a folder, a FIFO, a device, a read error
    notText,           // the bytes do not decode: malformed UTF-8, an unpaired UTF-16 surrogate
    notWellFormed,     // not XML: broken markup, mismatched or missing tags, repeated attributes, undeclared entities, ...
    externalReference, // an external DTD subset, an external or parameter entity: never loaded
    declaredEntity,    // a reference to an entity the DTD declares: the framework expands those its own way
    hangsFramework,    // a processing instruction followed by character data: the framework's parser never returns
    misreadByFramework,// a DTD the framework ends elsewhere, a character reference longer than it reads
    tooDeep,           // nesting deeper than the framework's recursive parser and tree should be asked to take
    noElement          // the framework's parser found no element in a document that passed every check
};

struct XmlReading
{
    std::unique_ptr<juce::XmlElement> root;
    XmlRefusal refusal = XmlRefusal::none;

    // Where the document element's start tag ends, counted in bytes of the
    // source (byte-order mark included). Only set when the document was read.
    size_t rootStartTagEnd = 0;
};

// Reads the document element of stored bytes. Text ends at its first zero
// character, as the framework's readers end it. A refused document has no root.
XmlReading readStoredXml (const void* data, size_t size, StoredText encoding);

// The same, for text already in a juce::String (read as UTF-8). nullptr when refused.
std::unique_ptr<juce::XmlElement> parseXmlDocument (const juce::String& text);

// True when `size` bytes are UTF-8 in the strict sense readStoredXml decodes
// (no overlong forms, surrogates or values past U+10FFFF) and hold no zero byte.
bool isStrictUtf8 (const void* data, size_t size);

// True for a regular file or a link that leads to one. Never opens the file,
// so a FIFO or device in its place cannot block the caller.
bool isRegularFile (const juce::File& file);

// The whole content of a regular file (following links). False, with nothing
// read, for anything else: a missing file, a folder, a FIFO, a device. Opens
// without blocking and checks the type of what it opened.
bool readRegularFile (const juce::File& file, juce::MemoryBlock& content);

// A file's document element as readStoredXml reads the file's bytes, or a
// refusal (notText) when it is not a readable regular file.
XmlReading readXmlFile (const juce::File& file);

// The parameter tree stored in `stored`, ready for replaceState. A parameter
// the stored tree has no child for keeps its current value: it gets a child
// appended, in the order the framework itself would append it, carrying that
// value. (Left to the framework, such a parameter would fall back to its default.)
// A stored value that is not a number is replaced by the current value too.
juce::ValueTree parameterTreeFromXml (juce::AudioProcessorValueTreeState& parameters, const juce::XmlElement& stored);
} // namespace marnovex
