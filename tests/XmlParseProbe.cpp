// Runs the framework's XML parser on one file in a process of its own, where
// a parse that never returns or reads out of bounds cannot harm the test that
// asked. Prints the tree it gets reading the file, then parses the same text
// as the file reader decodes it four more times, shifted by zero to three
// leading spaces (which the parser skips): one of the four ends exactly at the
// end of its string's allocation, where a sanitizer sees any read past it.
// The last line is "end" only when every parse came back.

#include "XmlCanonical.h"

#include <cstdio>
#include <cstring>

namespace
{
void printLine (const juce::String& line)
{
    std::fputs ((line + "\n").toRawUTF8(), stdout);
    std::fflush (stdout);
}

// The file's text as the framework's file reader decodes it.
juce::String decodedAsFileReaderDoes (const juce::MemoryBlock& data)
{
    if (data.getSize() <= 2)
        return {};

    const auto* text = static_cast<const char*> (data.getData());
    if (juce::CharPointer_UTF16::isByteOrderMarkBigEndian (text) || juce::CharPointer_UTF16::isByteOrderMarkLittleEndian (text))
    {
        auto terminated = data;
        terminated.append ("", 1);
        return terminated.toString();
    }

    const size_t skip = juce::CharPointer_UTF8::isByteOrderMark (text) ? 3 : 0;
    const auto* start = text + skip;
    return juce::String::fromUTF8 (start, (int) strnlen (start, data.getSize() - skip));
}
} // namespace

int main (int argc, char** argv)
{
    if (argc != 2)
    {
        printLine ("usage: XmlParseProbe <file>");
        return 2;
    }

    const juce::File file (juce::String::fromUTF8 (argv[1]));
    printLine ("file " + vorn::test::canonicalForm (juce::XmlDocument (file).getDocumentElement().get()));

    juce::MemoryBlock data;
    file.loadFileAsData (data);
    const auto text = decodedAsFileReaderDoes (data);
    for (int shift = 0; shift < 4; ++shift)
    {
        const auto shifted = juce::String::repeatedString (" ", shift) + text;
        printLine ("text " + vorn::test::canonicalForm (juce::XmlDocument (shifted).getDocumentElement().get()));
    }

    printLine ("end");
    return 0;
}
