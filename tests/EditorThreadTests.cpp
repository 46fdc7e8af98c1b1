// The window and the audio callback side by side: the audio thread publishes
// the tempo and the wet level and applies host automation, while the window's
// timer and widgets run on the message thread. Built with ThreadSanitizer,
// this is where a data race between the two would show.

#include "HostedPlugin.h"
#include "Marnovex_ParameterIDs.h"
#include "TestOutput.h"
#include "editor/WindowTestSupport.h"

#include <atomic>
#include <cmath>
#include <thread>

using namespace vorn::test;

namespace
{
class EditorBesideAudio : public ::testing::Test
{
protected:
    ScopedHome home;
    MarnovexTemplateAudioProcessor processor;
};

TEST_F (EditorBesideAudio, TheWindowFollowsTempoLevelAndAutomationFromTheAudioThread)
{
    constexpr int blockSize = 256;
    processor.setPlayConfigDetails (2, 2, 48000.0, blockSize);
    processor.prepareToPlay (48000.0, blockSize);

    auto* mix = processor.parameters.getParameter (marnovex::kParameter_Mix);
    auto* curve = processor.parameters.getParameter (marnovex::kParameter_Curve);
    MarnovexTemplateAudioProcessorEditor editor (processor);
    auto& inner = editor.inner;

    std::atomic<bool> stop { false };
    std::atomic<int> blocks { 0 };
    std::thread audio ([&]
    {
        SettablePlayHead playHead;
        playHead.playing = true;
        processor.setPlayHead (&playHead);

        juce::AudioBuffer<float> buffer (2, blockSize);
        juce::MidiBuffer midi;
        for (int block = 0; ! stop; ++block)
        {
            for (int i = 0; i < blockSize; ++i)
            {
                const auto sample = 0.8f * (float) std::sin (0.03 * (double) (block * blockSize + i));
                buffer.setSample (0, i, sample);
                buffer.setSample (1, i, sample);
            }

            // Host automation arrives on the audio thread, between blocks.
            playHead.bpm = 100.0 + (double) (block % 40);
            mix->setValueNotifyingHost ((float) (block % 50) / 50.0f);
            curve->setValueNotifyingHost ((float) (block / 20 % 12) / 11.0f);

            processor.processBlock (buffer, midi);
            playHead.advance (blockSize, 48000.0);
            ++blocks;
            std::this_thread::sleep_for (std::chrono::milliseconds (1));
        }

        // Last: a steady tempo and settled parameters for the window to show.
        playHead.bpm = 97.25;
        mix->setValueNotifyingHost (mix->convertTo0to1 (30.0f));
        curve->setValueNotifyingHost (curve->convertTo0to1 (7.0f));
        processor.processBlock (buffer, midi);
        processor.setPlayHead (nullptr);
    });

    // The window's own timer runs here, as in a host, along with the
    // asynchronous deliveries of the automated parameters.
    const auto until = juce::Time::getMillisecondCounter() + 1500;
    while (juce::Time::getMillisecondCounter() < until)
    {
        juce::MessageManager::getInstance()->runDispatchLoopUntil (20);
        const auto image = renderComponent (editor); // paint everything while values change
        juce::ignoreUnused (image);
    }
    stop = true;
    audio.join();

    EXPECT_GT (blocks.load(), 100);

    // After a few more ticks the window shows exactly what the audio thread left.
    ASSERT_TRUE (runMessageLoopUntil ([&] { return inner.bpmLabel.getText() == "97.25 BPM"; }, 2000))
        << inner.bpmLabel.getText();
    ASSERT_TRUE (runMessageLoopUntil ([&]() -> bool { return inner.mixValue.getText() == mix->getText (mix->getValue(), 100); }, 2000));
    EXPECT_EQ (inner.curveValue.getText(), "Slide+");
    EXPECT_FLOAT_EQ (inner.curveKnob.value, 7.0f / 11.0f);

    const auto& history = inner.canvas.history;
    EXPECT_TRUE (std::any_of (std::begin (history), std::end (history), [] (float h) { return h > 0.0f; }))
        << "the wet level reached the display";

    processor.releaseResources();
}
} // namespace
