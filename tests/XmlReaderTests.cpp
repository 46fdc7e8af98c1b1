// The stored-XML reader, one document at a time: what it reads, what it
// refuses and why, and that what it reads is the framework's own tree.

#include "XmlTestSupport.h"

#include "StoredXml.h"

#include <string>

using namespace marnovex;
using namespace vorn::test;
using namespace std::string_literals;

namespace
{
struct Case
{
    const char* what;
    std::string bytes;
    XmlRefusal expected;
};

std::string nested (int depth)
{
    std::string text;
    for (int i = 0; i < depth; ++i)
        text += "<e>";
    for (int i = 0; i < depth; ++i)
        text += "</e>";
    return text;
}

const std::string kDeclaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";

void expectReading (const Case& c, StoredText encoding)
{
    SCOPED_TRACE (c.what);
    const auto reading = readStoredXml (c.bytes.data(), c.bytes.size(), encoding);
    EXPECT_EQ (vorn::test::nameOf (reading.refusal), vorn::test::nameOf (c.expected));
    ASSERT_EQ (reading.root != nullptr, c.expected == XmlRefusal::none);

    // What is read is exactly the framework's reading of the same text.
    if (reading.root != nullptr)
    {
        const auto frameworkTree = juce::parseXML (juce::String::fromUTF8 (c.bytes.c_str()));
        ASSERT_NE (frameworkTree, nullptr);
        EXPECT_TRUE (reading.root->isEquivalentTo (frameworkTree.get(), false));
    }
}
} // namespace

TEST (StoredXmlReader, ReadsEveryWellFormedDocumentOfTheseKinds)
{
    const Case cases[] = {
        { "declaration, root with attributes", kDeclaration + "<a x=\"1\" y='2'/>", XmlRefusal::none },
        { "no declaration", "<a/>", XmlRefusal::none },
        { "comments holding markup characters",
          kDeclaration + "<!-- Bass & Drums --><a><!-- <? --><!--<!DOCTYPE a>--><!-- a > b, ]]> --></a><!-- - -->", XmlRefusal::none },
        { "CDATA holding & and <", "<a><![CDATA[Rock & <Roll>]]>t<![CDATA[]]></a>", XmlRefusal::none },
        { "white space, vertical tab and form feed before the declaration", " \t\r\n\v\f" + kDeclaration + "<a/>", XmlRefusal::none },
        { "predefined entities in any letter case", "<a v=\"&amp;&AMP;&Lt;&gT;&quot;&Apos;\">&lt;&APOS;</a>", XmlRefusal::none },
        { "character references up to the framework's length", "<a v=\"&#x00000041;&#000000000065;&#x10FFFF;&#9;\">&#13;&#xD7FF;</a>",
          XmlRefusal::none },
        { "instructions followed by markup or white space",
          "<?pi?><a><?p x?> <!-- c --> <?q?><b/><?r?>\r\n</a><?s data?>", XmlRefusal::none },
        { "standalone declaration", "<?xml version='1.0' standalone='yes'?><a/>", XmlRefusal::none },
        { "simple document type", "<!DOCTYPE a><a/>", XmlRefusal::none },
        { "internal DTD subset, its entities unused",
          "<!DOCTYPE a [\n <!ELEMENT a (#PCDATA|b)*>\n <!ELEMENT b EMPTY>\n <!ATTLIST a x CDATA #IMPLIED y (p|q) 'p' z NOTATION (n) #REQUIRED>\n"
          " <!ENTITY e \"v&#60;&amp;\">\n <!ENTITY % p 'x'>\n <!NOTATION n SYSTEM \"viewer\">\n <!-- c --> <?pi?>\n]>\n<a>&amp;</a>",
          XmlRefusal::none },
        { "non-ASCII text and attributes", "<a v=\"Sp\xc3\xa4t \xf0\x9f\x98\x80\">\xe2\x82\xac</a>", XmlRefusal::none },
        { "text ends at a zero byte", "<a/>\0junk"s, XmlRefusal::none },
        { "nesting as deep as allowed", nested (256), XmlRefusal::none },
    };

    for (const auto& c : cases)
        expectReading (c, StoredText::fileBytes);
}

TEST (StoredXmlReader, RefusesWhatTheFrameworkCannotReadSafelyOrExactly)
{
    const Case cases[] = {
        // Not text.
        { "UTF-8 cut inside a character", "<a>\xe2\x82</a>", XmlRefusal::notText },
        { "overlong UTF-8", "<a>\xc0\xbc</a>", XmlRefusal::notText },
        { "encoded surrogate", "<a>\xed\xa0\x80</a>", XmlRefusal::notText },
        { "value past U+10FFFF", "<a>\xf4\x90\x80\x80</a>", XmlRefusal::notText },
        { "unpaired UTF-16 surrogate", "\xff\xfe<\0a\0>\0\x00\xd8<\0/\0a\0>\0"s, XmlRefusal::notText },

        // Not well-formed, though the framework reads most of these somehow.
        { "mismatched closing tag", "<a></b>", XmlRefusal::notWellFormed },
        { "unknown entity", "<a>&nbsp;</a>", XmlRefusal::notWellFormed },
        { "reference without semicolon", "<a>&amp</a>", XmlRefusal::notWellFormed },
        { "unfinished character reference", "<a>&#x</a>", XmlRefusal::notWellFormed },
        { "upper-case X in a character reference", "<a>&#X41;</a>", XmlRefusal::notWellFormed },
        { "character reference to zero", "<a>&#0;</a>", XmlRefusal::notWellFormed },
        { "character reference to a control character", "<a v='&#x1;'/>", XmlRefusal::notWellFormed },
        { "character reference to a surrogate", "<a>&#xD800;</a>", XmlRefusal::notWellFormed },
        { "character reference past U+10FFFF", "<a>&#1114112;</a>", XmlRefusal::notWellFormed },
        { "character reference to U+FFFE", "<a>&#xFFFE;</a>", XmlRefusal::notWellFormed },
        { "repeated attribute", "<a x='1' x='2'/>", XmlRefusal::notWellFormed },
        { "attribute without quotes", "<a x=1/>", XmlRefusal::notWellFormed },
        { "attributes without space between", "<a x='1'y='2'/>", XmlRefusal::notWellFormed },
        { "'<' in an attribute", "<a x='<'/>", XmlRefusal::notWellFormed },
        { "']]>' in text", "<a>]]></a>", XmlRefusal::notWellFormed },
        { "'--' inside a comment", "<a><!-- a -- b --></a>", XmlRefusal::notWellFormed },
        { "unterminated comment", "<a/><!--", XmlRefusal::notWellFormed },
        { "unterminated CDATA", "<a><![CDATA[x</a>", XmlRefusal::notWellFormed },
        { "text after the document element", "<a/>x", XmlRefusal::notWellFormed },
        { "second document element", "<a/><b/>", XmlRefusal::notWellFormed },
        { "unclosed element", "<a><b/>", XmlRefusal::notWellFormed },
        { "empty text", "", XmlRefusal::notWellFormed },
        { "declaration after a comment", "<!-- c -->" + kDeclaration + "<a/>", XmlRefusal::notWellFormed },
        { "declaration without a version", "<?xml encoding='UTF-8'?><a/>", XmlRefusal::notWellFormed },
        { "instruction named xml in content", "<a><?XML x?></a>", XmlRefusal::notWellFormed },
        { "vertical tab inside the document", "<a>\v</a>", XmlRefusal::notWellFormed },
        { "no-break space before the declaration", "\xc2\xa0" + kDeclaration + "<a/>", XmlRefusal::notWellFormed },
        { "space between '<' and the name", "< a/>", XmlRefusal::notWellFormed },
        { "document type after the document element", "<a/><!DOCTYPE a>", XmlRefusal::notWellFormed },

        // Never loaded from elsewhere.
        { "external DTD subset", "<!DOCTYPE a SYSTEM \"a.dtd\"><a/>", XmlRefusal::externalReference },
        { "public DTD", "<!DOCTYPE a PUBLIC \"-//x//y\" \"a.dtd\"><a/>", XmlRefusal::externalReference },
        { "external entity", "<!DOCTYPE a [<!ENTITY e SYSTEM \"/dev/zero\">]><a/>", XmlRefusal::externalReference },
        { "external parameter entity", "<!DOCTYPE a [<!ENTITY % p SYSTEM \"p.dtd\">]><a/>", XmlRefusal::externalReference },
        { "parameter-entity reference", "<!DOCTYPE a [<!ENTITY % p '<!ENTITY e \"v\">'> %p;]><a/>", XmlRefusal::externalReference },

        // The framework expands declared entities its own way.
        { "declared entity in text", "<!DOCTYPE a [<!ENTITY e \"v\">]><a>&e;</a>", XmlRefusal::declaredEntity },
        { "declared entity in an attribute", "<!DOCTYPE a [<!ENTITY e \"v\">]><a x='&e;'/>", XmlRefusal::declaredEntity },

        // The framework's parser never returns from these.
        { "instruction followed by text", "<a><?pi?>text</a>", XmlRefusal::hangsFramework },
        { "instruction, comment, then text", "<a><?p?> <!-- c --> <?q?> t</a>", XmlRefusal::hangsFramework },
        { "instruction followed by a reference", "<a><?p?>&#32;<b/></a>", XmlRefusal::hangsFramework },
        { "instruction followed by a non-ASCII space", "<a><?p?>\xe3\x80\x80</a>", XmlRefusal::hangsFramework },

        // The framework reads these, but not as they are written.
        { "'>' inside a quoted DTD value", "<!DOCTYPE a [<!ENTITY e \"x>\">]><a/>", XmlRefusal::misreadByFramework },
        { "DTD the framework ends before its parsed element",
          "<!DOCTYPE a [<!ENTITY x \">><r><?p?>t</r>\">]><a/>", XmlRefusal::misreadByFramework },
        { "'<' inside a DTD comment", "<!DOCTYPE a [<!-- < -->]><a/>", XmlRefusal::misreadByFramework },
        { "nine hex digits", "<a>&#x000000041;</a>", XmlRefusal::misreadByFramework },
        { "thirteen decimal digits", "<a v='&#0000000000065;'/>", XmlRefusal::misreadByFramework },

        { "nesting deeper than allowed", nested (257), XmlRefusal::tooDeep },

        // Well-formed, but the framework's parser (in the C locale) takes only
        // ASCII letters and digits for names and gives up.
        { "non-ASCII element name", "<\xc3\xa9t\xc3\xa9/>", XmlRefusal::noElement },
    };

    for (const auto& c : cases)
        expectReading (c, StoredText::fileBytes);
}

TEST (StoredXmlReader, FilesFollowTheirByteOrderMarkAndStateIsUtf8)
{
    const std::u16string text = u"<a v=\"Sp\u00e4t \U0001F600\">\u20ac</a>";
    TempFolder temp;

    for (const bool bigEndian : { false, true })
    {
        const auto bytes = utf16Bytes (text, bigEndian);
        const auto reading = readStoredXml (bytes.data(), bytes.size(), StoredText::fileBytes);
        ASSERT_NE (reading.root, nullptr) << bigEndian;
        EXPECT_EQ (reading.root->getStringAttribute ("v"), juce::String::fromUTF8 ("Sp\xc3\xa4t \xf0\x9f\x98\x80"));
        EXPECT_EQ (reading.root->getAllSubText(), juce::String::fromUTF8 ("\xe2\x82\xac"));

        // The framework reads the same file alike, but for splitting the
        // character outside the Basic Multilingual Plane into its two halves.
        const auto file = temp / "utf16.xml";
        ASSERT_TRUE (file.replaceWithData (bytes.data(), bytes.size()));
        const auto framework = juce::parseXML (file);
        ASSERT_NE (framework, nullptr);
        EXPECT_EQ (framework->getAllSubText(), reading.root->getAllSubText());
        EXPECT_EQ (framework->getStringAttribute ("v").length(), reading.root->getStringAttribute ("v").length() + 1);
    }

    // A UTF-8 byte-order mark is skipped in files; in host state it is text before the element.
    const std::string marked = "\xef\xbb\xbf<a/>";
    EXPECT_NE (readStoredXml (marked.data(), marked.size(), StoredText::fileBytes).root, nullptr);
    EXPECT_EQ (readStoredXml (marked.data(), marked.size(), StoredText::utf8).refusal, XmlRefusal::notWellFormed);

    // Host state bytes are never UTF-16.
    const auto utf16 = utf16Bytes (u"<a/>", false);
    EXPECT_EQ (readStoredXml (utf16.data(), utf16.size(), StoredText::utf8).refusal, XmlRefusal::notText);
}

TEST (StoredXmlReader, ReportsWhereTheDocumentElementsStartTagEnds)
{
    // In bytes of the source, mark included: the settings reader needs it.
    const std::string utf8 = "\xef\xbb\xbf<!-- \xc3\xa4 --><a x='1'><b/></a>";
    EXPECT_EQ (readStoredXml (utf8.data(), utf8.size(), StoredText::fileBytes).rootStartTagEnd, utf8.find ("<b/>"));

    const auto utf16 = utf16Bytes (u"<!-- \U0001F600 --><a/>", false);
    EXPECT_EQ (readStoredXml (utf16.data(), utf16.size(), StoredText::fileBytes).rootStartTagEnd, utf16.size());
}

TEST (StoredXmlReader, ReadsOnlyRegularFiles)
{
    TempFolder temp;
    const auto regular = temp / "a.xml";
    ASSERT_TRUE (regular.replaceWithText ("<a/>"));
    const auto link = temp / "link.xml";
    ASSERT_TRUE (regular.createSymbolicLink (link, true));
    const auto fifo = makeFifo (temp / "fifo.xml");
    const auto dangling = temp / "dangling.xml";
    ASSERT_TRUE ((temp / "gone.xml").createSymbolicLink (dangling, true));

    EXPECT_NE (readXmlFile (regular).root, nullptr);
    EXPECT_NE (readXmlFile (link).root, nullptr);
    for (const auto& other : { fifo, dangling, temp.folder, temp / "missing.xml", juce::File ("/dev/zero") })
    {
        EXPECT_FALSE (isRegularFile (other)) << other.getFullPathName();
        EXPECT_EQ (readXmlFile (other).refusal, XmlRefusal::unreadable) << other.getFullPathName();
    }
}
