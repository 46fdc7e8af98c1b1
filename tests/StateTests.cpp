#include "StateTestSupport.h"

#include "Marnovex_ParameterIDs.h"
#include "Marnovex_ProductStrings.h"

#include <climits>
#include <cstring>

using namespace vorn::test;
using namespace marnovex;

namespace
{
// A fresh tree lists the parameters in the order of their IDs.
const char* const kFreshStateText =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?> "
    "<Marnovex presetPath=\"/Library/Audio/Presets/Marnovex/Vorn v2/Factory/Default.mx\"><Parameters>"
    "<PARAM id=\"Curve\" value=\"0.0\"/><PARAM id=\"Feedback\" value=\"0.0\"/><PARAM id=\"Intensity\" value=\"0.0\"/>"
    "<PARAM id=\"Mix\" value=\"50.0\"/><PARAM id=\"Overlap\" value=\"0.0\"/><PARAM id=\"Return\" value=\"100.0\"/>"
    "<PARAM id=\"Send\" value=\"100.0\"/><PARAM id=\"TimeDenominator\" value=\"4.0\"/><PARAM id=\"TimeNumerator\" value=\"4.0\"/>"
    "</Parameters></Marnovex>";

juce::StringArray paramIdsOf (const juce::MemoryBlock& block)
{
    juce::StringArray ids;
    if (auto xml = juce::parseXML (xmlTextOf (block)))
        if (auto* tree = xml->getFirstChildElement())
            for (auto* param : tree->getChildIterator())
                ids.add (param->getStringAttribute ("id"));
    return ids;
}

// What a restore would change if it accepted it: the path and three parameters.
std::string acceptableText (const juce::String& rootTag = kManufacturer)
{
    return stateText ("<" + rootTag + " presetPath=\"/elsewhere/Other.mx\"><Parameters>"
                      "<PARAM id=\"Mix\" value=\"10.0\"/><PARAM id=\"Curve\" value=\"9.0\"/><PARAM id=\"TimeNumerator\" value=\"2.0\"/>"
                      "</Parameters></" + rootTag + ">").toStdString();
}

// An instance away from its defaults, with a restored preset path.
class RestoredInstance : public ::testing::Test
{
protected:
    void SetUp() override
    {
        restore (processor, makeStateBlock (stateText ("<Marnovex presetPath=\"/Users/test/Presets/User/Warm.mx\"><Parameters>"
                                                       "<PARAM id=\"TimeNumerator\" value=\"7.0\"/><PARAM id=\"Curve\" value=\"3.0\"/>"
                                                       "<PARAM id=\"Mix\" value=\"80.0\"/><PARAM id=\"Feedback\" value=\"70.0\"/>"
                                                       "</Parameters></Marnovex>")));
        ASSERT_EQ (valueOf (processor, kParameter_Mix), 80.0f);
        deliverPendingMessages();
        changes.count = 0;
        before = flushedState (processor);
    }

    void expectUnchanged()
    {
        deliverPendingMessages();
        EXPECT_EQ (flushedState (processor), before);
        EXPECT_EQ (changes.count, 0);
    }

    void expectAccepted (const char* what)
    {
        EXPECT_EQ (valueOf (processor, kParameter_Mix), 10.0f) << what;
        EXPECT_EQ (processor.presetManager.currentPresetPath, "/elsewhere/Other.mx") << what;
    }

    MarnovexTemplateAudioProcessor processor;
    ChangeCounter changes { processor.presetManager };
    juce::MemoryBlock before;
};
} // namespace

//==============================================================================
TEST (HostStateSave, FreshInstanceWritesTheExactBlock)
{
    MarnovexTemplateAudioProcessor processor;
    juce::MemoryBlock block;
    processor.getStateInformation (block);

    const auto textLength = std::strlen (kFreshStateText);
    ASSERT_EQ (block.getSize(), textLength + 9);
    const auto* bytes = static_cast<const char*> (block.getData());
    EXPECT_EQ (std::string (bytes, 4), "VC2!");
    EXPECT_EQ (juce::ByteOrder::littleEndianInt (bytes + 4), textLength);
    EXPECT_EQ (std::string (bytes + 8, textLength), kFreshStateText);
    EXPECT_EQ (bytes[textLength + 8], 0);

    // Saving again into a block holding longer content gives the same bytes.
    juce::MemoryBlock reused (block.getSize() * 4);
    reused.fillWith (0xab);
    processor.getStateInformation (reused);
    EXPECT_EQ (reused, block);
    processor.getStateInformation (reused);
    EXPECT_EQ (reused, block);
}

TEST (HostStateSave, AFreshInstanceTakesOverValuesAndPath)
{
    MarnovexTemplateAudioProcessor source;
    setValue (source, kParameter_TimeN, 3.0f);
    setValue (source, kParameter_TimeD, 16.0f);
    setValue (source, kParameter_Curve, 11.0f);
    setValue (source, kParameter_Intensity, 42.5f);
    setValue (source, kParameter_Send, 0.0f);
    source.presetManager.currentPresetPath = juce::String::fromUTF8 ("/Users/me/Presets/R\xc3\xb6" "ck & \"Roll\" <1>.mx");
    const auto saved = flushedState (source);

    MarnovexTemplateAudioProcessor target;
    restore (target, saved);
    for (auto* parameter : source.getParameters())
    {
        const auto& id = dynamic_cast<juce::RangedAudioParameter*> (parameter)->paramID;
        EXPECT_EQ (valueOf (target, id), valueOf (source, id)) << id;
    }
    EXPECT_EQ (target.presetManager.currentPresetPath, source.presetManager.currentPresetPath);
    EXPECT_EQ (flushedState (target), saved);
}

//==============================================================================
TEST_F (RestoredInstance, BadHeadersChangeNothing)
{
    const auto valid = makeStateBlock (acceptableText());
    processor.setStateInformation (nullptr, 0);
    for (int size = 0; size <= 8; ++size)
        processor.setStateInformation (valid.getData(), size);

    for (const char* magic : { "VC2?", "vc2!", "!2CV", "\0\0\0\0" })
    {
        auto block = valid;
        block.copyFrom (magic, 0, 4);
        restore (processor, block);
    }

    for (const juce::int32 length : { 0, -1, INT_MIN })
        restore (processor, makeStateBlock (acceptableText(), length));

    expectUnchanged();
}

TEST_F (RestoredInstance, TextThatIsNotAStateOfThisMakerChangesNothing)
{
    const auto full = acceptableText();
    const auto at = full.find ("Other.mx");
    const auto with = [&] (const std::string& inserted) { return full.substr (0, at) + inserted + full.substr (at); };

    for (const auto& text : { std::string ("not xml at all"),
                              full.substr (0, at),                              // ends inside an attribute
                              full.substr (0, full.find ("</Parameters>")),     // unclosed elements
                              std::string ("<?xml version=\"1.0\" encoding=\"UTF-8\"?> "),
                              acceptableText ("marnovex"), acceptableText ("MARNOVEX"), acceptableText ("Vorn"),
                              // The framework's parser reads past the end of such text, or never returns
                              // from it (a processing instruction followed by text); an external DTD is never loaded.
                              with ("\xb9"), with ("\xc0\x80"), with ("\xed\xa0\x80"), with ("\xf0\x9f"),
                              with ("&#x4"), with ("&#xD800;"), with ("&#1114112;"), with ("&#0;"), with ("&nbsp;"),
                              "<!DOCTYPE Marnovex>" + full,
                              full.substr (0, full.find ("<Marnovex")) + "<!DOCTYPE Marnovex SYSTEM \"/dev/zero\">" + full.substr (full.find ("<Marnovex")),
                              full.substr (0, full.find ("<Parameters>")) + "<Parameters><?pi?>text" + full.substr (full.find ("<PARAM")) })
        restore (processor, makeStateBlock (text));

    // A zero byte ends the text, also when the length field reaches past it.
    auto block = makeStateBlock (full, INT_MAX);
    static_cast<char*> (block.getData())[8 + at] = 0;
    restore (processor, block);

    expectUnchanged();

    // Complete references and the predefined entities in any case are read.
    restore (processor, makeStateBlock (with ("&#x4F;&#120;&AMP;&Lt;")));
    EXPECT_EQ (processor.presetManager.currentPresetPath, "/elsewhere/Ox&<Other.mx");

    // So are comments, CDATA and a document type: well-formed XML the framework reads.
    const auto root = full.find ("<Marnovex");
    restore (processor, makeStateBlock (full.substr (0, root) + "<!DOCTYPE Marnovex><!-- Bass & Drums <? -->" + full.substr (root, at - root)
                                        + "CD.mx\"><Notes><![CDATA[&]]></Notes" + full.substr (full.find ("><Parameters>"))));
    EXPECT_EQ (processor.presetManager.currentPresetPath, "/elsewhere/CD.mx");
}

TEST_F (RestoredInstance, LengthFieldIsLimitedToTheBlockAndCutsTheText)
{
    const auto text = acceptableText();
    const auto length = (juce::int32) text.size();

    restore (processor, makeStateBlock (text, (juce::int32) text.find ("Other.mx")));
    expectUnchanged();

    for (const juce::int32 larger : { length + 1, length + 1000, INT_MAX })
    {
        SetUp();
        restore (processor, makeStateBlock (text, larger));
        expectAccepted ("larger");
    }

    // Text past the cut is never looked at (this would be refused).
    SetUp();
    restore (processor, makeStateBlock (text + "&bogus", length));
    expectAccepted ("smaller");
}

//==============================================================================
TEST_F (RestoredInstance, ParametersChildIsFoundInAnyLetterCase)
{
    restore (processor, makeStateBlock (stateText ("<Marnovex presetPath=\"/a/Lower.mx\"><parameters>"
                                                   "<PARAM id=\"Mix\" value=\"10.0\"/></parameters></Marnovex>")));
    EXPECT_EQ (valueOf (processor, kParameter_Mix), 10.0f);
    EXPECT_EQ (processor.presetManager.currentPresetPath, "/a/Lower.mx");

    // The tree takes the stored spelling as its type, and the next state carries it.
    const auto saved = flushedState (processor);
    EXPECT_TRUE (xmlTextOf (saved).contains ("<parameters><PARAM"));

    MarnovexTemplateAudioProcessor other;
    restore (other, saved);
    EXPECT_EQ (valueOf (other, kParameter_Mix), 10.0f);
    EXPECT_EQ (valueOf (other, kParameter_TimeN), 7.0f);
}

TEST_F (RestoredInstance, ParamChildrenAreMatchedById)
{
    restore (processor, makeStateBlock (stateText ("<Marnovex><Parameters><PARAM id=\"Feedback\"/>"
                                                   "<PARAM id=\"Sparkle\" value=\"3.5\"/><PARAM id=\"Curve\" value=\"5.0\"/>"
                                                   "</Parameters></Marnovex>")));

    EXPECT_EQ (valueOf (processor, kParameter_Feedback), 0.0f); // no value: back to the default
    EXPECT_EQ (valueOf (processor, kParameter_Curve), 5.0f);
    EXPECT_EQ (valueOf (processor, kParameter_Mix), 80.0f); // no element: kept
    EXPECT_EQ (valueOf (processor, kParameter_TimeN), 7.0f);

    // The unknown element stays where it was; the kept parameters are appended.
    const auto saved = flushedState (processor);
    EXPECT_EQ (paramIdsOf (saved).joinIntoString (","),
               "Feedback,Sparkle,Curve,Intensity,Mix,Overlap,Return,Send,TimeDenominator,TimeNumerator");
    for (const char* element : { "<PARAM id=\"Sparkle\" value=\"3.5\"/>", "<PARAM id=\"Mix\" value=\"80.0\"/>",
                                 "<PARAM id=\"Feedback\" value=\"0.0\"/>" })
        EXPECT_TRUE (xmlTextOf (saved).contains (element)) << element;
}

TEST_F (RestoredInstance, OnlyANonEmptyPathIsTakenAndBroadcast)
{
    // Without parameters: only the path changes. The file need not exist.
    restore (processor, makeStateBlock (stateText ("<Marnovex presetPath=\"/nowhere/Missing File.mx\"/>")));
    deliverPendingMessages();
    EXPECT_EQ (processor.presetManager.currentPresetPath, "/nowhere/Missing File.mx");
    EXPECT_EQ (changes.count, 1);
    processor.presetManager.currentPresetPath = "/Users/test/Presets/User/Warm.mx";
    EXPECT_EQ (flushedState (processor), before);

    // The current path again is still assigned and broadcast.
    restore (processor, before);
    deliverPendingMessages();
    EXPECT_EQ (changes.count, 2);

    // An empty or missing path (the attribute's name counts in its letter case): kept, no message.
    restore (processor, makeStateBlock (stateText ("<Marnovex presetPath=\"\"><Parameters><PARAM id=\"Mix\" value=\"20.0\"/>"
                                                   "</Parameters></Marnovex>")));
    EXPECT_EQ (valueOf (processor, kParameter_Mix), 20.0f);
    restore (processor, makeStateBlock (stateText ("<Marnovex PresetPath=\"/a/Case.mx\"><Parameters><PARAM id=\"Mix\" value=\"10.0\"/>"
                                                   "</Parameters></Marnovex>")));
    EXPECT_EQ (valueOf (processor, kParameter_Mix), 10.0f);
    deliverPendingMessages();
    EXPECT_EQ (processor.presetManager.currentPresetPath, "/Users/test/Presets/User/Warm.mx");
    EXPECT_EQ (changes.count, 2);
}
