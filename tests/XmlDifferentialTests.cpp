// The stored-XML reader against the framework's own XML parser, on documents
// generated and damaged from a fixed seed. The framework parses each document
// in a fresh probe process (XmlParseProbe), so a parse that hangs or reads out
// of bounds is seen as such instead of taking the test down; expat judges
// which documents are well-formed. In a sanitizer build the probe is
// instrumented too, which is where the framework's over-reads show.
//
// What must hold for every document:
// - where the framework hangs or crashes, the reader refuses, and neither a
//   preset load nor a state restore of the document changes anything;
// - what the reader accepts, the framework reads to the same tree;
// - a well-formed document the framework reads is accepted, unless it is of a
//   kind refused on purpose (external or declared entities, what the framework
//   misreads, nesting too deep).

#include "XmlCanonical.h"
#include "XmlTestSupport.h"

#include "StoredXml.h"

#include <expat.h>

#include <iostream>
#include <map>
#include <random>

using namespace vorn::test;
using namespace marnovex;

namespace
{
// Fixed: every run sees the same documents. The count keeps the sanitizer
// build's run of this test between one and two minutes.
constexpr std::uint32_t kSeed = 20240917;
constexpr int kDocumentCount = 1000;

// A parse of a few kilobytes takes well under a millisecond; a probe process
// starts in a fraction of a second even when instrumented.
constexpr int kProbeTimeoutMs = 3000;
constexpr int kParallelProbes = 6;

//==============================================================================
// Documents built from the constructs that matter: comments, CDATA, processing
// instructions, references, document types, white space before the declaration,
// UTF-8 and UTF-16 with and without a byte-order mark. About half of them are
// built from valid choices only; in the rest, each choice is a faulty one now
// and then, and the bytes may be damaged at the end.
class DocumentGenerator
{
public:
    explicit DocumentGenerator (std::uint32_t seed) : rng (seed) {}

    // Every 200th document hangs the framework by design, every 10th is cut
    // inside its document element and ends in what the framework reads past the
    // end of its text on; the rest are random.
    std::string next (int index)
    {
        faulty = chance (50);
        declaresEntity = false;

        std::string text = choose ({ "", "", "", "", " ", "\t", "\r\n", "\v", "\f", " \v " }, { "\xc2\xa0", "\xe3\x80\x80", "x" });
        text += choose ({ "", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>",
                          "<?xml version='1.0'?>", "<?xml version=\"1.0\" encoding=\"UTF-16\"?>",
                          "<?xml version=\"1.0\" encoding=\"ISO-8859-1\" standalone=\"no\"?>", "<?xml version=\"1.1\"?>",
                          "<?xml version=\"1.0\"?>\r\n\r\n" },
                        { "<?xml?>", "<?xml encoding='UTF-8'?>", "<?xml version=\"1.0\" standalone=\"maybe\"?>" });
        text += miscellany();
        if (chance (25))
            text += documentType() + miscellany();

        const auto rootStart = text.size();
        text += index % 200 == 100 ? "<Marnovex>" + element (1) + instruction() + pick ({ "text", "&amp;", " Sp\xc3\xa4t" }) + "</Marnovex>"
                                   : element (0);
        if (index % 10 == 5)
            return text.substr (0, rootStart + 1 + (size_t) below ((int) (text.size() - rootStart - 1)))
                 + pick ({ "\xe0\xa0", "\xc3", "\xe2\x82", "\xf0\x9f\x98", "&#x", "&#x4", "\xf4\x8f" });

        text += miscellany();
        return damaged (encoded (text));
    }

private:
    std::mt19937 rng;
    bool faulty = false;
    bool declaresEntity = false;

    int below (int n) { return std::uniform_int_distribution<int> (0, n - 1) (rng); }
    bool chance (int percent) { return below (100) < percent; }
    std::string pick (std::initializer_list<const char*> options) { return *(options.begin() + below ((int) options.size())); }

    // A valid choice, or in a faulty document now and then a faulty one.
    std::string choose (std::initializer_list<const char*> valid, std::initializer_list<const char*> faults)
    {
        return faulty && chance (5) ? pick (faults) : pick (valid);
    }

    std::string name()
    {
        return pick ({ "a", "b", "PARAM", "Parameters", "Marnovex", "x-y.z", "ns:e", "_u", "e1", "a", "b", "PARAM", "\xc3\xa9t\xc3\xa9" });
    }

    std::string reference()
    {
        if (declaresEntity && chance (30))
            return "&e;";
        return choose ({ "&amp;", "&lt;", "&gt;", "&quot;", "&apos;", "&AMP;", "&Lt;", "&#65;", "&#x41;", "&#x10FFFF;",
                         "&#x1F600;", "&#9;", "&#13;", "&#x00000041;", "&#000000000065;", "&#xe9;" },
                       { "&#x000000041;", "&#0000000000065;", "&#X41;", "&#x;", "&#;", "&#0;", "&#x1;", "&#xD800;",
                         "&#xFFFE;", "&#x110000;", "&#1114112;", "&nbsp;", "&", "&amp", "&#x4", "&#12" });
    }

    std::string characters()
    {
        return choose ({ "text", " ", "\r\n    ", "Sp\xc3\xa4t", "\xf0\x9f\x98\x80", "a > b", "\t", "x\ry", "\xe2\x80\xa8", "\xc2\x85" },
                       { "]]>", "\v", "\x01", "\xef\xbf\xbe" });
    }

    std::string attributeValue()
    {
        std::string value;
        for (int i = below (3); i >= 0; --i)
            value += chance (35) ? reference() : choose ({ "1.0", "Rock", " ", "\t", "\r\n", "Sp\xc3\xa4t", "\xf0\x9f\x98\x80", ">" }, { "<" });
        return value;
    }

    std::string comment()
    {
        return "<!--" + choose ({ " Bass & Drums ", " <? ", " <!DOCTYPE a> ", "", " ]]> ", "\xe2\x82\xac", " > ", " - " }, { "-", " -- " }) + "-->";
    }

    std::string instruction()
    {
        return "<?" + choose ({ "pi", "target", "xml-stylesheet", "p" }, { "xml", "XmL", "" }) + pick ({ "", " data", " a?b", " <x>", " ?" }) + "?>";
    }

    std::string cdata()
    {
        return "<![CDATA[" + pick ({ "&", "<b>&amp;</b>", "]]", "\r\n", "", " ", "]" }) + "]]>";
    }

    std::string miscellany()
    {
        std::string text;
        for (int i = below (3); --i >= 0;)
            text += chance (50) ? comment() : chance (70) ? instruction() : choose ({ " ", "\r\n", "\t" }, { "x", "\v" });
        return text;
    }

    std::string documentType()
    {
        // Read alike by both, refused on purpose, or not well-formed.
        // The framework hangs on type 6; each hang costs a time-out, so it is rare.
        auto type = faulty ? below (12) : pick ({ 0, 2, 4, 8, 10 });
        if (type == 6 && ! chance (25))
            type = 0;
        declaresEntity = type == 2 || type == 8;
        switch (type)
        {
            case 0:  return "<!DOCTYPE a>";
            case 1:  return "<!DOCTYPE a SYSTEM \"a.dtd\">";
            case 2:  return "<!DOCTYPE a [<!ENTITY e \"v\">]>";
            case 3:  return "<!DOCTYPE a [<!ENTITY e \">\">]>";
            case 4:  return "<!DOCTYPE a [<!-- c --><!ELEMENT a ANY><!ATTLIST a x CDATA 'd'>]>";
            case 5:  return "<!DOCTYPE a [<!-- < -->]>";
            case 6:  return "<!DOCTYPE a [<!ENTITY x \">><r><?p?>t</r>\">]>";
            case 7:  return "<!DOCTYPE a PUBLIC \"-//x\" \"a.dtd\">";
            case 8:  return "<!DOCTYPE a [\r\n  <!ENTITY e \"<b>x</b>\">\r\n  <!NOTATION n SYSTEM \"v\">\r\n]>";
            case 9:  return "<!DOCTYPE a [<!ENTITY % p SYSTEM \"p.dtd\"> %p;]>";
            case 10: return "<!DOCTYPE a [<!ELEMENT a (#PCDATA|b)*><?pi x?>]>";
            default: return "<!DOCTYPE>";
        }
    }

    int pick (std::initializer_list<int> options) { return *(options.begin() + below ((int) options.size())); }

    std::string element (int depth)
    {
        const auto tag = name();
        std::string text = "<" + tag;
        std::vector<std::string> attributes { "id", "value", "x", "product", "presetPath", "ns:q" };
        for (int i = below (4); --i >= 0;)
        {
            // Each attribute once, unless this is a fault.
            const auto index = (size_t) below ((int) attributes.size());
            const auto attribute = attributes[index];
            if (! (faulty && chance (5)))
                attributes.erase (attributes.begin() + (std::ptrdiff_t) index);
            if (attributes.empty())
                break;
            text += pick ({ " ", " ", "\r\n ", "\t" }) + attribute + pick ({ "=", "=", " = " })
                  + (chance (80) ? "\"" + attributeValue() + "\"" : "'" + attributeValue() + "'");
        }
        if (chance (30))
            return text + choose ({ "/>", " />" }, { "/ >", ">" });

        text += ">";
        for (int i = below (depth < 3 ? 6 : 3); --i >= 0;)
        {
            switch (below (10))
            {
                case 0: case 1: text += depth < 3 ? element (depth + 1) : characters(); break;
                case 2: case 3: text += characters(); break;
                case 4: text += reference(); break;
                case 5: text += comment(); break;
                case 6: text += cdata(); break;
                // After an instruction in content, only markup and white space are safe
                // for the framework. Each document that breaks this costs a time-out.
                case 7:
                    text += instruction() + pick ({ " ", "\r\n", "", "<!-- c -->" });
                    text += depth < 3 ? element (depth + 1) : "<b/>";
                    break;
                default: text += pick ({ "\r\n  ", " ", "" }); break;
            }
        }
        return text + "</" + choose ({ tag.c_str() }, { "a", "b", "PARAM" }) + ">";
    }

    // UTF-8 mostly; UTF-16 either way round, with or without a mark, sometimes one byte short.
    std::string encoded (const std::string& utf8)
    {
        const auto choice = below (20);
        if (choice < 12)
            return utf8;
        if (choice < 14)
            return "\xef\xbb\xbf" + utf8;
        if (! faulty && choice >= 18)
            return utf8;

        const auto text = juce::String::fromUTF8 (utf8.data(), (int) utf8.size());
        std::u16string units;
        for (auto p = text.toUTF16(); ! p.isEmpty(); ++p)
            units += (char16_t) *p.getAddress();
        auto bytes = utf16Bytes (units, choice % 2 == 0, choice != 18);
        if (choice == 19 && ! bytes.empty())
            bytes.pop_back();
        return bytes;
    }

    // Byte-level damage, most of it near the end, where an over-read of the
    // framework would leave its text.
    std::string damaged (std::string bytes)
    {
        if (! faulty || ! chance (40) || bytes.empty())
            return bytes;

        const auto size = (int) bytes.size();
        const auto nearEnd = [&] { return juce::jmax (0, size - 1 - below (juce::jmin (size, 24))); };
        switch (below (6))
        {
            case 0: bytes.resize ((size_t) below (size)); break;
            case 1: bytes.resize ((size_t) nearEnd()); break;
            case 2: bytes.insert ((size_t) nearEnd(), pick ({ "\xc3", "\xe2\x82", "\xf0\x9f\x98", "\xc0\xbc", "\xed\xa0\x80", "\xff", "\xe0\xa0" })); break;
            case 3: bytes.erase ((size_t) below (size), (size_t) (1 + below (8))); break;
            case 4: bytes.insert ((size_t) below (size), 1, '\0'); break;
            default: bytes += pick ({ "\xe0\xa0", "\xc3", "&#x", "<a", "<?" }); break;
        }
        return bytes;
    }
};

//==============================================================================
enum class Framework { readsElement, noElement, hangs, crashes };

struct ProbeRun
{
    Framework outcome = Framework::crashes;
    juce::String tree;   // canonical form of what it read from the file
    juce::String output; // everything the probe printed
};

ProbeRun interpret (const juce::String& output)
{
    ProbeRun run;
    run.output = output;
    auto lines = juce::StringArray::fromLines (output.trimEnd());
    if (lines.size() != 6 || lines[5] != "end" || ! lines[0].startsWith ("file "))
        return run;

    run.tree = lines[0].substring (5);
    run.outcome = run.tree == "NONE" ? Framework::noElement : Framework::readsElement;
    return run;
}

// Runs the probe on every file, several at a time. A probe still running after
// the time limit is killed and run again on its own before it counts as a hang.
std::vector<ProbeRun> runProbes (const juce::Array<juce::File>& files)
{
    struct Running
    {
        int index = 0;
        std::unique_ptr<juce::ChildProcess> process;
        juce::uint32 started = 0;
    };

    std::vector<ProbeRun> runs ((size_t) files.size());
    std::vector<int> timedOut;

    const auto runAll = [&] (const std::vector<int>& indices, int parallel, bool lastChance)
    {
        std::vector<Running> running;
        size_t next = 0;
        while (next < indices.size() || ! running.empty())
        {
            while ((int) running.size() < parallel && next < indices.size())
            {
                Running r;
                r.index = indices[next++];
                r.process = std::make_unique<juce::ChildProcess>();
                EXPECT_TRUE (r.process->start (juce::StringArray { VORN_XML_PARSE_PROBE, files[r.index].getFullPathName() }));
                r.started = juce::Time::getMillisecondCounter();
                running.push_back (std::move (r));
            }

            for (auto it = running.begin(); it != running.end();)
            {
                if (! it->process->isRunning())
                {
                    runs[(size_t) it->index] = interpret (it->process->readAllProcessOutput());
                    it = running.erase (it);
                }
                else if (juce::Time::getMillisecondCounter() - it->started > (juce::uint32) kProbeTimeoutMs)
                {
                    it->process->kill();
                    it->process->waitForProcessToFinish (10000);
                    if (lastChance)
                        runs[(size_t) it->index].outcome = Framework::hangs;
                    else
                        timedOut.push_back (it->index);
                    it = running.erase (it);
                }
                else
                {
                    ++it;
                }
            }
            juce::Thread::sleep (1);
        }
    };

    std::vector<int> all ((size_t) files.size());
    for (int i = 0; i < files.size(); ++i)
        all[(size_t) i] = i;
    runAll (all, kParallelProbes, false);

    const auto again = timedOut;
    runAll (again, 1, true);
    return runs;
}

//==============================================================================
bool isUtf16 (const std::string& bytes)
{
    return bytes.size() > 2 && (((juce::uint8) bytes[0] == 0xfe && (juce::uint8) bytes[1] == 0xff)
                                || ((juce::uint8) bytes[0] == 0xff && (juce::uint8) bytes[1] == 0xfe));
}

// Expat takes an unpaired UTF-16 surrogate as a character; no text holds one.
bool surrogatesArePaired (const std::string& bytes)
{
    const bool bigEndian = (juce::uint8) bytes[0] == 0xfe;
    bool expectLow = false;
    for (size_t at = 2; at + 1 < bytes.size(); at += 2)
    {
        const auto high = (juce::uint8) bytes[at + (bigEndian ? 0 : 1)] & 0xfc;
        if ((high == 0xdc) != expectLow)
            return false;
        expectLow = high == 0xd8;
    }
    return ! expectLow;
}

// Empty when expat finds the document well-formed, else what it objects to.
std::string wellFormednessError (const std::string& bytes)
{
    const bool utf16 = isUtf16 (bytes);
    if (utf16 && ! surrogatesArePaired (bytes))
        return "unpaired surrogate";

    // The encoding is given, as the framework never decodes anything but these two.
    auto* parser = XML_ParserCreate (utf16 ? "UTF-16" : "UTF-8");
    std::string error;
    if (XML_Parse (parser, bytes.data(), (int) bytes.size(), XML_TRUE) != XML_STATUS_OK)
        error = XML_ErrorString (XML_GetErrorCode (parser));
    XML_ParserFree (parser);
    return error;
}

// The framework keeps a UTF-16 surrogate pair as two characters, where the
// reader joins them into the one they encode: joined here for comparing.
juce::String joinSurrogatePairs (const juce::String& canonical)
{
    const auto escapedAt = [&] (int index, juce::uint32 low, juce::uint32 high) -> int
    {
        if (canonical.substring (index, index + 3) != "\\u{")
            return -1;
        const auto close = canonical.indexOfChar (index, '}');
        const auto value = (juce::uint32) canonical.substring (index + 3, close).getHexValue32();
        return close > 0 && value >= low && value <= high ? (int) value : -1;
    };

    juce::String joined;
    for (int i = 0; i < canonical.length();)
    {
        const auto high = escapedAt (i, 0xd800, 0xdbff);
        if (high >= 0)
        {
            const auto next = canonical.indexOfChar (i, '}') + 1;
            const auto low = escapedAt (next, 0xdc00, 0xdfff);
            if (low >= 0)
            {
                joined << "\\u{" << juce::String::toHexString (0x10000 + ((high - 0xd800) << 10) + (low - 0xdc00)) << "}";
                i = canonical.indexOfChar (next, '}') + 1;
                continue;
            }
        }
        joined << canonical[i++];
    }
    return joined;
}

bool isRefusedOnPurpose (XmlRefusal refusal)
{
    return refusal == XmlRefusal::externalReference || refusal == XmlRefusal::declaredEntity
        || refusal == XmlRefusal::misreadByFramework || refusal == XmlRefusal::tooDeep;
}

std::string describe (Framework outcome)
{
    switch (outcome)
    {
        case Framework::readsElement: return "reads an element";
        case Framework::noElement:    return "no element";
        case Framework::hangs:        return "hangs";
        case Framework::crashes:      return "crashes or over-reads";
    }
    return "?";
}

// The bytes with everything outside printable ASCII as hex escapes: they need
// not be text, so they never go through a string class that expects some.
std::string printable (const std::string& bytes)
{
    std::string out = "\"";
    for (const auto c : bytes)
    {
        if (c >= 0x20 && c < 0x7f && c != '\\')
            out += c;
        else
            out += "\\x" + juce::String::toHexString ((int) (juce::uint8) c).paddedLeft ('0', 2).toStdString();
    }
    return out + "\"";
}

// Neither loading the document as a preset nor restoring it as host state changes anything.
void expectNothingChanges (const std::string& bytes, const juce::File& file)
{
    MarnovexTemplateAudioProcessor processor;
    ChangeCounter changes { processor.presetManager };
    const auto before = flushedState (processor);

    processor.presetManager.loadPreset (file);
    restore (processor, makeStateBlock (bytes));
    deliverPendingMessages();
    EXPECT_EQ (flushedState (processor), before);
    EXPECT_EQ (changes.count, 0);
}
} // namespace

TEST (StoredXmlDifferential, ReadsWhatTheFrameworkReadsAndRefusesWhatItCannotSurvive)
{
    TempFolder temp;
    DocumentGenerator generator (kSeed);
    std::vector<std::string> documents;
    juce::Array<juce::File> files;
    for (int i = 0; i < kDocumentCount; ++i)
    {
        documents.push_back (generator.next (i));
        files.add (temp / ("doc" + juce::String (i) + ".xml"));
        ASSERT_TRUE (files.getLast().replaceWithData (documents.back().data(), documents.back().size()));
    }

    const auto runs = runProbes (files);

    std::map<std::string, int> classes;
    for (int i = 0; i < kDocumentCount; ++i)
    {
        const auto& bytes = documents[(size_t) i];
        const auto& framework = runs[(size_t) i];
        const auto ours = readStoredXml (bytes.data(), bytes.size(), StoredText::fileBytes);
        const auto expatError = wellFormednessError (bytes);
        const bool wellFormed = expatError.empty();
        SCOPED_TRACE ("document " + std::to_string (i) + ": " + printable (bytes) + "\nframework: " + framework.output.toStdString());

        if (framework.outcome == Framework::hangs || framework.outcome == Framework::crashes)
        {
            EXPECT_EQ (ours.root, nullptr) << "accepted what the framework " << describe (framework.outcome) << " on";
            expectNothingChanges (bytes, files[i]);
            ++classes[std::string ("framework ") + describe (framework.outcome) + ": refused (" + nameOf (ours.refusal) + ")"];
            continue;
        }

        if (ours.root != nullptr)
        {
            ASSERT_EQ (framework.outcome, Framework::readsElement);
            EXPECT_EQ (canonicalForm (ours.root.get()), isUtf16 (bytes) ? joinSurrogatePairs (framework.tree) : framework.tree);
            ++classes[wellFormed ? "accepted, same tree (well-formed)" : "accepted, same tree, though expat objects: " + expatError];
            continue;
        }

        if (wellFormed && framework.outcome == Framework::readsElement)
        {
            EXPECT_TRUE (isRefusedOnPurpose (ours.refusal)) << "refused a well-formed document the framework reads: " << nameOf (ours.refusal);
            ++classes["well-formed, framework reads it, refused on purpose (" + nameOf (ours.refusal) + ")"];
            continue;
        }

        ++classes[std::string (wellFormed ? "well-formed" : "not well-formed") + ", framework: " + describe (framework.outcome)
                  + ", refused (" + nameOf (ours.refusal) + ")"];
    }

    std::cout << "Stored XML differential: " << kDocumentCount << " documents (seed " << kSeed << ")\n";
    for (const auto& [what, count] : classes)
        std::cout << "  " << count << "\t" << what << "\n";

    // The run means something only when every kind of outcome occurred.
    const auto countOf = [&] (const std::string& prefix)
    {
        int n = 0;
        for (const auto& [what, count] : classes)
            n += what.rfind (prefix, 0) == 0 ? count : 0;
        return n;
    };
    EXPECT_GT (countOf ("accepted, same tree (well-formed)"), kDocumentCount / 10);
    EXPECT_GT (countOf ("framework hangs: refused (hangsFramework)"), 0);
    EXPECT_GT (countOf ("not well-formed, framework: reads an element"), 0);
   #if defined (__SANITIZE_ADDRESS__)
    // Only an instrumented probe sees the framework read past its text.
    EXPECT_GT (countOf ("framework crashes or over-reads"), 0);
   #endif
}
