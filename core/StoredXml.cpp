#include "StoredXml.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <set>
#include <vector>

#if ! JUCE_WINDOWS
 #include <fcntl.h>
 #include <sys/stat.h>
 #include <unistd.h>
#endif

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
using Chars = std::vector<juce::juce_wchar>;

//==============================================================================
// Decoding, as the framework's readers decode. Text ends at its first zero
// character: the framework's parser takes its text as a zero-terminated string.

struct DecodedText
{
    Chars chars;
    size_t markBytes = 0; // byte-order mark skipped at the start
    bool utf16 = false;
};

// Strict UTF-8: no overlong forms, surrogates or values past U+10FFFF. The
// framework steps over a malformed sequence by its lead byte alone, which can
// take it past the end of its text.
bool decodeUtf8 (const juce::uint8* bytes, size_t size, Chars& out)
{
    for (size_t i = 0; i < size;)
    {
        const auto lead = bytes[i];
        if (lead == 0)
            break;

        if (lead < 0x80)
        {
            out.push_back (lead);
            ++i;
            continue;
        }

        size_t extra = 0;
        juce::uint32 value = 0, smallest = 0;
        if ((lead & 0xe0) == 0xc0)      { extra = 1; value = lead & 0x1fu; smallest = 0x80; }
        else if ((lead & 0xf0) == 0xe0) { extra = 2; value = lead & 0x0fu; smallest = 0x800; }
        else if ((lead & 0xf8) == 0xf0) { extra = 3; value = lead & 0x07u; smallest = 0x10000; }
        else return false;

        if (size - i <= extra)
            return false;

        for (size_t k = 1; k <= extra; ++k)
        {
            if ((bytes[i + k] & 0xc0) != 0x80)
                return false;
            value = (value << 6) | (bytes[i + k] & 0x3fu);
        }

        if (value < smallest || value > 0x10ffff || (value >= 0xd800 && value <= 0xdfff))
            return false;

        out.push_back ((juce::juce_wchar) value);
        i += extra + 1;
    }
    return true;
}

// UTF-16 after a byte-order mark. The framework reads every pair of bytes after
// the mark, pairing an odd last byte with a zero. It keeps the two halves of a
// surrogate pair as two separate characters, which no stored state could hold
// again; here they are joined into the character they encode.
bool decodeUtf16 (const juce::uint8* bytes, size_t size, bool bigEndian, Chars& out)
{
    const auto unitAt = [&] (size_t index) -> juce::uint32
    {
        const size_t at = 2 + 2 * index;
        const juce::uint32 first = bytes[at], second = at + 1 < size ? bytes[at + 1] : 0;
        return bigEndian ? (first << 8) | second : (second << 8) | first;
    };

    const size_t units = (size + 1) / 2 - 1;
    for (size_t i = 0; i < units; ++i)
    {
        const auto unit = unitAt (i);
        if (unit == 0)
            break;

        if (unit >= 0xdc00 && unit <= 0xdfff)
            return false;

        if (unit >= 0xd800 && unit <= 0xdbff)
        {
            const auto low = i + 1 < units ? unitAt (i + 1) : 0u;
            if (low < 0xdc00 || low > 0xdfff)
                return false;
            out.push_back ((juce::juce_wchar) (0x10000 + ((unit - 0xd800) << 10) + (low - 0xdc00)));
            ++i;
            continue;
        }

        out.push_back ((juce::juce_wchar) unit);
    }
    return true;
}

bool decode (const juce::uint8* bytes, size_t size, StoredText encoding, DecodedText& text)
{
    if (encoding == StoredText::utf8)
        return decodeUtf8 (bytes, size, text.chars);

    // The framework's file reader leaves files of two bytes or less unread.
    if (size <= 2)
        return true;

    const bool bigEndian = bytes[0] == 0xfe && bytes[1] == 0xff;
    if (bigEndian || (bytes[0] == 0xff && bytes[1] == 0xfe))
    {
        text.markBytes = 2;
        text.utf16 = true;
        return decodeUtf16 (bytes, size, bigEndian, text.chars);
    }

    if (bytes[0] == 0xef && bytes[1] == 0xbb && bytes[2] == 0xbf)
        text.markBytes = 3;
    return decodeUtf8 (bytes + text.markBytes, size - text.markBytes, text.chars);
}

// Bytes of the source up to character `end`.
size_t sourceBytes (const DecodedText& text, size_t end)
{
    size_t bytes = text.markBytes;
    for (size_t i = 0; i < end && i < text.chars.size(); ++i)
    {
        const auto c = (juce::uint32) text.chars[i];
        if (text.utf16)
            bytes += c > 0xffff ? 4 : 2;
        else
            bytes += c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
    }
    return bytes;
}

//==============================================================================
// Character classes of XML 1.0.

bool isXmlChar (juce::uint32 c)
{
    return c == 0x9 || c == 0xa || c == 0xd || (c >= 0x20 && c <= 0xd7ff) || (c >= 0xe000 && c <= 0xfffd)
        || (c >= 0x10000 && c <= 0x10ffff);
}

bool isXmlSpace (juce::juce_wchar c)
{
    return c == 0x20 || c == 0x9 || c == 0xd || c == 0xa;
}

// What the framework's parser skips as white space ahead of a document in any
// locale: XML's own plus vertical tab and form feed.
bool isLeadingSpace (juce::juce_wchar c)
{
    return c == ' ' || (c >= 9 && c <= 13);
}

bool isNameStartChar (juce::juce_wchar ch)
{
    const auto c = (juce::uint32) ch;
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == ':'
        || (c >= 0xc0 && c <= 0xd6) || (c >= 0xd8 && c <= 0xf6) || (c >= 0xf8 && c <= 0x2ff)
        || (c >= 0x370 && c <= 0x37d) || (c >= 0x37f && c <= 0x1fff) || (c >= 0x200c && c <= 0x200d)
        || (c >= 0x2070 && c <= 0x218f) || (c >= 0x2c00 && c <= 0x2fef) || (c >= 0x3001 && c <= 0xd7ff)
        || (c >= 0xf900 && c <= 0xfdcf) || (c >= 0xfdf0 && c <= 0xfffd) || (c >= 0x10000 && c <= 0xeffff);
}

bool isNameChar (juce::juce_wchar ch)
{
    const auto c = (juce::uint32) ch;
    return isNameStartChar (ch) || c == '-' || c == '.' || (c >= '0' && c <= '9') || c == 0xb7
        || (c >= 0x300 && c <= 0x36f) || (c >= 0x203f && c <= 0x2040);
}

bool isPubidChar (juce::juce_wchar c)
{
    return c == 0x20 || c == 0xd || c == 0xa || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')
        || (c < 0x80 && std::strchr ("-'()+,./:=?;!*#@$_%", (char) c) != nullptr);
}

//==============================================================================
// The framework's nesting is recursive, in its parser and in its tree's
// destructor. Stored documents of this plug-in are three levels deep.
constexpr size_t kMaximumDepth = 256;

// The framework reads at most this many digits of a character reference, and
// takes the rest as text.
constexpr int kMaximumHexDigits = 8;
constexpr int kMaximumDecimalDigits = 12;

enum class ReferencePlace
{
    content,
    attribute,
    defaultValue, // an attribute's default in the DTD, which the framework never reads
    entityValue   // entity references there are kept as they are until the entity is used
};

// A strict, non-recursive reader of XML 1.0 documents that builds nothing. It
// accepts well-formed documents without an external DTD subset, external or
// parameter entities, and refuses everything else, but for two tolerances of
// the framework's parser (white space before the XML declaration, predefined
// entities in any letter case). On top of that it refuses what the framework's
// parser would hang on or misread.
class DocumentCheck
{
public:
    explicit DocumentCheck (const Chars& textToCheck) : text (textToCheck), size (textToCheck.size()) {}

    XmlRefusal run()
    {
        document();
        return refusal;
    }

    size_t rootStartTagEnd = 0;

private:
    using Name = Chars;

    const Chars& text;
    const size_t size;
    size_t pos = 0;
    XmlRefusal refusal = XmlRefusal::none;
    std::set<Name> declaredEntities;

    bool fail (XmlRefusal why)
    {
        if (refusal == XmlRefusal::none)
            refusal = why;
        return false;
    }

    bool malformed() { return fail (XmlRefusal::notWellFormed); }

    juce::juce_wchar peek (size_t ahead = 0) const { return pos + ahead < size ? text[pos + ahead] : 0; }

    bool startsWith (const char* ascii) const
    {
        for (size_t i = 0; ascii[i] != 0; ++i)
            if (peek (i) != (juce::juce_wchar) ascii[i])
                return false;
        return true;
    }

    bool skipOver (const char* ascii)
    {
        if (! startsWith (ascii))
            return false;
        pos += std::strlen (ascii);
        return true;
    }

    // A keyword that is a whole name, not the start of a longer one.
    bool skipKeyword (const char* ascii)
    {
        if (! startsWith (ascii) || isNameChar (peek (std::strlen (ascii))))
            return false;
        pos += std::strlen (ascii);
        return true;
    }

    bool skipSpace()
    {
        const auto start = pos;
        while (pos < size && isXmlSpace (text[pos]))
            ++pos;
        return pos > start;
    }

    bool expect (const char* ascii) { return skipOver (ascii) || malformed(); }
    bool requireSpace() { return skipSpace() || malformed(); }

    // Moves past the next `ascii`, or fails at the end of the text.
    bool skipPast (const char* ascii)
    {
        for (; pos < size; ++pos)
            if (skipOver (ascii))
                return true;
        return malformed();
    }

    bool readName (Name& name)
    {
        if (! isNameStartChar (peek()))
            return malformed();
        const auto start = pos;
        while (pos < size && isNameChar (text[pos]))
            ++pos;
        name.assign (text.begin() + (std::ptrdiff_t) start, text.begin() + (std::ptrdiff_t) pos);
        return true;
    }

    bool readName()
    {
        Name ignored;
        return readName (ignored);
    }

    bool readNmtoken()
    {
        const auto start = pos;
        while (pos < size && isNameChar (text[pos]))
            ++pos;
        return pos > start || malformed();
    }

    static bool nameIs (const Name& name, const char* ascii)
    {
        if (name.size() != std::strlen (ascii))
            return false;
        for (size_t i = 0; i < name.size(); ++i)
            if (name[i] != (juce::juce_wchar) ascii[i])
                return false;
        return true;
    }

    static bool nameIsIgnoringCase (const Name& name, const char* ascii)
    {
        if (name.size() != std::strlen (ascii))
            return false;
        for (size_t i = 0; i < name.size(); ++i)
            if (name[i] >= 0x80 || juce::CharacterFunctions::toLowerCase (name[i]) != (juce::juce_wchar) ascii[i])
                return false;
        return true;
    }

    //==============================================================================
    void document()
    {
        // Characters outside XML are only tolerated as white space ahead of everything else.
        while (pos < size && isLeadingSpace (text[pos]))
            ++pos;
        for (auto i = pos; i < size; ++i)
            if (! isXmlChar ((juce::uint32) text[i]))
            {
                malformed();
                return;
            }

        if (startsWith ("<?xml") && ! isNameChar (peek (5)) && ! xmlDeclaration())
            return;

        if (! miscellany())
            return;

        if (startsWith ("<!DOCTYPE") && (! documentType() || ! miscellany()))
            return;

        if (peek() != '<')
        {
            malformed();
            return;
        }

        if (! rootElement() || ! miscellany())
            return;

        if (pos != size)
            malformed();
    }

    bool xmlDeclaration()
    {
        pos += 5;
        if (! requireSpace() || ! skipKeyword ("version") || ! equalsSign() || ! quotedVersion())
            return malformed();

        bool spaced = skipSpace();
        if (spaced && skipKeyword ("encoding"))
        {
            if (! equalsSign() || ! quotedEncodingName())
                return malformed();
            spaced = skipSpace();
        }
        if (spaced && skipKeyword ("standalone"))
        {
            if (! equalsSign())
                return false;
            const auto quote = peek();
            if (quote != '"' && quote != '\'')
                return malformed();
            ++pos;
            if (! (skipOver ("yes") || skipOver ("no")) || ! skipOver (quote == '"' ? "\"" : "'"))
                return malformed();
            skipSpace();
        }
        return expect ("?>");
    }

    // Any version number, as XML 1.0 until its fifth edition had it: the
    // framework reads them all alike.
    bool quotedVersion()
    {
        const auto quote = peek();
        if (quote != '"' && quote != '\'')
            return false;
        ++pos;
        const auto start = pos;
        while ((peek() < 0x80 && juce::CharacterFunctions::isLetterOrDigit ((char) peek()))
               || peek() == '_' || peek() == '.' || peek() == ':' || peek() == '-')
            ++pos;
        return pos > start && peek() == quote && (++pos, true);
    }

    bool quotedEncodingName()
    {
        const auto quote = peek();
        if (quote != '"' && quote != '\'')
            return false;
        ++pos;
        const auto isLetter = [] (juce::juce_wchar c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
        if (! isLetter (peek()))
            return false;
        while (isLetter (peek()) || (peek() >= '0' && peek() <= '9') || peek() == '.' || peek() == '_' || peek() == '-')
            ++pos;
        return peek() == quote && (++pos, true);
    }

    bool equalsSign()
    {
        skipSpace();
        if (! expect ("="))
            return false;
        skipSpace();
        return true;
    }

    // White space, comments and processing instructions around the document element.
    bool miscellany()
    {
        for (;;)
        {
            skipSpace();
            if (startsWith ("<!--"))
            {
                if (! comment())
                    return false;
            }
            else if (startsWith ("<?"))
            {
                if (! instruction())
                    return false;
            }
            else
            {
                return true;
            }
        }
    }

    bool comment()
    {
        for (pos += 4; pos < size; ++pos)
            if (text[pos] == '-' && peek (1) == '-')
                return (peek (2) == '>' && (pos += 3, true)) || malformed();
        return malformed();
    }

    bool instruction()
    {
        pos += 2;
        Name target;
        if (! readName (target) || nameIsIgnoringCase (target, "xml"))
            return malformed();
        if (skipOver ("?>"))
            return true;
        return requireSpace() && skipPast ("?>");
    }

    //==============================================================================
    bool documentType()
    {
        const auto start = pos;
        pos += 9;
        if (! requireSpace() || ! readName())
            return false;

        skipSpace();
        if (startsWith ("SYSTEM") || startsWith ("PUBLIC"))
            return fail (XmlRefusal::externalReference);

        if (skipOver ("["))
        {
            if (! internalSubset() || ! expect ("]"))
                return false;
            skipSpace();
        }
        if (! expect (">"))
            return false;

        // The framework ends the declaration where its '<' and '>' balance,
        // counting those inside quoted values and comments too. Anywhere else,
        // it reads the rest of the declaration as the document.
        return frameworkEndOfDocumentType (start) == pos || fail (XmlRefusal::misreadByFramework);
    }

    size_t frameworkEndOfDocumentType (size_t start) const
    {
        int depth = 1;
        size_t i = start + 9;
        for (; depth > 0 && i < size; ++i)
            depth += text[i] == '<' ? 1 : text[i] == '>' ? -1 : 0;
        return depth == 0 ? i : size + 1;
    }

    bool internalSubset()
    {
        for (;;)
        {
            skipSpace();
            if (peek() == ']')
                return true;
            if (peek() == '%')
                return fail (XmlRefusal::externalReference);

            const bool ok = startsWith ("<!--")       ? comment()
                          : startsWith ("<?")         ? instruction()
                          : skipOver ("<!ELEMENT")    ? elementDeclaration()
                          : skipOver ("<!ATTLIST")    ? attributeListDeclaration()
                          : skipOver ("<!ENTITY")     ? entityDeclaration()
                          : skipOver ("<!NOTATION")   ? notationDeclaration()
                                                      : malformed();
            if (! ok)
                return false;
        }
    }

    bool endOfDeclaration()
    {
        skipSpace();
        return expect (">");
    }

    bool elementDeclaration()
    {
        if (! requireSpace() || ! readName() || ! requireSpace())
            return false;
        if (skipKeyword ("EMPTY") || skipKeyword ("ANY"))
            return endOfDeclaration();
        if (peek() != '(')
            return malformed();

        // Choices and sequences of names, or mixed content.
        int depth = 0;
        do
        {
            skipSpace();
            const auto c = peek();
            if (c == '(')
                ++depth, ++pos;
            else if (c == ')')
            {
                --depth, ++pos;
                if (peek() == '?' || peek() == '*' || peek() == '+')
                    ++pos;
            }
            else if (c == '|' || c == ',')
                ++pos;
            else if (! (skipKeyword ("#PCDATA") || readName ()))
                return false;
        }
        while (depth > 0);

        return endOfDeclaration();
    }

    bool attributeListDeclaration()
    {
        if (! requireSpace() || ! readName())
            return false;

        for (;;)
        {
            const bool spaced = skipSpace();
            if (skipOver (">"))
                return true;
            if (! spaced || ! readName() || ! requireSpace() || ! attributeType() || ! requireSpace())
                return malformed();

            if (skipKeyword ("#REQUIRED") || skipKeyword ("#IMPLIED"))
                continue;
            if (skipKeyword ("#FIXED") && ! requireSpace())
                return false;
            if (! attributeValue (ReferencePlace::defaultValue))
                return false;
        }
    }

    bool attributeType()
    {
        for (auto* type : { "CDATA", "IDREFS", "IDREF", "ID", "ENTITIES", "ENTITY", "NMTOKENS", "NMTOKEN" })
            if (skipKeyword (type))
                return true;

        const bool notation = skipKeyword ("NOTATION");
        if (notation && ! requireSpace())
            return false;
        if (! skipOver ("("))
            return malformed();

        do
        {
            skipSpace();
            if (! (notation ? readName() : readNmtoken()))
                return false;
            skipSpace();
        }
        while (skipOver ("|"));

        return expect (")");
    }

    bool entityDeclaration()
    {
        if (! requireSpace())
            return false;
        const bool parameterEntity = skipOver ("%");
        if (parameterEntity && ! requireSpace())
            return false;

        Name name;
        if (! readName (name) || ! requireSpace())
            return false;
        if (startsWith ("SYSTEM") || startsWith ("PUBLIC"))
            return fail (XmlRefusal::externalReference);

        const auto quote = peek();
        if (quote != '"' && quote != '\'')
            return malformed();
        for (++pos; peek() != quote;)
        {
            if (pos >= size)
                return malformed();
            if (peek() == '%')
                return fail (XmlRefusal::externalReference);
            if (peek() == '&')
            {
                if (! reference (ReferencePlace::entityValue))
                    return false;
                continue;
            }
            ++pos;
        }
        ++pos;

        if (! parameterEntity)
            declaredEntities.insert (name);
        return endOfDeclaration();
    }

    bool notationDeclaration()
    {
        if (! requireSpace() || ! readName() || ! requireSpace())
            return false;

        if (skipKeyword ("SYSTEM"))
        {
            if (! requireSpace() || ! literal (false))
                return false;
        }
        else if (skipKeyword ("PUBLIC"))
        {
            if (! requireSpace() || ! literal (true))
                return false;
            if (skipSpace() && (peek() == '"' || peek() == '\'') && ! literal (false))
                return false;
        }
        else
        {
            return malformed();
        }
        return endOfDeclaration();
    }

    bool literal (bool publicId)
    {
        const auto quote = peek();
        if (quote != '"' && quote != '\'')
            return malformed();
        for (++pos; peek() != quote; ++pos)
            if (pos >= size || (publicId && ! isPubidChar (peek())))
                return malformed();
        ++pos;
        return true;
    }

    //==============================================================================
    bool rootElement()
    {
        std::vector<Name> open;
        if (! startTag (open))
            return false;
        rootStartTagEnd = pos;

        // After a processing instruction in content, the framework's parser
        // skips white space, comments and further instructions; if what comes
        // next is not markup, it returns to the instruction and loops forever.
        bool afterInstruction = false;

        while (! open.empty())
        {
            if (pos >= size)
                return malformed();

            if (startsWith ("<!--"))
            {
                if (! comment())
                    return false;
            }
            else if (startsWith ("<?"))
            {
                if (! instruction())
                    return false;
                afterInstruction = true;
            }
            else if (peek() == '<')
            {
                const bool ok = startsWith ("</")        ? endTag (open)
                              : skipOver ("<![CDATA[")   ? skipPast ("]]>")
                                                         : startTag (open);
                if (! ok)
                    return false;
                afterInstruction = false;
            }
            else if (peek() == '&')
            {
                if (afterInstruction)
                    return fail (XmlRefusal::hangsFramework);
                if (! reference (ReferencePlace::content))
                    return false;
            }
            else if (! characterData (afterInstruction))
            {
                return false;
            }
        }
        return true;
    }

    bool startTag (std::vector<Name>& open)
    {
        ++pos;
        Name name;
        if (! readName (name))
            return false;

        std::set<Name> attributes;
        for (;;)
        {
            const bool spaced = skipSpace();
            const bool empty = skipOver ("/>");
            if (empty || skipOver (">"))
            {
                if (open.size() >= kMaximumDepth)
                    return fail (XmlRefusal::tooDeep);
                if (! empty)
                    open.push_back (name);
                return true;
            }

            Name attribute;
            if (! spaced || ! readName (attribute) || ! attributes.insert (attribute).second)
                return malformed();
            if (! equalsSign() || ! attributeValue (ReferencePlace::attribute))
                return false;
        }
    }

    bool endTag (std::vector<Name>& open)
    {
        pos += 2;
        Name name;
        if (! readName (name) || name != open.back())
            return malformed();
        skipSpace();
        open.pop_back();
        return expect (">");
    }

    bool characterData (bool afterInstruction)
    {
        for (const auto start = pos; pos < size && text[pos] != '<' && text[pos] != '&'; ++pos)
        {
            if (afterInstruction && ! isXmlSpace (text[pos]))
                return fail (XmlRefusal::hangsFramework);
            if (text[pos] == '>' && pos >= start + 2 && text[pos - 1] == ']' && text[pos - 2] == ']')
                return malformed();
        }
        return true;
    }

    bool attributeValue (ReferencePlace place)
    {
        const auto quote = peek();
        if (quote != '"' && quote != '\'')
            return malformed();

        for (++pos; peek() != quote;)
        {
            if (pos >= size || peek() == '<')
                return malformed();
            if (peek() == '&')
            {
                if (! reference (place))
                    return false;
                continue;
            }
            ++pos;
        }
        ++pos;
        return true;
    }

    //==============================================================================
    bool reference (ReferencePlace place)
    {
        ++pos;
        if (skipOver ("#"))
            return characterReference();

        Name name;
        if (! readName (name) || ! expect (";"))
            return false;

        // Kept as written until the entity is used, which is refused below.
        if (place == ReferencePlace::entityValue)
            return true;

        for (auto* predefined : { "amp", "lt", "gt", "quot", "apos" })
            if (nameIs (name, predefined))
                return true;

        if (declaredEntities.count (name) > 0)
            return place == ReferencePlace::defaultValue || fail (XmlRefusal::declaredEntity);

        // The framework reads the predefined entities in any letter case.
        for (auto* predefined : { "amp", "lt", "gt", "quot", "apos" })
            if (nameIsIgnoringCase (name, predefined))
                return true;

        return malformed();
    }

    bool characterReference()
    {
        const bool hex = skipOver ("x");
        juce::uint32 value = 0;
        int digits = 0;
        for (;; ++pos, ++digits)
        {
            const auto c = peek();
            const int digit = (c >= '0' && c <= '9') ? (int) (c - '0')
                            : (hex && c >= 'a' && c <= 'f') ? (int) (c - 'a' + 10)
                            : (hex && c >= 'A' && c <= 'F') ? (int) (c - 'A' + 10)
                                                            : -1;
            if (digit < 0)
                break;
            value = juce::jmin (value * (hex ? 16u : 10u) + (juce::uint32) digit, 0x110000u);
        }

        if (digits == 0 || ! expect (";") || ! isXmlChar (value))
            return malformed();
        return digits <= (hex ? kMaximumHexDigits : kMaximumDecimalDigits) || fail (XmlRefusal::misreadByFramework);
    }
};
} // namespace

//==============================================================================
XmlReading readStoredXml (const void* data, size_t size, StoredText encoding)
{
    XmlReading reading;
    DecodedText text;
    if (data == nullptr)
        size = 0;
    if (size > 0 && ! decode (static_cast<const juce::uint8*> (data), size, encoding, text))
    {
        reading.refusal = XmlRefusal::notText;
        return reading;
    }

    DocumentCheck check (text.chars);
    reading.refusal = check.run();
    if (reading.refusal != XmlRefusal::none)
        return reading;

    text.chars.push_back (0);
    reading.root = juce::parseXML (juce::String (juce::CharPointer_UTF32 (text.chars.data())));
    if (reading.root == nullptr)
        reading.refusal = XmlRefusal::noElement;
    else
        reading.rootStartTagEnd = sourceBytes (text, check.rootStartTagEnd);
    return reading;
}

std::unique_ptr<juce::XmlElement> parseXmlDocument (const juce::String& text)
{
    const auto* raw = text.toRawUTF8();
    return readStoredXml (raw, std::strlen (raw), StoredText::utf8).root;
}

bool isStrictUtf8 (const void* data, size_t size)
{
    Chars chars;
    return size == 0 || (data != nullptr && std::memchr (data, 0, size) == nullptr
                         && decodeUtf8 (static_cast<const juce::uint8*> (data), size, chars));
}

bool isRegularFile (const juce::File& file)
{
   #if JUCE_WINDOWS
    return file.existsAsFile();
   #else
    struct stat info;
    return ::stat (file.getFullPathName().toRawUTF8(), &info) == 0 && S_ISREG (info.st_mode);
   #endif
}

bool readRegularFile (const juce::File& file, juce::MemoryBlock& content)
{
    content.reset();
    if (! isRegularFile (file))
        return false;

   #if JUCE_WINDOWS
    return file.loadFileAsData (content);
   #else
    // The type is checked again on what was opened: the path may have changed
    // since. Opening without blocking keeps a FIFO put there from stalling.
    const int handle = ::open (file.getFullPathName().toRawUTF8(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (handle < 0)
        return false;

    struct stat info;
    bool ok = ::fstat (handle, &info) == 0 && S_ISREG (info.st_mode);
    if (ok)
    {
        juce::MemoryOutputStream out (content, false);
        char buffer[16384];
        for (;;)
        {
            const auto count = ::read (handle, buffer, sizeof (buffer));
            if (count < 0 && errno == EINTR)
                continue;
            if (count <= 0)
            {
                ok = count == 0;
                break;
            }
            out.write (buffer, (size_t) count);
        }
    }
    ::close (handle);

    if (! ok)
        content.reset();
    return ok;
   #endif
}

XmlReading readXmlFile (const juce::File& file)
{
    juce::MemoryBlock content;
    if (! readRegularFile (file, content))
    {
        XmlReading reading;
        reading.refusal = XmlRefusal::unreadable;
        return reading;
    }
    return readStoredXml (content.getData(), content.getSize(), StoredText::fileBytes);
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
