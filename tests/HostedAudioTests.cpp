// Sound through the built VST3 module, as a host hears it: an impulse comes
// back reversed where the Time setting and the tempo put it, and the host's
// tempo and transport line the segment grid up with the bar.

#include <gtest/gtest.h>

#include "HostedPlugin.h"

#include <cmath>
#include <memory>

namespace
{
constexpr double kRate = 48000.0;
constexpr int kBlock = 480;

void setNormalised (juce::AudioProcessor& plugin, const juce::String& name, float value)
{
    auto* parameter = HostedPlugin::findParameter (plugin, name);
    ASSERT_NE (parameter, nullptr) << name;
    parameter->setValueNotifyingHost (value);
}

// Time N / D whole notes, everything wet (Send and Return keep their 100 % defaults).
void setTimeAndFullMix (juce::AudioProcessor& plugin, int numerator, int denominator)
{
    setNormalised (plugin, "Time Numerator", (float) (numerator - 1) / 15.0f);
    setNormalised (plugin, "Time Denominator", (float) (denominator - 1) / 31.0f);
    setNormalised (plugin, "Mix", 1.0f);
}

juce::AudioBuffer<float> impulseAt (int length, int at)
{
    juce::AudioBuffer<float> audio (2, length);
    audio.clear();
    audio.setSample (0, at, 1.0f);
    audio.setSample (1, at, 1.0f);
    return audio;
}

struct Peak
{
    int index = -1;
    float value = 0.0f;
    float largestElsewhere = 0.0f;
};

// The loudest sample of one channel from `from` on, and the loudest one more
// than `radius` samples away from it.
Peak findPeak (const juce::AudioBuffer<float>& audio, int channel, int from, int radius)
{
    Peak peak;
    for (int i = from; i < audio.getNumSamples(); ++i)
        if (std::abs (audio.getSample (channel, i)) > std::abs (peak.value))
        {
            peak.index = i;
            peak.value = audio.getSample (channel, i);
        }
    for (int i = from; i < audio.getNumSamples(); ++i)
        if (std::abs (i - peak.index) > radius)
            peak.largestElsewhere = std::max (peak.largestElsewhere, std::abs (audio.getSample (channel, i)));
    return peak;
}

// An impulse read back at a whole-sample position comes out as one sample at
// full level (the settled Send, Return and Mix lose a few parts in 10^4). At
// a fractional position the interpolation spreads it over its neighbours.
void expectReversedImpulse (const juce::AudioBuffer<float>& audio, int impulse, double expectedIndex,
                            double indexTolerance, bool wholeSample)
{
    for (int ch = 0; ch < 2; ++ch)
    {
        SCOPED_TRACE (ch);
        const auto peak = findPeak (audio, ch, impulse + 1, wholeSample ? 1 : 2);
        EXPECT_NEAR ((double) peak.index, expectedIndex, indexTolerance);
        if (wholeSample)
            EXPECT_NEAR (peak.value, 1.0f, 2.0e-3f);
        else
            EXPECT_GT (peak.value, 0.5f);
        EXPECT_LT (peak.largestElsewhere, 0.02f) << "nothing else sounds after the impulse";
    }
}
} // namespace

TEST (HostedAudio, ImpulseComesBackReversedWhereTimeAndTempoPutIt)
{
    struct Case
    {
        int numerator, denominator;
        double bpm;
    };
    // Segment lengths at 48 kHz: 24000, 48000, 9600 and 25714.29 samples.
    for (const Case c : { Case { 1, 4, 120.0 }, Case { 3, 8, 90.0 }, Case { 1, 8, 150.0 }, Case { 5, 16, 140.0 } })
    {
        SCOPED_TRACE (testing::Message() << c.numerator << "/" << c.denominator << " at " << c.bpm << " BPM");
        auto plugin = HostedPlugin::load();
        ASSERT_NE (plugin, nullptr);

        // A stopped transport still gives the tempo; the grid runs freely from the first block.
        SettablePlayHead playHead;
        playHead.bpm = c.bpm;
        plugin->setPlayHead (&playHead);
        HostedPlugin::prepare (*plugin, kRate, kBlock);
        setTimeAndFullMix (*plugin, c.numerator, c.denominator);

        const double length = (double) c.numerator / c.denominator * 240.0 * kRate / c.bpm;

        // Past the first second, once the parameter glides have settled: a third
        // of the way into segment n, heard a third of the way from the end of segment n + 1.
        const int segment = (int) std::ceil (kRate / length) + 1;
        const int segmentStart = (int) std::ceil (segment * length);
        const int impulse = segmentStart + (int) (length / 3.0);
        auto audio = impulseAt ((int) ((segment + 2) * length) + kBlock, impulse);
        HostedPlugin::process (*plugin, audio, kBlock, &playHead);

        // Segment n + 1 starts recording at S + 1, where S is the last sample of
        // segment n; head A is at S - phase, and phase starts at the fraction left over.
        const int lastOfSegment = (int) std::ceil ((segment + 1) * length) - 1;
        const double leftOver = (lastOfSegment + 1) - (segment + 1) * length;
        const double heardAt = 2.0 * lastOfSegment + 1.0 - impulse - leftOver;
        const bool wholeSample = std::floor (heardAt) == heardAt;
        expectReversedImpulse (audio, impulse, heardAt, wholeSample ? 0.0 : 1.0, wholeSample);

        plugin->releaseResources();
        plugin->setPlayHead (nullptr);
    }
}

TEST (HostedAudio, PlayingFromMidBarAlignsSegmentsWithBars)
{
    // One whole note per segment at 120 BPM: 96000 samples, a bar of 4/4.
    // The transport starts 1.5 quarter notes into bar 0, at sample 36000.
    auto plugin = HostedPlugin::load();
    ASSERT_NE (plugin, nullptr);
    SettablePlayHead playHead;
    playHead.playing = true;
    playHead.timeInSamples = 36000;
    playHead.ppq = 1.5;
    playHead.barStartPpq = 0.0;
    plugin->setPlayHead (&playHead);
    HostedPlugin::prepare (*plugin, kRate, kBlock);
    setTimeAndFullMix (*plugin, 1, 1);

    // Host sample 192000 + k (bar 2) is heard at 288000 + 95999 - k (bar 3).
    // A grid started with the transport would put it at 291999 - k instead.
    constexpr int origin = 36000, k = 10000;
    auto audio = impulseAt (384000 - origin, 192000 + k - origin);
    HostedPlugin::process (*plugin, audio, kBlock, &playHead);
    expectReversedImpulse (audio, 192000 + k - origin, 288000 + 95999 - k - origin, 0.0, true);

    plugin->releaseResources();
    plugin->setPlayHead (nullptr);
}

TEST (HostedAudio, TransportJumpAndTempoChangeRealignToTheBar)
{
    struct Case
    {
        const char* what;
        double newBpm;
        juce::int64 newTime; // host sample after the change, or -1 to carry on
        int heardAt;
        int impulse;
    };

    // Both change the host at buffer sample 120000, 1.25 bars in at 120 BPM.
    // Jump: to host sample 500000 (ppq 20.833, bar 5 began at 480000); bar 6
    // starts at buffer sample 120000 + 76000, bar 7 96000 later.
    // Tempo 100 BPM from ppq 5: bar 2 starts 3 quarter notes (86400 samples)
    // later, at 206400, and each bar is 115200 samples.
    const Case cases[] = {
        { "transport jump", 120.0, 500000, 196000 + 96000 + 95999 - 30000, 196000 + 30000 },
        { "tempo change", 100.0, -1, 206400 + 115200 + 115199 - 20000, 206400 + 20000 },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        auto plugin = HostedPlugin::load();
        ASSERT_NE (plugin, nullptr);
        SettablePlayHead playHead;
        playHead.playing = true;
        plugin->setPlayHead (&playHead);
        HostedPlugin::prepare (*plugin, kRate, kBlock);
        setTimeAndFullMix (*plugin, 1, 1);

        auto audio = impulseAt (c.heardAt + 20000, c.impulse);
        HostedPlugin::process (*plugin, audio, kBlock, &playHead, [&] (int start, int) {
            if (start != 120000)
                return;
            playHead.bpm = c.newBpm;
            if (c.newTime >= 0)
            {
                playHead.timeInSamples = c.newTime;
                playHead.ppq = (double) c.newTime / 24000.0;
                playHead.barStartPpq = 4.0 * std::floor (*playHead.ppq / 4.0);
            }
        });

        // The bar position comes from the host's ppq in double precision: 500000 / 24000
        // quarter notes, or 250 blocks' worth of 0.02, can land a hair short of the
        // exact sample, and the segment then ends one sample later.
        expectReversedImpulse (audio, c.impulse, c.heardAt, 1.0, true);

        plugin->releaseResources();
        plugin->setPlayHead (nullptr);
    }
}
