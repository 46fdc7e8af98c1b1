#include <gtest/gtest.h>

#include "Marnovex_ProductStrings.h"
#include "PluginProcessor.h"
#include "StateTestSupport.h"

#include <array>
#include <memory>

namespace
{
using Layout = juce::AudioProcessor::BusesLayout;

Layout layoutOf (const juce::AudioChannelSet& in, const juce::AudioChannelSet& out)
{
    Layout layout;
    layout.inputBuses.add (in);
    layout.outputBuses.add (out);
    return layout;
}

std::array<float*, 15> buffersOf (const MarnovexTemplateAudioProcessor& p)
{
    return { p.dryLeft,   p.dryRight,      p.sendLeft,        p.sendRight,      p.wetLeft,
             p.wetRight,  p.outLeft,       p.outRight,        p.meterBuffer,    p.overlapValues,
             p.intensityValues, p.feedbackValues, p.sendValues, p.returnValues, p.mixValues };
}
} // namespace

TEST (Processor, FreshInstance)
{
    MarnovexTemplateAudioProcessor processor;

    EXPECT_EQ (processor.hostBpm.load(), 120.0f);
    EXPECT_EQ (processor.waveformLevel.load(), 0.0f);
    // Written in another source file from its own copy of the constant.
    EXPECT_EQ (processor.presetManager.currentPresetPath, marnovex::kDefaultPresetPath);

    for (auto* parameter : processor.getParameters())
        EXPECT_EQ (parameter->getValue(), parameter->getDefaultValue()) << parameter->getName (64);

    for (auto* buffer : buffersOf (processor))
        EXPECT_EQ (buffer, nullptr);
    EXPECT_EQ (processor.preparedBlockSize, 0);
    EXPECT_EQ (processor.reverser.left.buffer, nullptr);
    EXPECT_EQ (processor.reverser.right.buffer, nullptr);
    EXPECT_TRUE (processor.needsResync);
    EXPECT_FALSE (processor.wasPlaying);
}

TEST (Processor, IdentityAnswers)
{
    MarnovexTemplateAudioProcessor processor;

    EXPECT_EQ (processor.getName(), "Vorn v2");
    EXPECT_FALSE (processor.acceptsMidi());
    EXPECT_FALSE (processor.producesMidi());
    EXPECT_FALSE (processor.isMidiEffect());
    EXPECT_FALSE (processor.supportsDoublePrecisionProcessing());
    EXPECT_EQ (processor.getBypassParameter(), nullptr);

    // The tail does not depend on the rate.
    EXPECT_EQ (processor.getTailLengthSeconds(), 300.0);
    for (double rate : { 22050.0, 44100.0, 96000.0, 192000.0 })
    {
        processor.setRateAndBufferSizeDetails (rate, 256);
        EXPECT_EQ (processor.getTailLengthSeconds(), 300.0) << rate;
    }

    EXPECT_TRUE (processor.hasEditor());
    const vorn::test::ScopedHome home; // the editor reads the zoom from a private settings file
    std::unique_ptr<juce::AudioProcessorEditor> editor (processor.createEditor());
    ASSERT_NE (editor, nullptr);
    EXPECT_EQ (&editor->processor, &processor);
}

TEST (Processor, OneUnnamedProgramThatNothingChanges)
{
    MarnovexTemplateAudioProcessor processor;
    processor.parameters.getParameter ("Mix")->setValueNotifyingHost (0.25f);

    EXPECT_EQ (processor.getNumPrograms(), 1);
    EXPECT_EQ (processor.getCurrentProgram(), 0);
    EXPECT_EQ (processor.getProgramName (0), "");
    EXPECT_EQ (processor.getProgramName (7), "");

    processor.setCurrentProgram (3);
    processor.changeProgramName (0, "Renamed");
    EXPECT_EQ (processor.getCurrentProgram(), 0);
    EXPECT_EQ (processor.getProgramName (0), "");
    EXPECT_EQ (processor.parameters.getRawParameterValue ("Mix")->load(), 25.0f);
    EXPECT_EQ (processor.presetManager.currentPresetPath, marnovex::kDefaultPresetPath);
}

TEST (Processor, BusesAndLayouts)
{
    MarnovexTemplateAudioProcessor processor;
    const auto mono = juce::AudioChannelSet::mono();
    const auto stereo = juce::AudioChannelSet::stereo();
    const auto disabled = juce::AudioChannelSet::disabled();
    const auto surround = juce::AudioChannelSet::create5point1();

    ASSERT_EQ (processor.getBusCount (true), 1);
    ASSERT_EQ (processor.getBusCount (false), 1);
    EXPECT_EQ (processor.getBus (true, 0)->getName(), "Input");
    EXPECT_EQ (processor.getBus (false, 0)->getName(), "Output");
    EXPECT_EQ (processor.getBus (true, 0)->getDefaultLayout(), stereo);
    EXPECT_EQ (processor.getBus (false, 0)->getDefaultLayout(), stereo);
    EXPECT_TRUE (processor.getBus (true, 0)->isEnabledByDefault());
    EXPECT_TRUE (processor.getBus (false, 0)->isEnabledByDefault());

    EXPECT_TRUE (processor.checkBusesLayoutSupported (layoutOf (mono, mono)));
    EXPECT_TRUE (processor.checkBusesLayoutSupported (layoutOf (mono, stereo)));
    EXPECT_TRUE (processor.checkBusesLayoutSupported (layoutOf (stereo, stereo)));

    EXPECT_FALSE (processor.checkBusesLayoutSupported (layoutOf (stereo, mono)));
    EXPECT_FALSE (processor.checkBusesLayoutSupported (layoutOf (disabled, stereo)));
    EXPECT_FALSE (processor.checkBusesLayoutSupported (layoutOf (stereo, disabled)));
    EXPECT_FALSE (processor.checkBusesLayoutSupported (layoutOf (disabled, disabled)));
    EXPECT_FALSE (processor.checkBusesLayoutSupported (layoutOf (surround, surround)));
    EXPECT_FALSE (processor.checkBusesLayoutSupported (layoutOf (stereo, surround)));
    EXPECT_FALSE (processor.checkBusesLayoutSupported (layoutOf (mono, juce::AudioChannelSet::createLCR())));
    // Two channels, but not left and right.
    EXPECT_FALSE (processor.checkBusesLayoutSupported (layoutOf (juce::AudioChannelSet::discreteChannels (2),
                                                                 juce::AudioChannelSet::discreteChannels (2))));
    EXPECT_FALSE (processor.checkBusesLayoutSupported (layoutOf (mono, juce::AudioChannelSet::discreteChannels (2))));
    EXPECT_FALSE (processor.isBusesLayoutSupported (Layout {}));

    // A refused layout leaves the current one alone; an accepted one is applied.
    EXPECT_FALSE (processor.setBusesLayout (layoutOf (stereo, mono)));
    EXPECT_EQ (processor.getTotalNumInputChannels(), 2);
    EXPECT_EQ (processor.getTotalNumOutputChannels(), 2);
    EXPECT_TRUE (processor.setBusesLayout (layoutOf (mono, stereo)));
    EXPECT_EQ (processor.getTotalNumInputChannels(), 1);
    EXPECT_EQ (processor.getTotalNumOutputChannels(), 2);
}

TEST (Processor, DestructionWithAndWithoutPrepare)
{
    // Never prepared: only null buffers to release.
    {
        MarnovexTemplateAudioProcessor processor;
    }

    auto processor = std::make_unique<MarnovexTemplateAudioProcessor>();
    processor->prepareToPlay (8000.0, 64);
    processor->prepareToPlay (11025.0, 512);

    EXPECT_EQ (processor->preparedBlockSize, 512);
    for (auto* buffer : buffersOf (*processor))
        EXPECT_NE (buffer, nullptr);
    EXPECT_EQ (processor->reverser.left.bufferLength, 64 * 11025);
    EXPECT_NE (processor->reverser.right.buffer, nullptr);

    // Resources stay until the next prepare or destruction.
    processor->releaseResources();
    EXPECT_EQ (processor->preparedBlockSize, 512);
    EXPECT_NE (processor->dryLeft, nullptr);

    processor.reset();
}

TEST (Processor, DefaultStateTree)
{
    MarnovexTemplateAudioProcessor processor;
    const auto& state = processor.parameters.state;

    EXPECT_EQ (state.getType().toString(), "Parameters");

    const juce::StringArray expectedOrder { "Curve", "Feedback", "Intensity", "Mix", "Overlap",
                                            "Return", "Send", "TimeDenominator", "TimeNumerator" };
    juce::StringArray ids;
    for (const auto& child : state)
    {
        EXPECT_EQ (child.getType().toString(), "PARAM");
        ids.add (child.getProperty ("id").toString());
    }
    EXPECT_EQ (ids, expectedOrder);

    // Values in display units.
    EXPECT_EQ ((float) state.getChildWithProperty ("id", "Send").getProperty ("value"), 100.0f);
    EXPECT_EQ ((float) state.getChildWithProperty ("id", "Mix").getProperty ("value"), 50.0f);
    EXPECT_EQ ((float) state.getChildWithProperty ("id", "TimeNumerator").getProperty ("value"), 4.0f);
}
