// The built module as a VST3 host sees it, loaded through JUCE's VST3 hosting.

#include <gtest/gtest.h>

#include "HostedPlugin.h"

JUCE_BEGIN_IGNORE_WARNINGS_GCC_LIKE ("-Wshadow", "-Wnon-virtual-dtor", "-Wextra-semi")
#include <pluginterfaces/vst/ivstcomponent.h>
#include <pluginterfaces/vst/ivstunits.h>
JUCE_END_IGNORE_WARNINGS_GCC_LIKE

#include <array>

namespace
{
struct HostParameter
{
    const char* name;
    juce::uint32 hostNumber; // what hosts store for automation
    float defaultValue;
    const char* defaultText;
};

// Host numbers come from the ID strings; saved automation refers to them.
const std::array<HostParameter, 10> kHostParameters { {
    { "Time Numerator", 281872924u, 0.2f, "4" },
    { "Time Denominator", 604626233u, 0.0967742f, "4" },
    { "Overlap", 573365287u, 0.0f, "0.0 %" },
    { "Feedback", 2020626341u, 0.0f, "0.0 %" },
    { "Curve", 65474767u, 0.0f, "Natural+" },
    { "Intensity", 355809299u, 0.0f, "0.0 %" },
    { "Send", 2573224u, 1.0f, "100.0 %" },
    { "Return", 296954192u, 1.0f, "100.0 %" },
    { "Mix", 77372u, 0.5f, "50.0 %" },
    { "Bypass", 0x62797073u /* 'byps' */, 0.0f, "Off" },
} };

using Layout = juce::AudioProcessor::BusesLayout;

Layout layoutOf (const juce::AudioChannelSet& in, const juce::AudioChannelSet& out)
{
    Layout layout;
    layout.inputBuses.add (in);
    layout.outputBuses.add (out);
    return layout;
}

// The program list a VST3 host reads from the component's IUnitInfo.
struct ProgramListReader : juce::ExtensionsVisitor
{
    bool found = false;
    int lists = -1;
    int programs = -1;
    juce::String firstName { "<unread>" };

    void visitVST3Client (const VST3Client& client) override
    {
        Steinberg::Vst::IUnitInfo* units = nullptr;
        if (client.getIComponentPtr()->queryInterface (Steinberg::Vst::IUnitInfo::iid, (void**) &units) != Steinberg::kResultOk
            || units == nullptr)
            return;

        found = true;
        lists = units->getProgramListCount();
        Steinberg::Vst::ProgramListInfo info {};
        if (units->getProgramListInfo (0, info) == Steinberg::kResultOk)
        {
            programs = info.programCount;
            Steinberg::Vst::String128 name {};
            if (units->getProgramName (info.id, 0, name) == Steinberg::kResultOk)
                firstName = juce::String (juce::CharPointer_UTF16 (reinterpret_cast<juce::CharPointer_UTF16::CharType*> (name)));
        }
        units->release();
    }
};

class HostedModuleTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { plugin = HostedPlugin::load().release(); }
    static void TearDownTestSuite()
    {
        delete plugin;
        plugin = nullptr;
    }

    void SetUp() override
    {
        if (plugin == nullptr)
            GTEST_SKIP() << "the module did not load (reported by SetUpTestSuite)";
    }

    static juce::AudioPluginInstance* plugin;
};

juce::AudioPluginInstance* HostedModuleTest::plugin = nullptr;
} // namespace

TEST_F (HostedModuleTest, Identity)
{
    const auto& description = HostedPlugin::description();
    EXPECT_EQ (description.name, "Vorn v2");
    EXPECT_EQ (description.manufacturerName, "Marnovex");
    EXPECT_EQ (description.version, "2.0.0");
    EXPECT_EQ (description.pluginFormatName, "VST3");
    EXPECT_FALSE (description.isInstrument);
    EXPECT_EQ (description.numInputChannels, 2);
    EXPECT_EQ (description.numOutputChannels, 2);

    // VST3 sub-categories arrive as one '|'-separated string.
    const auto categories = juce::StringArray::fromTokens (description.category, "|", "");
    EXPECT_TRUE (categories.contains ("Fx")) << description.category;
    EXPECT_TRUE (categories.contains ("Delay")) << description.category;
    EXPECT_FALSE (categories.contains ("Instrument")) << description.category;

    EXPECT_EQ (plugin->getName(), "Vorn v2");
    EXPECT_FALSE (plugin->acceptsMidi());
    EXPECT_FALSE (plugin->producesMidi());
}

TEST_F (HostedModuleTest, ParametersInHostOrder)
{
    const auto& parameters = plugin->getParameters();
    ASSERT_EQ (parameters.size(), (int) kHostParameters.size());

    for (size_t i = 0; i < kHostParameters.size(); ++i)
    {
        const auto& expected = kHostParameters[i];
        auto* parameter = parameters[(int) i];
        auto* hosted = dynamic_cast<juce::HostedAudioProcessorParameter*> (parameter);
        ASSERT_NE (hosted, nullptr) << i;

        EXPECT_EQ (parameter->getName (128), expected.name) << i;
        EXPECT_EQ (hosted->getParameterID(), juce::String (expected.hostNumber)) << expected.name;
        EXPECT_NEAR (parameter->getDefaultValue(), expected.defaultValue, 1.0e-6f) << expected.name;
        EXPECT_NEAR (parameter->getValue(), expected.defaultValue, 1.0e-6f) << expected.name;
        EXPECT_EQ (parameter->getCurrentValueAsText(), expected.defaultText) << expected.name;
        EXPECT_EQ (parameter->getLabel(), "") << expected.name;
        EXPECT_TRUE (parameter->isAutomatable()) << expected.name;
    }
    EXPECT_EQ (plugin->getBypassParameter(), parameters[9]);

    // No step count for the time parameters: hosts see them as continuous.
    // "Curve" is a list of twelve values.
    EXPECT_EQ (parameters[0]->getNumSteps(), juce::AudioProcessor::getDefaultNumParameterSteps());
    EXPECT_EQ (parameters[1]->getNumSteps(), juce::AudioProcessor::getDefaultNumParameterSteps());
    EXPECT_TRUE (parameters[4]->isDiscrete());
    EXPECT_EQ (parameters[4]->getNumSteps(), 12);

    // Texts and text input travel through the client unchanged.
    EXPECT_EQ (parameters[5]->getText (0.5f, 128), "25.0 %");
    EXPECT_EQ (parameters[4]->getText (1.0f, 128), "Wavy 8x");
    EXPECT_FLOAT_EQ (parameters[8]->getValueForText ("12.5 %"), 0.125f);
    EXPECT_NEAR (parameters[4]->getValueForText ("Warp"), 6.0f / 11.0f, 1.0e-6f);
}

TEST_F (HostedModuleTest, OneProgramWithAnEmptyName)
{
    ProgramListReader reader;
    plugin->getExtensions (reader);

    ASSERT_TRUE (reader.found);
    EXPECT_EQ (reader.lists, 1);
    EXPECT_EQ (reader.programs, 1);
    EXPECT_EQ (reader.firstName, "");

    // JUCE's host side lists programs only through a program-change
    // parameter, which a single program does not get.
    EXPECT_EQ (plugin->getNumPrograms(), 0);
}

TEST_F (HostedModuleTest, TailIsFiveMinutesAtAnyRate)
{
    EXPECT_NEAR (plugin->getTailLengthSeconds(), 300.0, 1.0e-6);

    for (double rate : { 48000.0, 44100.0 })
    {
        HostedPlugin::prepare (*plugin, rate, 256);
        EXPECT_NEAR (plugin->getTailLengthSeconds(), 300.0, 1.0e-6) << rate;
    }
    plugin->releaseResources();
}

TEST (HostedModule, BusesAndLayouts)
{
    auto plugin = HostedPlugin::load();
    ASSERT_NE (plugin, nullptr);

    const auto mono = juce::AudioChannelSet::mono();
    const auto stereo = juce::AudioChannelSet::stereo();

    ASSERT_EQ (plugin->getBusCount (true), 1);
    ASSERT_EQ (plugin->getBusCount (false), 1);
    EXPECT_EQ (plugin->getBus (true, 0)->getName(), "Input");
    EXPECT_EQ (plugin->getBus (false, 0)->getName(), "Output");
    EXPECT_EQ (plugin->getChannelLayoutOfBus (true, 0), stereo);
    EXPECT_EQ (plugin->getChannelLayoutOfBus (false, 0), stereo);

    EXPECT_TRUE (plugin->checkBusesLayoutSupported (layoutOf (mono, mono)));
    EXPECT_TRUE (plugin->checkBusesLayoutSupported (layoutOf (mono, stereo)));
    EXPECT_TRUE (plugin->checkBusesLayoutSupported (layoutOf (stereo, stereo)));
    EXPECT_FALSE (plugin->checkBusesLayoutSupported (layoutOf (stereo, mono)));

    EXPECT_FALSE (plugin->setBusesLayout (layoutOf (stereo, mono)));

    EXPECT_TRUE (plugin->setBusesLayout (layoutOf (mono, stereo)));
    EXPECT_EQ (plugin->getChannelLayoutOfBus (true, 0), mono);
    EXPECT_EQ (plugin->getChannelLayoutOfBus (false, 0), stereo);

    EXPECT_TRUE (plugin->setBusesLayout (layoutOf (mono, mono)));
    EXPECT_EQ (plugin->getTotalNumOutputChannels(), 1);

    EXPECT_TRUE (plugin->setBusesLayout (layoutOf (stereo, stereo)));
    EXPECT_EQ (plugin->getTotalNumInputChannels(), 2);
    EXPECT_EQ (plugin->getTotalNumOutputChannels(), 2);
}

TEST (HostedModule, HarnessRunsBlocksInPlaceAndMovesTheTransport)
{
    auto plugin = HostedPlugin::load();
    ASSERT_NE (plugin, nullptr);

    SettablePlayHead playHead;
    playHead.bpm = 90.0;
    playHead.playing = true;
    plugin->setPlayHead (&playHead);
    HostedPlugin::prepare (*plugin, 48000.0, 256);

    // A dry mix passes every sample through unchanged, so any misplaced block shows.
    auto* mix = HostedPlugin::findParameter (*plugin, "Mix");
    ASSERT_NE (mix, nullptr);
    mix->setValueNotifyingHost (0.0f);

    juce::AudioBuffer<float> audio (2, 1000);
    for (int i = 0; i < audio.getNumSamples(); ++i)
    {
        audio.setSample (0, i, (float) i / 1000.0f);
        audio.setSample (1, i, -(float) i / 2000.0f);
    }

    int blocks = 0;
    HostedPlugin::process (*plugin, audio, 256, &playHead, [&] (int start, int length) {
        EXPECT_EQ (start, 256 * blocks++);
        EXPECT_EQ (length, juce::jmin (256, 1000 - start));
    });

    EXPECT_EQ (blocks, 4);
    for (int i = 0; i < audio.getNumSamples(); ++i)
    {
        ASSERT_EQ (audio.getSample (0, i), (float) i / 1000.0f) << i;
        ASSERT_EQ (audio.getSample (1, i), -(float) i / 2000.0f) << i;
    }

    EXPECT_EQ (playHead.timeInSamples, 1000);
    EXPECT_NEAR (*playHead.ppq, 1000.0 * 90.0 / (60.0 * 48000.0), 1.0e-12);
    EXPECT_EQ (*playHead.barStartPpq, 0.0);

    // A stopped transport stays put; bar starts follow a playing one.
    playHead.playing = false;
    playHead.advance (48000, 48000.0);
    EXPECT_EQ (playHead.timeInSamples, 1000);
    playHead.playing = true;
    playHead.advance (4 * 48000, 48000.0); // six quarter notes at 90 bpm
    EXPECT_EQ (*playHead.barStartPpq, 4.0);

    plugin->releaseResources();
    plugin->setPlayHead (nullptr);
}
