// The audio callback driven directly: parameter smoothing, the level
// follower, channel routing, the arithmetic from parameter values to output
// samples, reset, the host's tempo and transport, and hostile host values.

#include <gtest/gtest.h>

#include "Marnovex_ParameterIDs.h"
#include "PlainEngine.h"
#include "PluginProcessor.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

namespace
{
using namespace marnovex;
using Position = juce::AudioPlayHead::PositionInfo;

constexpr double kRate = 48000.0;
constexpr int kBlock = 512;

// Gives the processor whatever position record a test sets, or none.
class TestPlayHead final : public juce::AudioPlayHead
{
public:
    juce::Optional<Position> getPosition() const override { return position; }

    // A running or stopped transport at `timeInSamples`, in 4/4, with every field present.
    void setTransport (double bpm, int64_t timeInSamples, bool playing, double rate = kRate)
    {
        Position p;
        const double ppq = (double) timeInSamples * bpm / (60.0 * rate);
        p.setBpm (bpm);
        p.setTimeInSamples (timeInSamples);
        p.setPpqPosition (ppq);
        p.setPpqPositionOfLastBarStart (4.0 * std::floor (ppq / 4.0));
        p.setIsPlaying (playing);
        position = p;
    }

    juce::Optional<Position> position;
};

enum class Layout
{
    stereo,
    monoToStereo,
    mono
};

std::vector<float> noise (int numSamples, uint32_t seed)
{
    std::vector<float> v ((size_t) numSamples);
    for (auto& x : v)
    {
        seed = seed * 1664525u + 1013904223u;
        x = (float) (seed >> 8) / 8388608.0f - 1.0f;
    }
    return v;
}

// One processor prepared the way a host prepares it, plus a play head.
struct Rig
{
    explicit Rig (Layout layout = Layout::stereo, double rate = kRate, int block = kBlock)
    {
        if (layout != Layout::stereo)
        {
            juce::AudioProcessor::BusesLayout buses;
            buses.inputBuses.add (juce::AudioChannelSet::mono());
            buses.outputBuses.add (layout == Layout::mono ? juce::AudioChannelSet::mono()
                                                          : juce::AudioChannelSet::stereo());
            EXPECT_TRUE (processor.setBusesLayout (buses));
        }
        processor.setRateAndBufferSizeDetails (rate, block);
        processor.prepareToPlay (rate, block);
    }

    void set (const juce::String& id, float plainValue)
    {
        auto* parameter = processor.parameters.getParameter (id);
        parameter->setValueNotifyingHost (parameter->convertTo0to1 (plainValue));
    }

    void usePlayHead() { processor.setPlayHead (&playHead); }

    int channels() const
    {
        return juce::jmax (processor.getTotalNumInputChannels(), processor.getTotalNumOutputChannels());
    }

    // Processes one block; the right input is ignored when there is no second channel.
    juce::AudioBuffer<float> process (const float* left, const float* right, int n)
    {
        juce::AudioBuffer<float> buffer (channels(), n);
        if (n > 0)
        {
            buffer.copyFrom (0, 0, left, n);
            if (buffer.getNumChannels() > 1)
                buffer.copyFrom (1, 0, right, n);
        }
        juce::MidiBuffer midi;
        processor.processBlock (buffer, midi);
        return buffer;
    }

    juce::AudioBuffer<float> process (const std::vector<float>& left, const std::vector<float>& right)
    {
        return process (left.data(), right.data(), (int) left.size());
    }

    juce::AudioBuffer<float> processSilence (int n = kBlock)
    {
        const std::vector<float> zeros ((size_t) n, 0.0f);
        return process (zeros, zeros);
    }

    // Moves both engine channels to `phase`, so that the phase after the next
    // block tells whether that block re-aligned them to the bar.
    void displacePhase (double phase)
    {
        processor.reverser.left.phase = phase;
        processor.reverser.right.phase = phase;
    }

    double phase() const { return processor.reverser.left.phase; }

    MarnovexTemplateAudioProcessor processor;
    TestPlayHead playHead;
};

bool allFinite (const juce::AudioBuffer<float>& buffer)
{
    for (int ch = 0; ch < buffer.getNumChannels(); ++ch)
        for (int i = 0; i < buffer.getNumSamples(); ++i)
            if (! std::isfinite (buffer.getSample (ch, i)))
                return false;
    return true;
}

bool sameBits (const float* a, const float* b, int n)
{
    return std::memcmp (a, b, sizeof (float) * (size_t) n) == 0;
}

float expectedCoefficient (double rate)
{
    return (float) (1.0 - std::exp (-6.283185307179586 / (double) (0.25f * (float) rate)));
}

// Glides a smoother to where single precision stops it; returns every value it produced.
std::vector<float> glideToRest (float target, double rate)
{
    ParameterSmoother smoother;
    smoother.prepare ((float) rate);
    std::vector<float> values ((size_t) (40 * rate));
    smoother.process (target, values.data(), (int) values.size());
    return values;
}
} // namespace

//==============================================================================
TEST (CallbackSmoothing, CoefficientIsAFourHertzOnePole)
{
    for (const double rate : { 44100.0, 48000.0, 96000.0 })
    {
        SCOPED_TRACE (rate);
        Rig rig (Layout::stereo, rate);
        auto& p = rig.processor;
        for (auto* s : { &p.overlapSmoother, &p.intensitySmoother, &p.feedbackSmoother, &p.sendSmoother,
                         &p.returnSmoother, &p.mixSmoother })
            EXPECT_EQ (s->coefficient, expectedCoefficient (rate));
    }
    EXPECT_NEAR (expectedCoefficient (44100.0), 0.000570, 5.0e-7);
    EXPECT_NEAR (expectedCoefficient (48000.0), 0.000523, 5.0e-7);

    // A later prepare changes the coefficient only, never the running value or a pending jump.
    Rig rig;
    rig.processor.mixSmoother.current = 0.3f;
    rig.processor.mixSmoother.resetState = 0;
    rig.processor.prepareToPlay (44100.0, kBlock);
    EXPECT_EQ (rig.processor.mixSmoother.coefficient, expectedCoefficient (44100.0));
    EXPECT_EQ (rig.processor.mixSmoother.current, 0.3f);
    EXPECT_EQ (rig.processor.mixSmoother.resetState, 0);
}

TEST (CallbackSmoothing, GlideComesToRestJustShortOfItsTarget)
{
    struct Case
    {
        float target;
        double rest;
    };
    for (const Case c : { Case { 1.0f, 0.99994 }, Case { 0.5f, 0.49997 } })
    {
        SCOPED_TRACE (c.target);
        const auto values = glideToRest (c.target, kRate);

        float previous = 0.0f;
        for (const float v : values)
        {
            ASSERT_LT (v, c.target) << "approached from below, never reached";
            ASSERT_GE (v, previous);
            previous = v;
        }
        EXPECT_NEAR (values.back(), c.rest, 1.0e-5);
        // It stopped long before the end: the last second did not move it.
        EXPECT_EQ (values[values.size() - (size_t) kRate], values.back());
    }

    // A smoother at rest keeps gliding without moving; a reset makes it jump.
    Rig rig;
    for (int b = 0; b < 200; ++b)
        rig.processSilence();
    auto& mix = rig.processor.mixSmoother;
    const float rest = mix.current;
    EXPECT_LT (rest, 0.5f);
    EXPECT_NEAR (rest, 0.49997, 1.0e-5);
    rig.processSilence();
    EXPECT_EQ (mix.current, rest);
    for (int i = 0; i < kBlock; ++i)
        ASSERT_EQ (rig.processor.mixValues[i], rest);

    rig.processor.reset();
    rig.processSilence();
    EXPECT_EQ (mix.current, 0.5f);
    for (int i = 0; i < kBlock; ++i)
        ASSERT_EQ (rig.processor.mixValues[i], 0.5f);
}

TEST (CallbackSmoothing, FirstBlockGlidesInUnlessResetRanFirst)
{
    // The first segment is silent (Overlap 0), so the output is dry x (1 - Mix).
    const std::vector<float> dc ((size_t) kBlock, 0.5f);

    Rig fresh;
    const auto out = fresh.process (dc, dc);
    for (int ch = 0; ch < 2; ++ch)
    {
        EXPECT_NEAR (out.getSample (ch, 0), 0.5f, 2.0e-4f) << "starts dry";
        for (int i = 1; i < kBlock; ++i)
            ASSERT_LT (out.getSample (ch, i), out.getSample (ch, i - 1));
        // Mix has covered 1 - (1 - c)^512 of its way to 0.5 by the block's end.
        const double mixAtEnd = 0.5 * (1.0 - std::pow (1.0 - (double) expectedCoefficient (kRate), kBlock));
        EXPECT_NEAR (out.getSample (ch, kBlock - 1), 0.5 * (1.0 - mixAtEnd), 1.0e-4);
    }

    Rig afterReset;
    afterReset.processor.reset();
    const auto held = afterReset.process (dc, dc);
    for (int ch = 0; ch < 2; ++ch)
        for (int i = 0; i < kBlock; ++i)
            ASSERT_EQ (held.getSample (ch, i), 0.25f) << "half mix from the first sample";
    EXPECT_EQ (afterReset.processor.sendSmoother.current, 1.0f);
    EXPECT_EQ (afterReset.processor.returnSmoother.current, 1.0f);
    EXPECT_EQ (afterReset.processor.mixSmoother.resetState, -1);
}

//==============================================================================
TEST (CallbackLevelFollower, BurstRampsUpThenDownWithinZeroToOne)
{
    for (const float burst : { 0.8f, 3.0f })
    {
        SCOPED_TRACE (burst);
        LevelFollower follower;
        follower.prepare ((float) kRate); // 480-sample intervals
        std::vector<float> signal (2400, 0.0f);
        signal[10] = -burst;
        follower.process (signal.data(), (int) signal.size());

        for (float v : signal)
        {
            ASSERT_GE (v, 0.0f);
            ASSERT_LE (v, 1.0f);
        }
        // Nothing until the first interval closes, then a straight climb to
        // the burst's peak over one interval and a straight fall over the next.
        for (int i = 0; i < 480; ++i)
            ASSERT_EQ (signal[(size_t) i], 0.0f);
        const float peak = std::min (burst, 1.0f);
        EXPECT_NEAR (signal[480], burst / 480.0f, 1.0e-6f);
        EXPECT_NEAR (signal[959], peak, 1.0e-4f);
        for (int i = 481; i < 960; ++i)
            ASSERT_GE (signal[(size_t) i], signal[(size_t) (i - 1)]);
        for (int i = 961; i < 1440; ++i)
            ASSERT_LE (signal[(size_t) i], signal[(size_t) (i - 1)]);
        for (size_t i = 1440; i < signal.size(); ++i)
            ASSERT_NEAR (signal[i], 0.0f, 1.0e-4f);
    }
}

TEST (CallbackLevelFollower, PublishesTheFirstSampleOfEachBlock)
{
    Rig rig;
    rig.set (kParameter_TimeD, 32.0f); // 1/32: 3000-sample segments
    rig.set (kParameter_TimeN, 1.0f);
    rig.processor.reset();

    const auto loud = noise (kBlock, 5);
    float highest = 0.0f;
    for (int b = 0; b < 40; ++b)
    {
        rig.process (loud, loud);
        const float level = rig.processor.waveformLevel.load();
        EXPECT_GE (level, 0.0f);
        EXPECT_LE (level, 1.0f);
        highest = std::max (highest, level);
    }
    EXPECT_GT (highest, 0.1f) << "the reversed signal shows on the meter";

    // An empty block leaves it; a new prepare clears it; reset does not.
    const float before = rig.processor.waveformLevel.load();
    rig.process (nullptr, nullptr, 0);
    EXPECT_EQ (rig.processor.waveformLevel.load(), before);
    rig.processor.reset();
    EXPECT_EQ (rig.processor.waveformLevel.load(), before);
    rig.processor.prepareToPlay (kRate, kBlock);
    EXPECT_EQ (rig.processor.waveformLevel.load(), 0.0f);
}

//==============================================================================
TEST (CallbackRouting, MonoInputFeedsBothEngineChannels)
{
    Rig mono (Layout::monoToStereo), stereo;
    ASSERT_EQ (mono.processor.getTotalNumInputChannels(), 1);
    ASSERT_EQ (mono.processor.getTotalNumOutputChannels(), 2);
    for (auto* rig : { &mono, &stereo })
    {
        rig->set (kParameter_TimeN, 1.0f);
        rig->set (kParameter_TimeD, 32.0f);
        rig->set (kParameter_Overlap, 30.0f);
        rig->set (kParameter_Feedback, 40.0f);
        rig->processor.reset();
    }

    const std::vector<float> junk ((size_t) kBlock, 99.0f);
    for (int b = 0; b < 20; ++b)
    {
        const auto input = noise (kBlock, 100u + (uint32_t) b);
        // The mono processor's second channel holds junk that must be cleared, not heard.
        const auto m = mono.process (input, junk);
        const auto s = stereo.process (input, input);
        ASSERT_TRUE (sameBits (m.getReadPointer (0), m.getReadPointer (1), kBlock)) << "block " << b;
        ASSERT_TRUE (sameBits (m.getReadPointer (0), s.getReadPointer (0), kBlock)) << "block " << b;
        ASSERT_TRUE (sameBits (m.getReadPointer (1), s.getReadPointer (1), kBlock)) << "block " << b;
    }
    EXPECT_TRUE (sameBits (mono.processor.reverser.left.buffer, mono.processor.reverser.right.buffer, 20 * kBlock));
    EXPECT_GT (std::abs (mono.processor.reverser.right.buffer[100]), 0.0f);
}

TEST (CallbackRouting, MonoOutputRunsOnlyTheLeftEngine)
{
    Rig mono (Layout::mono), stereo;
    ASSERT_EQ (mono.processor.getTotalNumOutputChannels(), 1);
    for (auto* rig : { &mono, &stereo })
    {
        rig->set (kParameter_TimeN, 1.0f);
        rig->set (kParameter_TimeD, 32.0f);
        rig->processor.reset();
    }

    const std::vector<float> silence ((size_t) kBlock, 0.0f);
    bool meterMoved = false;
    for (int b = 0; b < 30; ++b)
    {
        const auto input = noise (kBlock, 7u + (uint32_t) b);
        const auto m = mono.process (input, silence);
        const auto s = stereo.process (input, silence);
        ASSERT_EQ (m.getNumChannels(), 1);
        ASSERT_TRUE (sameBits (m.getReadPointer (0), s.getReadPointer (0), kBlock)) << "block " << b;

        // The mono meter follows the left wet signal alone; the stereo one
        // averages it with a silent right channel, exactly half as much.
        EXPECT_EQ (mono.processor.waveformLevel.load(), 2.0f * stereo.processor.waveformLevel.load());
        meterMoved = meterMoved || mono.processor.waveformLevel.load() > 0.0f;
    }
    EXPECT_TRUE (meterMoved);
    EXPECT_EQ (mono.processor.reverser.right.writeIndex, 0);
    EXPECT_EQ (mono.processor.reverser.right.phase, 0.0);
    EXPECT_EQ (mono.processor.reverser.left.writeIndex, 30 * kBlock);
}

//==============================================================================
namespace
{
// Plain parameter values of one row of the arithmetic table.
struct Setting
{
    const char* what;
    float send, ret, mix, overlap, feedback, intensity;
};

// Every parameter away from its ends and from its default, so that each one
// changes the output of every row; each row then moves one of them.
constexpr Setting kArithmeticRows[] = {
    // what               Send     Return   Mix      Overlap  Feedback Intensity
    { "Send 0",           0.0f,    70.0f,   60.0f,   40.0f,   50.0f,   70.0f },
    { "Send 35",          35.0f,   70.0f,   60.0f,   40.0f,   50.0f,   70.0f },
    { "Send 100",         100.0f,  70.0f,   60.0f,   40.0f,   50.0f,   70.0f },
    { "Return 0",         80.0f,   0.0f,    60.0f,   40.0f,   50.0f,   70.0f },
    { "Return 35",        80.0f,   35.0f,   60.0f,   40.0f,   50.0f,   70.0f },
    { "Return 100",       80.0f,   100.0f,  60.0f,   40.0f,   50.0f,   70.0f },
    { "Mix 0",            80.0f,   70.0f,   0.0f,    40.0f,   50.0f,   70.0f },
    { "Mix 35",           80.0f,   70.0f,   35.0f,   40.0f,   50.0f,   70.0f },
    { "Mix 100",          80.0f,   70.0f,   100.0f,  40.0f,   50.0f,   70.0f },
    { "Overlap 0",        80.0f,   70.0f,   60.0f,   0.0f,    50.0f,   70.0f },
    { "Overlap 15",       80.0f,   70.0f,   60.0f,   15.0f,   50.0f,   70.0f },
    { "Overlap 50",       80.0f,   70.0f,   60.0f,   50.0f,   50.0f,   70.0f },
    { "Feedback 0",       80.0f,   70.0f,   60.0f,   40.0f,   0.0f,    70.0f },
    { "Feedback 35",      80.0f,   70.0f,   60.0f,   40.0f,   35.0f,   70.0f },
    { "Feedback 100",     80.0f,   70.0f,   60.0f,   40.0f,   100.0f,  70.0f },
    { "Intensity 0",      80.0f,   70.0f,   60.0f,   40.0f,   50.0f,   0.0f },
    { "Intensity 35",     80.0f,   70.0f,   60.0f,   40.0f,   50.0f,   35.0f },
    { "Intensity 100",    80.0f,   70.0f,   60.0f,   40.0f,   50.0f,   100.0f },
};

// 1/32 of a whole note at 120 BPM and 16 kHz: 1000-sample segments, so that
// a run of 8 blocks hears head B in the first segment, head A from the second
// and the feedback tap's recording from the third. The low rate keeps the
// 64-second buffers small.
constexpr double kArithmeticRate = 16000.0;
constexpr int kArithmeticBlocks = 8;
constexpr float kShortTimeD = 32.0f;
constexpr float kWarpingCurve = 4.0f; // "Hyperbolic": Intensity bends it far from a straight line

void applySetting (Rig& rig, const Setting& s)
{
    rig.set (kParameter_TimeN, 1.0f);
    rig.set (kParameter_TimeD, kShortTimeD);
    rig.set (kParameter_Curve, kWarpingCurve);
    rig.set (kParameter_Send, s.send);
    rig.set (kParameter_Return, s.ret);
    rig.set (kParameter_Mix, s.mix);
    rig.set (kParameter_Overlap, s.overlap);
    rig.set (kParameter_Feedback, s.feedback);
    rig.set (kParameter_Intensity, s.intensity);
}

// The values the callback derives from the parameters' plain values, read
// back from the parameter state (a plain value set through the host's 0..1
// range need not come back exactly as written).
struct DerivedControls
{
    double segmentLength;
    int curve;
    float overlap, feedback, intensity, send, ret, mix;
};

DerivedControls deriveControls (const MarnovexTemplateAudioProcessor& processor, double rate)
{
    const auto plain = [&processor] (const juce::String& id) { return processor.parameters.getRawParameterValue (id)->load(); };
    const float wholeNotes = (float) (int) plain (kParameter_TimeN) / (float) (int) plain (kParameter_TimeD);
    return { (double) wholeNotes * 240.0 * rate / 120.0, // no play head: 120 BPM
             (int) plain (kParameter_Curve),
             0.02f * plain (kParameter_Overlap),
             0.01f * plain (kParameter_Feedback),
             0.01f * plain (kParameter_Intensity),
             0.01f * plain (kParameter_Send),
             0.01f * plain (kParameter_Return),
             0.01f * plain (kParameter_Mix) };
}

// One output channel's path as the callback must compute it: the dry input
// scaled by Send into the literal engine, and its wet output mixed with the
// dry signal as dry + (wet x Return - dry) x Mix, in that order of operations.
struct ExpectedChannel
{
    ExpectedChannel (const DerivedControls& c, double rate, int blockSize)
        : controls (c),
          overlap ((size_t) blockSize, c.overlap),
          feedback ((size_t) blockSize, c.feedback),
          intensity ((size_t) blockSize, c.intensity),
          send ((size_t) blockSize),
          wet ((size_t) blockSize),
          out ((size_t) blockSize)
    {
        engine.prepare (rate);
    }

    const std::vector<float>& process (const std::vector<float>& dry)
    {
        // The callback runs with denormals flushed; so does its reference.
        const juce::ScopedNoDenormals noDenormals;
        const int n = (int) dry.size();
        for (int i = 0; i < n; ++i)
            send[(size_t) i] = controls.send * dry[(size_t) i];
        engine.process (send.data(), controls.segmentLength, overlap.data(), feedback.data(), controls.curve,
                        intensity.data(), wet.data(), n);
        for (int i = 0; i < n; ++i)
        {
            const size_t k = (size_t) i;
            wetHeard = wetHeard || wet[k] != 0.0f;
            out[k] = (controls.ret * wet[k] - dry[k]) * controls.mix + dry[k];
        }
        return out;
    }

    DerivedControls controls;
    vorn::test::PlainEngine engine;
    std::vector<float> overlap, feedback, intensity, send, wet, out;
    bool wetHeard = false;
};

int firstDifference (const float* actual, const std::vector<float>& expected)
{
    for (size_t i = 0; i < expected.size(); ++i)
        if (std::memcmp (actual + i, &expected[i], sizeof (float)) != 0)
            return (int) i;
    return -1;
}

struct LayoutCase
{
    const char* name;
    Layout layout;
    int outputs;
    bool rightInputHeard;
};

constexpr LayoutCase kLayouts[] = {
    { "stereo -> stereo", Layout::stereo, 2, true },
    { "mono -> stereo", Layout::monoToStereo, 2, false },
    { "mono -> mono", Layout::mono, 1, false },
};
} // namespace

// From parameter values to output samples: after a reset the smoothers hold
// their targets, and every output sample must equal, bit for bit, the mix of
// the dry input with the literal engine's output for the derived controls.
TEST (CallbackArithmetic, OutputIsTheMixOfDryAndTheEngineForEveryParameterEnd)
{
    for (const auto& layout : kLayouts)
    {
        for (const auto& row : kArithmeticRows)
        {
            SCOPED_TRACE (testing::Message() << layout.name << ", " << row.what);
            Rig rig (layout.layout, kArithmeticRate);
            applySetting (rig, row);
            rig.processor.reset();

            const auto controls = deriveControls (rig.processor, kArithmeticRate);
            ExpectedChannel expected[2] = { { controls, kArithmeticRate, kBlock }, { controls, kArithmeticRate, kBlock } };

            for (int b = 0; b < kArithmeticBlocks; ++b)
            {
                const auto left = noise (kBlock, 300u + (uint32_t) b);
                const auto right = noise (kBlock, 700u + (uint32_t) b); // ignored without a second input
                const auto out = rig.process (left, right);
                ASSERT_EQ (out.getNumChannels(), layout.outputs);

                for (int ch = 0; ch < layout.outputs; ++ch)
                {
                    const auto& dry = ch == 1 && layout.rightInputHeard ? right : left;
                    const int at = firstDifference (out.getReadPointer (ch), expected[ch].process (dry));
                    ASSERT_EQ (at, -1) << "channel " << ch << ", block " << b << ", sample " << at << ": "
                                       << out.getSample (ch, juce::jmax (at, 0)) << " instead of "
                                       << expected[ch].out[(size_t) juce::jmax (at, 0)];
                }
            }

            // Without wet signal the rows would only check the dry path.
            for (int ch = 0; ch < layout.outputs; ++ch)
                EXPECT_EQ (expected[ch].wetHeard, row.send > 0.0f) << "channel " << ch;
        }
    }
}

// A host's reset must drop the recorded audio: with silent input afterwards
// nothing may sound, through segments, feedback and overlap, in every layout.
TEST (CallbackArithmetic, ResetSilencesWhatWasRecorded)
{
    for (const auto& layout : kLayouts)
    {
        SCOPED_TRACE (layout.name);
        Rig cleared (layout.layout, kArithmeticRate), kept (layout.layout, kArithmeticRate);
        for (auto* rig : { &cleared, &kept })
        {
            applySetting (*rig, { "loud tail", 100.0f, 100.0f, 100.0f, 50.0f, 90.0f, 100.0f });
            for (int b = 0; b < kArithmeticBlocks; ++b)
                rig->process (noise (kBlock, 40u + (uint32_t) b), noise (kBlock, 90u + (uint32_t) b));
        }
        cleared.processor.reset();

        bool keptSounds = false;
        for (int b = 0; b < kArithmeticBlocks; ++b)
        {
            const auto silent = cleared.processSilence();
            for (int ch = 0; ch < layout.outputs; ++ch)
                for (int i = 0; i < kBlock; ++i)
                    ASSERT_EQ (silent.getSample (ch, i), 0.0f) << "channel " << ch << ", block " << b << ", sample " << i;

            // The same history without the reset still plays its tail: the check above can fail.
            const auto tail = kept.processSilence();
            keptSounds = keptSounds || tail.getMagnitude (0, kBlock) > 0.0f;
        }
        EXPECT_TRUE (keptSounds);
    }
}

//==============================================================================
TEST (CallbackHostPosition, WithoutPositionTheTempoIs120AndNothingRealigns)
{
    Rig rig;
    rig.set (kParameter_TimeN, 1.0f); // a quarter note: 24000 samples at 120 BPM
    rig.set (kParameter_TimeD, 4.0f);

    for (int variant = 0; variant < 2; ++variant)
    {
        SCOPED_TRACE (variant == 0 ? "no play head" : "play head without a position");
        if (variant == 1)
        {
            rig.usePlayHead();
            rig.playHead.position = juce::nullopt;
        }
        rig.processor.hostBpm.store (77.0f);
        rig.displacePhase (23900.0);
        rig.processSilence();
        EXPECT_EQ (rig.processor.hostBpm.load(), 120.0f);
        EXPECT_DOUBLE_EQ (rig.phase(), 23900.0 + kBlock - 24000.0) << "a 120 BPM segment ended in the block";
        EXPECT_TRUE (rig.processor.needsResync);
        EXPECT_FALSE (rig.processor.wasPlaying);
        EXPECT_EQ (rig.processor.lastSegmentLength, 0.0);
    }
}

TEST (CallbackHostPosition, StoppedTransportSetsTheTempoButNotTheSyncState)
{
    Rig rig;
    rig.usePlayHead();
    rig.set (kParameter_TimeN, 1.0f);
    rig.set (kParameter_TimeD, 4.0f);
    rig.playHead.setTransport (90.0, 123456, false); // a quarter note is 32000 samples

    rig.displacePhase (31900.0);
    rig.processSilence();
    EXPECT_EQ (rig.processor.hostBpm.load(), 90.0f);
    EXPECT_DOUBLE_EQ (rig.phase(), 31900.0 + kBlock - 32000.0);
    EXPECT_FALSE (rig.processor.wasPlaying);
    EXPECT_EQ (rig.processor.lastBpm, 0.0);
    EXPECT_EQ (rig.processor.lastTimeInSamples, 0.0);
}

TEST (CallbackHostPosition, SegmentLengthUsesTheSinglePrecisionRatioAndTempo)
{
    Rig rig;
    rig.usePlayHead();
    rig.set (kParameter_TimeN, 3.0f);
    rig.set (kParameter_TimeD, 7.0f);
    rig.playHead.setTransport (133.3, 0, true);
    rig.processSilence();

    EXPECT_EQ (rig.processor.hostBpm.load(), (float) 133.3);
    EXPECT_EQ (rig.processor.lastBpm, 133.3);
    EXPECT_EQ (rig.processor.lastSegmentLength, (double) (3.0f / 7.0f) * 240.0 * kRate / (double) (float) 133.3);
}

TEST (CallbackHostPosition, MissingFieldsReadAsZeroAndTempo120)
{
    Rig rig;
    rig.usePlayHead();
    Position p;
    p.setIsPlaying (true);
    rig.playHead.position = p;

    // No bar, no quarter notes: the bar position is 0.
    rig.displacePhase (5000.0);
    rig.processSilence();
    EXPECT_EQ (rig.processor.hostBpm.load(), 120.0f);
    EXPECT_EQ (rig.processor.lastBpm, 120.0);
    EXPECT_DOUBLE_EQ (rig.phase(), (double) kBlock);

    // Without a sample position every block looks like a jump back to 0.
    rig.displacePhase (5000.0);
    rig.processSilence();
    EXPECT_DOUBLE_EQ (rig.phase(), (double) kBlock);

    // Two and a half quarter notes past a missing bar start: 60000 samples into a 4/4 segment.
    p.setPpqPosition (2.5);
    rig.playHead.position = p;
    rig.processSilence();
    EXPECT_DOUBLE_EQ (rig.phase(), 60000.0 + kBlock);
}

//==============================================================================
TEST (CallbackTempoSync, FirstPlayingBlockAlwaysRealigns)
{
    Rig rig;
    rig.usePlayHead();
    rig.set (kParameter_TimeN, 1.0f);
    rig.set (kParameter_TimeD, 4.0f);

    // Stopped blocks first: they never re-align.
    rig.playHead.setTransport (120.0, 30000, false);
    for (int b = 0; b < 3; ++b)
        rig.processSilence();
    EXPECT_DOUBLE_EQ (rig.phase(), 3.0 * kBlock);

    // 30000 samples are 1.25 quarter notes into the bar: 6000 into a quarter-note segment.
    rig.playHead.setTransport (120.0, 30000, true);
    rig.processSilence();
    EXPECT_NEAR (rig.phase(), 6000.0 + kBlock, 1.0e-6);
    EXPECT_NEAR (rig.processor.reverser.right.phase, 6000.0 + kBlock, 1.0e-6);
    EXPECT_FALSE (rig.processor.needsResync);
    EXPECT_TRUE (rig.processor.wasPlaying);
    EXPECT_EQ (rig.processor.lastTimeInSamples, 30000.0);
    EXPECT_EQ (rig.processor.lastSegmentLength, 24000.0);
}

TEST (CallbackTempoSync, JumpsOfMoreThanOneSampleRealign)
{
    Rig rig;
    rig.usePlayHead();
    rig.set (kParameter_TimeN, 1.0f);
    rig.set (kParameter_TimeD, 4.0f);
    int64_t t = 30000;
    rig.playHead.setTransport (120.0, t, true);
    rig.processSilence();

    struct Case
    {
        int64_t jump;
        bool realigns;
    };
    for (const Case c : { Case { 0, false }, Case { 1, false }, Case { -1, false }, Case { 2, true },
                          Case { -2, true }, Case { 1000, true }, Case { -20000, true } })
    {
        SCOPED_TRACE (c.jump);
        t += kBlock + c.jump;
        rig.playHead.setTransport (120.0, t, true);
        rig.displacePhase (2000.0);
        rig.processSilence();
        // Quarter-note segments repeat four times a bar: the bar position modulo one quarter.
        const double onGrid = std::fmod ((double) t, 24000.0);
        EXPECT_NEAR (rig.phase(), (c.realigns ? onGrid : 2000.0) + kBlock, 1.0e-6);
    }
}

TEST (CallbackTempoSync, BlockLengthChangesRealignWhenTheyLookLikeAJump)
{
    // The expected position is this block's length after the last one, so a
    // contiguous block that is more than one sample shorter or longer than
    // the last counts as a jump.
    Rig rig;
    rig.usePlayHead();
    rig.set (kParameter_TimeN, 1.0f);
    rig.set (kParameter_TimeD, 4.0f);
    int64_t t = 0;
    int lastLength = kBlock;
    rig.playHead.setTransport (120.0, t, true);
    rig.processSilence (lastLength);

    struct Case
    {
        int length;
        bool realigns;
    };
    for (const Case c : { Case { 512, false }, Case { 511, false }, Case { 512, false }, Case { 256, true },
                          Case { 256, false }, Case { 258, true }, Case { 259, false } })
    {
        SCOPED_TRACE (c.length);
        t += lastLength;
        lastLength = c.length;
        rig.playHead.setTransport (120.0, t, true);
        rig.displacePhase (3000.0);
        rig.processSilence (c.length);
        EXPECT_NEAR (rig.phase(), (c.realigns ? std::fmod ((double) t, 24000.0) : 3000.0) + c.length, 1.0e-6);
    }
}

TEST (CallbackTempoSync, TempoAndTimeChangesRealignInTheSameBlock)
{
    Rig rig;
    rig.usePlayHead();
    rig.set (kParameter_TimeN, 1.0f);
    rig.set (kParameter_TimeD, 4.0f);
    rig.playHead.setTransport (120.0, 0, true);
    rig.processSilence();

    // 100 BPM: a quarter note is 28800 samples and position 512 is 0.0177... quarter notes in.
    rig.playHead.setTransport (100.0, kBlock, true);
    rig.displacePhase (9000.0);
    rig.processSilence();
    EXPECT_EQ (rig.processor.lastSegmentLength, 28800.0);
    EXPECT_NEAR (rig.phase(), 2.0 * kBlock, 1.0e-6);

    // Same tempo, new Time: 3/8 at 100 BPM is 43200 samples.
    rig.set (kParameter_TimeN, 3.0f);
    rig.set (kParameter_TimeD, 8.0f);
    rig.playHead.setTransport (100.0, 2 * kBlock, true);
    rig.displacePhase (9000.0);
    rig.processSilence();
    EXPECT_EQ (rig.processor.lastSegmentLength, 43200.0);
    EXPECT_NEAR (rig.phase(), 3.0 * kBlock, 1.0e-6);

    // Nothing changed: no re-alignment.
    rig.playHead.setTransport (100.0, 3 * kBlock, true);
    rig.displacePhase (9000.0);
    rig.processSilence();
    EXPECT_NEAR (rig.phase(), 9000.0 + kBlock, 1.0e-6);
}

TEST (CallbackTempoSync, ResumingWhereTheTransportStoppedDoesNotRealign)
{
    Rig rig;
    rig.usePlayHead();
    rig.set (kParameter_TimeN, 1.0f);
    rig.set (kParameter_TimeD, 4.0f);
    int64_t t = 48000;
    for (int b = 0; b < 4; ++b, t += kBlock)
    {
        rig.playHead.setTransport (120.0, t, true);
        rig.processSilence();
    }
    const double lastTime = rig.processor.lastTimeInSamples;

    // Stopped at the next position: the sync state does not move, even with a new tempo shown.
    rig.playHead.setTransport (140.0, t, false);
    for (int b = 0; b < 5; ++b)
        rig.processSilence();
    EXPECT_EQ (rig.processor.lastTimeInSamples, lastTime);
    EXPECT_EQ (rig.processor.lastBpm, 120.0);

    rig.playHead.setTransport (120.0, t, true);
    rig.displacePhase (7000.0);
    rig.processSilence();
    EXPECT_NEAR (rig.phase(), 7000.0 + kBlock, 1.0e-6);

    // Resuming somewhere else re-aligns.
    t += 5 * kBlock;
    rig.playHead.setTransport (120.0, t, false);
    rig.processSilence();
    rig.playHead.setTransport (120.0, t + 48000, true);
    rig.displacePhase (7000.0);
    rig.processSilence();
    EXPECT_NEAR (rig.phase(), std::fmod ((double) (t + 48000), 24000.0) + kBlock, 1.0e-6);
}

//==============================================================================
TEST (CallbackHostileHost, EmptyBlockChangesNothing)
{
    Rig rig;
    rig.usePlayHead();
    rig.playHead.setTransport (120.0, 0, false);
    const auto input = noise (kBlock, 3);
    for (int b = 0; b < 12; ++b)
        rig.process (input, input);
    rig.processor.waveformLevel.store (0.375f);

    const auto& engine = rig.processor.reverser.left;
    const double phase = engine.phase;
    const int32_t writeIndex = engine.writeIndex;
    const float mix = rig.processor.mixSmoother.current;
    const float followerValue = rig.processor.levelFollower.value;
    const float followerCounter = rig.processor.levelFollower.counter;

    const auto out = rig.process (nullptr, nullptr, 0);
    EXPECT_EQ (out.getNumSamples(), 0);
    EXPECT_EQ (engine.phase, phase);
    EXPECT_EQ (engine.writeIndex, writeIndex);
    EXPECT_EQ (rig.processor.mixSmoother.current, mix);
    EXPECT_EQ (rig.processor.levelFollower.value, followerValue);
    EXPECT_EQ (rig.processor.levelFollower.counter, followerCounter);
    EXPECT_EQ (rig.processor.waveformLevel.load(), 0.375f);
}

TEST (CallbackHostileHost, BadTempoAndBarPositionsFinishWithFiniteOutput)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    struct Case
    {
        const char* what;
        double bpm, ppq, barStart;
    };
    const Case cases[] = {
        { "tempo NaN", nan, 5.0, 4.0 },
        { "tempo 0", 0.0, 5.0, 4.0 },
        { "tempo negative", -120.0, 5.0, 4.0 },
        { "tempo +inf", inf, 5.0, 4.0 },
        { "tempo -inf", -inf, 5.0, 4.0 },
        { "tempo below float range", 1.0e-300, 5.0, 4.0 },
        { "tempo above float range", 1.0e300, 5.0, 4.0 },
        { "tempo huge", 3.0e38, 5.0, 4.0 },
        { "position NaN", 120.0, nan, 4.0 },
        { "bar start NaN", 120.0, 5.0, nan },
        { "position +inf", 120.0, inf, 0.0 },
        { "position -inf", 120.0, -inf, 0.0 },
        { "position huge", 120.0, 1.0e300, 0.0 },
        { "position hugely negative", 120.0, -1.0e300, 0.0 },
        { "far before the bar", 120.0, -4.0e6, 0.0 },
        { "a thousand bars before the bar", 120.0, -4000.5, 0.0 },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        Rig rig;
        rig.usePlayHead();
        rig.set (kParameter_Overlap, 50.0f);
        rig.set (kParameter_Feedback, 80.0f);
        rig.set (kParameter_TimeN, 1.0f);
        rig.set (kParameter_TimeD, 16.0f);
        const auto input = noise (kBlock, 21);

        int64_t t = 0;
        rig.playHead.setTransport (120.0, t, true);
        for (int b = 0; b < 20; ++b, t += kBlock)
        {
            rig.playHead.setTransport (120.0, t, true);
            rig.process (input, input);
        }

        Position p;
        p.setBpm (c.bpm);
        p.setPpqPosition (c.ppq);
        p.setPpqPositionOfLastBarStart (c.barStart);
        for (const bool playing : { true, true, false, true })
        {
            p.setTimeInSamples (t);
            p.setIsPlaying (playing);
            rig.playHead.position = p;
            const auto out = rig.process (input, input);
            ASSERT_TRUE (allFinite (out));
            t += kBlock;
        }
        if (std::isnan (c.bpm))
            EXPECT_TRUE (std::isnan (rig.processor.hostBpm.load()));
        else
            EXPECT_EQ (rig.processor.hostBpm.load(), (float) c.bpm);

        const double phase = rig.phase();
        EXPECT_TRUE (std::isfinite (phase));
        if (std::isfinite (c.ppq) && std::isfinite (c.barStart) && c.bpm == 120.0)
        {
            EXPECT_GE (phase, 0.0);
            EXPECT_LT (phase, 6000.0) << "re-aligned into the grid";
        }

        // Back to a sane host, somewhere else: the grid lines up with the bar again.
        t += 10 * kBlock;
        rig.playHead.setTransport (120.0, t, true);
        const auto out = rig.process (input, input);
        ASSERT_TRUE (allFinite (out));
        EXPECT_NEAR (rig.phase(), std::fmod ((double) t, 6000.0) + kBlock, 1.0e-6);
    }
}

TEST (CallbackHostileHost, HugeTempoDeepIntoALongSegmentStaysFinite)
{
    // Several seconds into a long segment, a tempo near the top of the float
    // range makes the segment length so small that the progress through it
    // overflows single precision. Stopped, so nothing re-aligns the phase.
    Rig rig;
    rig.usePlayHead();
    rig.set (kParameter_TimeN, 16.0f);
    rig.set (kParameter_TimeD, 1.0f);
    const auto input = noise (kBlock, 8);
    rig.playHead.setTransport (120.0, 0, false);
    rig.process (input, input);
    rig.displacePhase (1.5e6); // 31 s into a 32-second segment

    // 1/32 at 3e38 BPM: 1.2e-33 samples per segment, progress 1.25e39.
    rig.set (kParameter_TimeN, 1.0f);
    rig.set (kParameter_TimeD, 32.0f);
    rig.playHead.setTransport (3.0e38, 0, false);
    for (int b = 0; b < 4; ++b)
        ASSERT_TRUE (allFinite (rig.process (input, input))) << "block " << b;

    rig.playHead.setTransport (120.0, 0, false);
    for (int b = 0; b < 4; ++b)
        ASSERT_TRUE (allFinite (rig.process (input, input))) << "block " << b;
}
