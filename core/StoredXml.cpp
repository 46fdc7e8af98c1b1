#include "StoredXml.h"

#include <cmath>
#include <cstring>

namespace marnovex
{
const juce::XmlElement* findChildIgnoringCase (const juce::XmlElement& parent, const juce::String& tag)
{
    for (auto* child : parent.getChildIterator())
        if (child->getTagName().equalsIgnoreCase (tag))
            return child;
    return nullptr;
}

namespace
{
// Well-formed UTF-8 (no overlong forms, surrogates or values past U+10FFFF):
// the framework's string and parser code steps over malformed sequences by
// their lead byte alone, which can take it past the text's end.
bool isWellFormedUtf8 (const juce::uint8* text, size_t length)
{
    for (size_t i = 0; i < length;)
    {
        const auto lead = text[i];
        if (lead < 0x80)
        {
            ++i;
            continue;
        }

        size_t extra = 0;
        juce::uint32 value = 0, smallest = 0;
        if ((lead & 0xe0) == 0xc0)      { extra = 1; value = lead & 0x1fu; smallest = 0x80; }
        else if ((lead & 0xf0) == 0xe0) { extra = 2; value = lead & 0x0fu; smallest = 0x800; }
        else if ((lead & 0xf8) == 0xf0) { extra = 3; value = lead & 0x07u; smallest = 0x10000; }
        else return false;

        if (length - i <= extra)
            return false;

        for (size_t k = 1; k <= extra; ++k)
        {
            if ((text[i + k] & 0xc0) != 0x80)
                return false;
            value = (value << 6) | (text[i + k] & 0x3fu);
        }

        if (value < smallest || value > 0x10ffff || (value >= 0xd800 && value <= 0xdfff))
            return false;

        i += extra + 1;
    }
    return true;
}

bool startsWithIgnoringCase (const char* text, const char* lowerCasePrefix)
{
    for (; *lowerCasePrefix != 0; ++text, ++lowerCasePrefix)
        if (juce::CharacterFunctions::toLowerCase ((juce::juce_wchar) (juce::uint8) *text) != (juce::juce_wchar) *lowerCasePrefix)
            return false;
    return true;
}

// Every '&' opens one of the five predefined entities or a complete character
// reference to a Unicode scalar value. The parser takes any other name as
// markup to parse, and steps past the text's end after an unfinished "&#x".
bool referencesAreComplete (const char* text)
{
    for (const char* amp = std::strchr (text, '&'); amp != nullptr; amp = std::strchr (amp + 1, '&'))
    {
        const char* p = amp + 1;
        if (startsWithIgnoringCase (p, "amp;") || startsWithIgnoringCase (p, "lt;") || startsWithIgnoringCase (p, "gt;")
            || startsWithIgnoringCase (p, "quot;") || startsWithIgnoringCase (p, "apos;"))
            continue;

        if (*p++ != '#')
            return false;

        const bool hex = (*p == 'x' || *p == 'X');
        if (hex)
            ++p;

        juce::uint32 value = 0;
        int digits = 0;
        for (;; ++p, ++digits)
        {
            const int digit = hex ? juce::CharacterFunctions::getHexDigitValue ((juce::juce_wchar) (juce::uint8) *p)
                                  : (*p >= '0' && *p <= '9' ? *p - '0' : -1);
            if (digit < 0)
                break;
            // The parser reads at most 8 hex or 12 decimal digits.
            if (digits >= (hex ? 8 : 12))
                return false;
            value = value * (hex ? 16u : 10u) + (juce::uint32) digit;
            if (value > 0x10ffff)
                return false;
        }

        if (*p != ';' || digits == 0 || value == 0 || (value >= 0xd800 && value <= 0xdfff))
            return false;
    }
    return true;
}
} // namespace

// A file's text as the framework's XML document reads a file: UTF-16 after a
// byte-order mark, otherwise the bytes as they are, taken as UTF-8 (after a
// UTF-8 byte-order mark, if any).
juce::String readDocumentText (const juce::File& file)
{
    juce::MemoryBlock data;
    if (! file.existsAsFile() || ! file.loadFileAsData (data))
        return {};

    const auto* text = static_cast<const char*> (data.getData());
    const auto size = data.getSize();
    if (size <= 2 || juce::CharPointer_UTF16::isByteOrderMarkBigEndian (text) || juce::CharPointer_UTF16::isByteOrderMarkLittleEndian (text))
        return data.toString();

    const size_t skip = juce::CharPointer_UTF8::isByteOrderMark (text) ? 3 : 0;
    return juce::String::fromUTF8 (text + skip, (int) (size - skip));
}

std::unique_ptr<juce::XmlElement> parseXmlDocument (const juce::String& text)
{
    const char* raw = text.toRawUTF8();
    if (! isWellFormedUtf8 (reinterpret_cast<const juce::uint8*> (raw), std::strlen (raw)))
        return nullptr;

    // Entity values of a document type declaration are parsed again as markup.
    if (std::strstr (raw, "<!DOCTYPE") != nullptr)
        return nullptr;

    const char* body = raw;
    while (*body == ' ' || *body == '\t' || *body == '\r' || *body == '\n')
        ++body;
    if (std::strncmp (body, "<?xml", 5) == 0)
    {
        body = std::strstr (body, "?>");
        if (body == nullptr)
            return nullptr;
        body += 2;
    }

    if (std::strstr (body, "<?") != nullptr || ! referencesAreComplete (raw))
        return nullptr;

    return juce::parseXML (text);
}

juce::ValueTree parameterTreeFromXml (juce::AudioProcessorValueTreeState& parameters, const juce::XmlElement& stored)
{
    auto tree = juce::ValueTree::fromXml (stored);

    // The framework binds a parameter to any child whose "id" names it, and
    // appends children for the rest in the order of their IDs.
    juce::StringArray ids;
    for (auto* parameter : parameters.processor.getParameters())
        if (auto* ranged = dynamic_cast<juce::RangedAudioParameter*> (parameter))
            if (parameters.getParameter (ranged->paramID) == ranged)
                ids.add (ranged->paramID);

    auto missing = ids;
    for (auto child : tree)
    {
        const auto id = child.getProperty ("id").toString();
        if (! ids.contains (id))
            continue;
        missing.removeString (id);

        // A value that is not a number would reach the engine as NaN: keep the current one.
        if (child.hasProperty ("value") && std::isnan ((double) child.getProperty ("value")))
            child.setProperty ("value", parameters.getRawParameterValue (id)->load(), nullptr);
    }

    missing.sort (false);
    for (const auto& id : missing)
    {
        juce::ValueTree child ("PARAM");
        child.setProperty ("id", id, nullptr);
        child.setProperty ("value", parameters.getRawParameterValue (id)->load(), nullptr);
        tree.appendChild (child, nullptr);
    }

    return tree;
}

} // namespace marnovex
