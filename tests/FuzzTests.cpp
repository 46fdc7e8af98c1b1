// Randomly damaged host states and preset files: nothing may crash, refused
// input must change nothing, accepted input must leave a sane instance.
// Fixed seeds and counts keep every run identical and short. Inputs live in
// heap buffers of exactly their size, so a sanitizer build sees any read past them.

#include "StateTestSupport.h"
#include "TestDisplay.h"

#include "Marnovex_ParameterIDs.h"
#include "Marnovex_ProductStrings.h"

#include <climits>
#include <cmath>
#include <cstring>
#include <random>

using namespace vorn::test;
using namespace marnovex;

namespace
{
using Bytes = std::vector<char>;

const char* const kTokens[] = { "<", ">", "/>", "</", "\"", "'", "=", " ", "\r\n", "&amp;", "&#0;", "&#x110000;", "&lt",
                                "Marnovex", "marnovex", "Parameters", "parameters", "PARAM", "id=\"Mix\"", "value=\"nan\"",
                                "value=\"-inf\"", "value=\"1e39\"", "value=\"\"", "presetPath=\"", "presetPath=\"\"",
                                "product=\"Vorn v2\"", "<!--", "-->", "<![CDATA[", "]]>", "<!DOCTYPE x [", "<?", "?>",
                                "&#x", "&#x4", "&#", "&#12", "&#xD800;", "&nbsp;", "&<a>", "<?pi?>",
                                "\xc3", "\xe2\x82", "\xf0\x9f\x98", "\xc0\x80", "\xed\xa0\x80", "\xff", "" /* a zero byte */ };

class Mutator
{
public:
    explicit Mutator (std::uint32_t seed) : rng (seed) {}

    int below (int n) { return n <= 0 ? 0 : std::uniform_int_distribution<int> (0, n - 1) (rng); }

    Bytes mutate (Bytes data, bool keepHeader)
    {
        const int first = keepHeader ? juce::jmin (8, (int) data.size()) : 0;
        for (int ops = 1 + below (4); --ops >= 0;)
        {
            const int size = (int) data.size();
            const int at = first + below (size - first + 1);
            switch (below (7))
            {
                case 0: // overwrite bytes
                    for (int i = 0, n = 1 + below (4); i < n && at + i < size; ++i)
                        data[(size_t) (at + i)] = (char) below (256);
                    break;
                case 1: // truncate
                    data.resize ((size_t) at);
                    break;
                case 2: // delete a range
                    data.erase (data.begin() + at, data.begin() + juce::jmin (size, at + 1 + below (40)));
                    break;
                case 3: // insert a token
                {
                    const std::string token (kTokens[below ((int) std::size (kTokens))]);
                    data.insert (data.begin() + at, token.begin(), token.end());
                    if (token.empty())
                        data.insert (data.begin() + at, '\0');
                    break;
                }
                case 4: // duplicate a range
                {
                    const int end = juce::jmin (size, at + 1 + below (60));
                    const Bytes chunk (data.begin() + at, data.begin() + end);
                    data.insert (data.begin() + below (size + 1), chunk.begin(), chunk.end());
                    break;
                }
                case 5: // swap a letter's case
                    if (at < size && juce::CharacterFunctions::isLetter ((juce::juce_wchar) (unsigned char) data[(size_t) at]))
                        data[(size_t) at] = (char) (data[(size_t) at] ^ 0x20);
                    break;
                default: // rewrite the length field
                    if (! keepHeader && size >= 8)
                    {
                        const juce::int32 choices[] = { 0, -1, INT_MIN, INT_MAX, size - 9, size - 8, size - 10, below (size), 1 };
                        const auto length = choices[below ((int) std::size (choices))];
                        std::memcpy (data.data() + 4, &length, 4); // little-endian hosts only
                    }
                    break;
            }
        }
        return data;
    }

    std::mt19937 rng;
};

// The text a restore parses, read the same way: by the stored-XML reader.
std::unique_ptr<juce::XmlElement> parseStateText (const Bytes& block)
{
    const auto length = (juce::int32) juce::ByteOrder::littleEndianInt (block.data() + 4);
    const auto size = (size_t) juce::jmin ((juce::int64) length, (juce::int64) block.size() - 8);
    return readStoredXml (block.data() + 8, size, StoredText::utf8).root;
}

// The rules a restore applies before it changes anything.
bool stateIsRefused (const Bytes& block)
{
    if (block.size() < 9 || juce::ByteOrder::littleEndianInt (block.data()) != 0x21324356)
        return true;
    if ((juce::int32) juce::ByteOrder::littleEndianInt (block.data() + 4) <= 0)
        return true;

    const auto xml = parseStateText (block);
    return xml == nullptr || xml->getTagName() != kManufacturer;
}

void expectSaneParameters (MarnovexTemplateAudioProcessor& p)
{
    for (auto* parameter : p.getParameters())
    {
        auto* ranged = dynamic_cast<juce::RangedAudioParameter*> (parameter);
        ASSERT_NE (ranged, nullptr);
        const auto value = valueOf (p, ranged->paramID);
        const auto& range = ranged->getNormalisableRange();
        ASSERT_TRUE (std::isfinite (value) && value >= range.start && value <= range.end) << ranged->paramID << " = " << value;
    }
}

bool hasRepeatedAttribute (const juce::XmlElement& e)
{
    juce::StringArray names;
    for (int i = 0; i < e.getNumAttributes(); ++i)
    {
        if (names.contains (e.getAttributeName (i)))
            return true;
        names.add (e.getAttributeName (i));
    }
    for (auto* child : e.getChildIterator())
        if (hasRepeatedAttribute (*child))
            return true;
    return false;
}

Bytes toBytes (const juce::MemoryBlock& block)
{
    return Bytes (static_cast<const char*> (block.getData()), static_cast<const char*> (block.getData()) + block.getSize());
}

void restoreFromExactBuffer (MarnovexTemplateAudioProcessor& p, const Bytes& block)
{
    // A copy in a buffer of exactly its size: nothing readable lies past it.
    std::unique_ptr<char[]> exact (block.empty() ? nullptr : new char[block.size()]);
    if (! block.empty())
        std::memcpy (exact.get(), block.data(), block.size());
    p.setStateInformation (exact.get(), (int) block.size());
}

Bytes seedState()
{
    MarnovexTemplateAudioProcessor source;
    setValue (source, kParameter_TimeN, 5.0f);
    setValue (source, kParameter_Curve, 7.0f);
    setValue (source, kParameter_Intensity, 64.0f);
    setValue (source, kParameter_Send, 30.0f);
    setValue (source, kParameter_Mix, 75.0f);
    source.presetManager.currentPresetPath = juce::String::fromUTF8 ("/Users/test/Presets/User/Sp\xc3\xa4t & \"Fr\xc3\xbch\".mx");
    return toBytes (flushedState (source));
}
} // namespace

//==============================================================================
TEST (StateFuzz, DamagedBlocksAreRefusedWithoutChangeOrRestoreASaneInstance)
{
    const auto seed = seedState();
    Mutator mutator (20240611);

    MarnovexTemplateAudioProcessor refusing;
    ChangeCounter refusingChanges { refusing.presetManager };
    const auto reference = flushedState (refusing);

    auto accepting = std::make_unique<MarnovexTemplateAudioProcessor>();
    int refused = 0, accepted = 0;

    for (int i = 0; i < 20000; ++i)
    {
        const auto block = mutator.mutate (seed, i % 2 == 0);
        SCOPED_TRACE ("input " + std::to_string (i));

        if (stateIsRefused (block))
        {
            ++refused;
            restoreFromExactBuffer (refusing, block);
            ASSERT_EQ (flushedState (refusing), reference);
            continue;
        }

        ++accepted;
        const auto pathBefore = accepting->presetManager.currentPresetPath;
        restoreFromExactBuffer (*accepting, block);
        expectSaneParameters (*accepting);
        const auto stored = parseStateText (block);
        const auto storedPath = stored->getStringAttribute ("presetPath");
        ASSERT_EQ (accepting->presetManager.currentPresetPath, storedPath.isNotEmpty() ? storedPath : pathBefore);

        // A repeated attribute would leave the instance's tree and values
        // disagreeing (the framework reads the first and writes the last); the
        // reader refuses it as not well-formed.
        ASSERT_FALSE (hasRepeatedAttribute (*stored));

        // What it saves brings a fresh instance to the same values and path.
        MarnovexTemplateAudioProcessor copy;
        restore (copy, flushedState (*accepting));
        for (auto* parameter : accepting->getParameters())
        {
            const auto& id = dynamic_cast<juce::RangedAudioParameter*> (parameter)->paramID;
            ASSERT_EQ (valueOf (copy, id), valueOf (*accepting, id)) << id;
        }
        ASSERT_EQ (copy.presetManager.currentPresetPath, accepting->presetManager.currentPresetPath);
    }

    deliverPendingMessages();
    EXPECT_EQ (refusingChanges.count, 0);
    // Both kinds must be well represented for the run to mean anything.
    EXPECT_GT (refused, 5000);
    EXPECT_GT (accepted, 1500);
}

TEST (StateFuzz, TextEndingInsideACharacterAtTheBlockEnd)
{
    // No trailing zero and a length field reaching past the end: the text
    // stops at the block's last byte, inside a character. That is not UTF-8:
    // refused, without a read past the block.
    for (const char* tail : { "\xc3", "\xe2\x82", "\xf0\x9f\x98", "\xf0", "\xff" })
    {
        const std::string text = std::string ("<?xml version=\"1.0\" encoding=\"UTF-8\"?> <Marnovex presetPath=\"/a/b.mx\"/>") + tail;
        Bytes block { 'V', 'C', '2', '!', (char) 0xff, (char) 0xff, (char) 0xff, (char) 0x7f };
        block.insert (block.end(), text.begin(), text.end());

        MarnovexTemplateAudioProcessor processor;
        restoreFromExactBuffer (processor, block);
        EXPECT_EQ (processor.presetManager.currentPresetPath, kDefaultPresetPath);

        // The same text ending one character earlier is fine.
        block.resize (block.size() - std::strlen (tail));
        restoreFromExactBuffer (processor, block);
        EXPECT_EQ (processor.presetManager.currentPresetPath, "/a/b.mx");
    }
}

TEST (StateFuzz, ValuesThatAreNotNumbersNeverReachTheParameters)
{
    MarnovexTemplateAudioProcessor processor;
    setValue (processor, kParameter_Send, 30.0f);
    juce::String params;
    for (auto* id : { &kParameter_TimeN, &kParameter_TimeD, &kParameter_Curve, &kParameter_Intensity, &kParameter_Overlap,
                      &kParameter_Feedback, &kParameter_Send, &kParameter_Return, &kParameter_Mix })
        params << "<PARAM id=\"" << *id << "\" value=\"nan\"/><PARAM id=\"" << *id << "\" value=\"-NaN\"/>";

    restore (processor, makeStateBlock (stateText ("<Marnovex><Parameters>" + params + "</Parameters></Marnovex>")));
    expectSaneParameters (processor);
    EXPECT_FLOAT_EQ (valueOf (processor, kParameter_Send), 30.0f);
    EXPECT_EQ (valueOf (processor, kParameter_Mix), 50.0f);

    // Infinities are numbers: they end at the range's ends.
    restore (processor, makeStateBlock (stateText ("<Marnovex><Parameters><PARAM id=\"Send\" value=\"inf\"/>"
                                                   "<PARAM id=\"Mix\" value=\"-inf\"/></Parameters></Marnovex>")));
    EXPECT_EQ (valueOf (processor, kParameter_Send), 100.0f);
    EXPECT_EQ (valueOf (processor, kParameter_Mix), 0.0f);
}

//==============================================================================
TEST (PresetFuzz, DamagedPresetFilesAreRefusedWithoutChangeOrLoadSanely)
{
    TempFolder temp;
    MarnovexTemplateAudioProcessor source;
    setValue (source, kParameter_Feedback, 40.0f);
    setValue (source, kParameter_Return, 60.0f);
    juce::XmlElement root (kManufacturer);
    root.setAttribute ("product", kProductName);
    root.setAttribute ("version", kProductVersion);
    root.addChildElement (source.parameters.copyState().createXml().release());
    const auto text = root.toString().toStdString();
    const Bytes seed (text.begin(), text.end());

    Mutator mutator (777);
    MarnovexTemplateAudioProcessor refusing;
    ChangeCounter refusingChanges { refusing.presetManager };
    const auto reference = flushedState (refusing);
    MarnovexTemplateAudioProcessor accepting;
    int refused = 0, accepted = 0, warned = 0;

    const auto file = temp / "Fuzzed.mx";
    for (int i = 0; i < 3000; ++i)
    {
        const auto bytes = mutator.mutate (seed, false);
        SCOPED_TRACE ("input " + std::to_string (i));
        ASSERT_TRUE (file.replaceWithData (bytes.data(), bytes.size()));

        const auto xml = readStoredXml (bytes.data(), bytes.size(), StoredText::fileBytes).root;
        if (xml != nullptr && (xml->getTagName() != kManufacturer || xml->getStringAttribute ("product") != kProductName))
        {
            ++warned; // the warning box path has tests of its own
            continue;
        }

        if (xml == nullptr || findChildIgnoringCase (*xml, "Parameters") == nullptr)
        {
            ++refused;
            refusing.presetManager.loadPreset (file);
            ASSERT_EQ (flushedState (refusing), reference);
            continue;
        }

        ++accepted;
        accepting.presetManager.currentPresetPath = {};
        accepting.presetManager.loadPreset (file);
        expectSaneParameters (accepting);
        ASSERT_EQ (accepting.presetManager.currentPresetPath, file.getFullPathName());
    }

    deliverPendingMessages();
    EXPECT_EQ (refusingChanges.count, 0);
    EXPECT_TRUE (modalAlertWindows().isEmpty());
    EXPECT_GT (refused, 1000);
    EXPECT_GT (accepted, 150);
    // Few: a root tag changed alone no longer matches its end tag, and such a file is not read.
    EXPECT_GT (warned, 3);
}
