// The window's 33 ms tick: the tempo readout under the Time control and the
// level history of the curve display. Ticks are called directly; the tests
// never run the message loop, so the real timer never interferes.

#include "WindowTestSupport.h"

#include <cmath>
#include <limits>
#include <algorithm>

using namespace vorn::test;

namespace
{
class WindowTick : public ::testing::Test
{
protected:
    void tick() { editor.inner.timerCallback(); }

    juce::String readout() const { return editor.inner.bpmLabel.getText(); }

    ScopedHome home;
    MarnovexTemplateAudioProcessor processor;
    MarnovexTemplateAudioProcessorEditor editor { processor };
};

TEST_F (WindowTick, TheReadoutIsEmptyUntilTheFirstTickThenShowsTheHostTempo)
{
    EXPECT_TRUE (editor.inner.isTimerRunning());
    EXPECT_EQ (editor.inner.getTimerInterval(), 33);
    EXPECT_EQ (readout(), "");

    tick(); // no host tempo: the processor's default
    EXPECT_EQ (readout(), "120.00 BPM");

    const std::pair<float, const char*> tempi[] = {
        { 98.5f, "98.50 BPM" },
        { 133.333f, "133.33 BPM" },
        { 120.004999f, "120.00 BPM" },
        { 59.996f, "60.00 BPM" },
        { 999.0f, "999.00 BPM" },
    };
    for (const auto& [bpm, text] : tempi)
    {
        processor.hostBpm = bpm;
        tick();
        EXPECT_EQ (readout(), text) << bpm;
    }
}

TEST_F (WindowTick, ATempoOfZeroLeavesTheReadoutEmptyUntilARealOneArrives)
{
    processor.hostBpm = 0.0f;
    tick();
    tick();
    EXPECT_EQ (readout(), "");

    processor.hostBpm = 140.0f;
    tick();
    EXPECT_EQ (readout(), "140.00 BPM");
}

TEST_F (WindowTick, ANaNTempoNeverReachesTheReadout)
{
    processor.hostBpm = std::numeric_limits<float>::quiet_NaN();
    tick();
    EXPECT_EQ (readout(), "");

    processor.hostBpm = 90.0f;
    tick();
    processor.hostBpm = std::numeric_limits<float>::quiet_NaN();
    tick();
    EXPECT_EQ (readout(), "90.00 BPM");

    // The NaN was never taken as the shown tempo, so the next value compares
    // normally and shows.
    processor.hostBpm = 91.0f;
    tick();
    EXPECT_EQ (readout(), "91.00 BPM");
}

TEST_F (WindowTick, TheHistoryFillsFromTheRightOneLevelPerTick)
{
    auto& canvas = editor.inner.canvas;
    const auto n = canvas.historySize;
    ASSERT_EQ (n, 145);
    EXPECT_TRUE (std::all_of (canvas.history, canvas.history + n, [] (float h) { return h == 0.0f; }));

    const auto levelOfTick = [] (int t) { return 0.001f * (float) t; };
    for (int t = 1; t <= 3; ++t)
    {
        processor.waveformLevel = levelOfTick (t);
        tick();
    }
    EXPECT_EQ (canvas.history[n - 1], levelOfTick (3));
    EXPECT_EQ (canvas.history[n - 2], levelOfTick (2));
    EXPECT_EQ (canvas.history[n - 3], levelOfTick (1));
    EXPECT_TRUE (std::all_of (canvas.history, canvas.history + n - 3, [] (float h) { return h == 0.0f; }));

    // After a full window's worth of ticks, every entry is a level read since
    // the window opened, oldest first.
    for (int t = 4; t <= 200; ++t)
    {
        processor.waveformLevel = levelOfTick (t);
        tick();
    }
    for (int i = 0; i < n; ++i)
        EXPECT_EQ (canvas.history[i], levelOfTick (200 - (n - 1) + i)) << "entry " << i;
}

TEST_F (WindowTick, EachTickRepaintsTheWholeCanvas)
{
    // A repaint request reaches a component's cached image first, which sees
    // whether the whole component or only a part was asked for.
    struct RepaintCounter : juce::CachedComponentImage
    {
        void paint (juce::Graphics&) override {}
        bool invalidateAll() override { ++whole; return false; }
        bool invalidate (const juce::Rectangle<int>&) override { ++partial; return false; }
        void releaseResources() override {}

        int whole = 0, partial = 0;
    };

    auto* counter = new RepaintCounter();
    editor.inner.canvas.setCachedComponentImage (counter); // the canvas owns it
    const auto before = counter->whole;

    for (int t = 1; t <= 3; ++t)
    {
        tick(); // the same level every time: nothing changed, still repainted
        EXPECT_EQ (counter->whole, before + t);
    }
    EXPECT_EQ (counter->partial, 0);
    editor.inner.canvas.setCachedComponentImage (nullptr);
}
} // namespace
