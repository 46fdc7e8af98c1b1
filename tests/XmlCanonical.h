#pragma once

// One line of text for an XML tree, shared by the differential test and its
// probe process: tags, attributes in their order, text elements, with every
// character outside printable ASCII written as its code point.

#include <juce_core/juce_core.h>

namespace vorn::test
{
inline void appendEscaped (juce::String& out, const juce::String& text)
{
    for (auto p = text.getCharPointer(); ! p.isEmpty();)
    {
        const auto c = (juce::uint32) p.getAndAdvance();
        if (c < 0x20 || c >= 0x7f || c == '\\' || c == '"')
        {
            out << "\\u{" << juce::String::toHexString ((int) c) << "}";
        }
        else
        {
            out << juce::String::charToString ((juce::juce_wchar) c);
        }
    }
}

inline void appendCanonical (juce::String& out, const juce::XmlElement& e)
{
    if (e.isTextElement())
    {
        out << "T\"";
        appendEscaped (out, e.getText());
        out << "\"";
        return;
    }

    out << "<";
    appendEscaped (out, e.getTagName());
    for (int i = 0; i < e.getNumAttributes(); ++i)
    {
        out << " ";
        appendEscaped (out, e.getAttributeName (i));
        out << "=\"";
        appendEscaped (out, e.getAttributeValue (i));
        out << "\"";
    }
    out << ">";
    for (auto* child : e.getChildIterator())
        appendCanonical (out, *child);
    out << "</>";
}

inline juce::String canonicalForm (const juce::XmlElement* root)
{
    if (root == nullptr)
        return "NONE";
    juce::String out;
    appendCanonical (out, *root);
    return out;
}
} // namespace vorn::test
