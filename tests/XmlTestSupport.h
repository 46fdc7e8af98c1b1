#pragma once

// Helpers of the stored-XML tests.

#include "StateTestSupport.h"
#include "StoredXml.h"

#include <cstdlib>
#include <optional>
#include <string>
#include <sys/stat.h>

namespace vorn::test
{
inline std::string nameOf (marnovex::XmlRefusal refusal)
{
    using marnovex::XmlRefusal;
    switch (refusal)
    {
        case XmlRefusal::none:               return "none";
        case XmlRefusal::unreadable:         return "unreadable";
        case XmlRefusal::notText:            return "notText";
        case XmlRefusal::notWellFormed:      return "notWellFormed";
        case XmlRefusal::externalReference:  return "externalReference";
        case XmlRefusal::declaredEntity:     return "declaredEntity";
        case XmlRefusal::hangsFramework:     return "hangsFramework";
        case XmlRefusal::misreadByFramework: return "misreadByFramework";
        case XmlRefusal::tooDeep:            return "tooDeep";
        case XmlRefusal::noElement:          return "noElement";
    }
    return "?";
}

// `text` as UTF-16 bytes, led by a byte-order mark unless `mark` is false.
inline std::string utf16Bytes (const std::u16string& text, bool bigEndian, bool mark = true)
{
    std::string bytes;
    const auto put = [&] (char16_t unit)
    {
        const char high = (char) (unit >> 8), low = (char) (unit & 0xff);
        bytes += bigEndian ? high : low;
        bytes += bigEndian ? low : high;
    };
    if (mark)
        put (0xfeff);
    for (const auto unit : text)
        put (unit);
    return bytes;
}

inline std::string utf16Bytes (const juce::String& text, bool bigEndian)
{
    std::u16string units;
    for (auto p = text.toUTF16(); ! p.isEmpty(); ++p)
        units += (char16_t) *p.getAddress();
    return utf16Bytes (units, bigEndian);
}

// A FIFO at `file`: opening it for reading blocks until someone writes.
inline juce::File makeFifo (const juce::File& file)
{
    EXPECT_EQ (::mkfifo (file.getFullPathName().toRawUTF8(), 0600), 0) << file.getFullPathName();
    return file;
}
} // namespace vorn::test
