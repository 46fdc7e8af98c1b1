// The reverse-segment engine on its own: segment grid, bar re-alignment,
// curve shapes, what each head reads and when, and the far-out positions a
// shrinking segment can produce.

#include <gtest/gtest.h>

#include "Reverser.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

namespace
{
using namespace reverser_detail;

// At 100 Hz the 64-second buffer is 6400 samples, small enough to walk through.
constexpr double kRate = 100.0;
constexpr int kBufferLength = 6400;

// A single channel on its own. Inside Reverser the stereo engine releases
// the channel buffers; here the test releases its own.
struct Engine final : ReverserMono
{
    Engine() = default;
    ~Engine() { release(); }
};

struct Controls
{
    int curve = kNaturalPlus;
    float intensity = 0.0f;
    float overlap = 0.0f;
    float feedback = 0.0f;
};

void run (ReverserMono& engine, const float* input, float* output, int numSamples, double segmentLength,
          const Controls& c = {})
{
    const auto size = (size_t) (numSamples > 0 ? numSamples : 0);
    std::vector<float> overlap (size, c.overlap), feedback (size, c.feedback), intensity (size, c.intensity);
    engine.processBlock (input, segmentLength, overlap.data(), feedback.data(), c.curve, intensity.data(), output,
                         numSamples);
}

std::vector<float> run (ReverserMono& engine, const std::vector<float>& input, double segmentLength,
                        const Controls& c = {})
{
    std::vector<float> output (input.size(), -99.0f);
    run (engine, input.data(), output.data(), (int) input.size(), segmentLength, c);
    return output;
}

void advance (ReverserMono& engine, int numSamples, double segmentLength)
{
    run (engine, std::vector<float> ((size_t) numSamples, 0.0f), segmentLength);
}

// Deterministic noise in -1..1 that is never exactly zero.
std::vector<float> noise (int numSamples, uint32_t seed = 1)
{
    std::vector<float> v ((size_t) numSamples);
    for (auto& x : v)
    {
        seed = seed * 1664525u + 1013904223u;
        x = (float) ((seed >> 8) + 1) / 8388608.0f - 1.0f;
        if (x == 0.0f)
            x = 0.25f;
    }
    return v;
}

std::vector<float> impulse (int numSamples, int at, float value = 1.0f)
{
    std::vector<float> v ((size_t) numSamples, 0.0f);
    v[(size_t) at] = value;
    return v;
}

bool sameBits (const float* a, const float* b, int n)
{
    return std::memcmp (a, b, sizeof (float) * (size_t) n) == 0;
}

// Steps one sample at a time and returns, for every segment end, the sample
// index at which it happened and the phase the next segment starts with.
struct SegmentEnds
{
    std::vector<int> at;
    std::vector<double> startPhase;
};

SegmentEnds walkSegments (ReverserMono& engine, double segmentLength, int numSamples)
{
    SegmentEnds ends;
    double lastStart = engine.segmentStart;
    for (int i = 0; i < numSamples; ++i)
    {
        const int32_t written = engine.writeIndex;
        advance (engine, 1, segmentLength);
        if (engine.segmentStart != lastStart)
        {
            EXPECT_EQ (engine.segmentStart, (double) written) << "segment start must be the sample just recorded";
            ends.at.push_back (i);
            ends.startPhase.push_back (engine.phase);
            lastStart = engine.segmentStart;
        }
    }
    return ends;
}
} // namespace

//==============================================================================
TEST (EngineSegmentGrid, WholeLengthGivesSegmentsOfExactlyThatManySamples)
{
    Engine engine;
    engine.prepare (kRate);

    const auto ends = walkSegments (engine, 100.0, 1000);
    ASSERT_EQ (ends.at.size(), 10u);
    for (size_t s = 0; s < ends.at.size(); ++s)
    {
        EXPECT_EQ (ends.at[s], 99 + 100 * (int) s);
        EXPECT_EQ (ends.startPhase[s], 0.0);
    }
}

TEST (EngineSegmentGrid, FractionalLengthAlternatesLongAndShortSegments)
{
    Engine engine;
    engine.prepare (kRate);

    const auto ends = walkSegments (engine, 100.5, 2000);
    ASSERT_GE (ends.at.size(), 19u);

    // The first segment runs from phase 0 to 100 (101 samples), the next from 0.5 to 99.5 (100 samples).
    EXPECT_EQ (ends.at[0], 100);
    for (size_t s = 1; s < ends.at.size(); ++s)
        EXPECT_EQ (ends.at[s] - ends.at[s - 1], s % 2 == 1 ? 100 : 101) << "segment " << s;
    for (size_t s = 0; s < ends.startPhase.size(); ++s)
        EXPECT_EQ (ends.startPhase[s], s % 2 == 0 ? 0.5 : 0.0) << "segment " << s;
}

TEST (EngineSegmentGrid, LengthsBeyondTheBufferPlaySixtyFourSecondSegments)
{
    const double lengths[] = { std::numeric_limits<double>::infinity(), // host tempo 0
                               1.0e12,
                               (double) kBufferLength + 0.5,
                               std::numeric_limits<double>::quiet_NaN(),
                               // Not positive: the engine plays the whole buffer rather than a degenerate grid.
                               0.0,
                               -250.0,
                               -std::numeric_limits<double>::infinity() };

    for (const double length : lengths)
    {
        SCOPED_TRACE (length);
        Engine engine;
        engine.prepare (kRate);
        ASSERT_EQ (engine.bufferLength, kBufferLength);

        const auto out = run (engine, noise (kBufferLength - 1), length);
        EXPECT_EQ (engine.segmentStart, 0.0);
        EXPECT_EQ (engine.phase, (double) (kBufferLength - 1));
        for (float x : out)
            ASSERT_TRUE (std::isfinite (x));

        advance (engine, 1, length);
        EXPECT_EQ (engine.phase, 0.0);
        EXPECT_EQ (engine.segmentStart, (double) (kBufferLength - 1));
        EXPECT_EQ (engine.writeIndex, 0) << "the write position wraps with the segment";
    }
}

TEST (EngineSegmentGrid, EmptyBlockTouchesNothing)
{
    Engine engine;
    engine.prepare (kRate);
    run (engine, noise (250), 100.0, { kBiCubic, 1.0f, 0.5f, 0.5f });
    engine.resyncPending = true;
    engine.resyncPosition = 70.0;
    const std::vector<float> recorded (engine.buffer, engine.buffer + kBufferLength);
    const double phase = engine.phase;

    float input[1] = { 1.0f }, output[1] = { 7.0f };
    run (engine, input, output, 0, 100.0);
    EXPECT_EQ (output[0], 7.0f);
    EXPECT_EQ (engine.phase, phase);
    EXPECT_EQ (engine.writeIndex, 250);
    EXPECT_TRUE (engine.resyncPending) << "the waiting re-alignment stays for the next real block";
    EXPECT_EQ (engine.resyncPosition, 70.0);
    EXPECT_TRUE (sameBits (engine.buffer, recorded.data(), kBufferLength));
}

//==============================================================================
TEST (EngineResync, MovesThePhaseOnlyWhenMoreThanSixteenSamplesOff)
{
    Engine engine;
    engine.prepare (kRate);
    advance (engine, 120, 100.0);
    ASSERT_EQ (engine.phase, 20.0);
    const double segmentStart = engine.segmentStart;

    struct Case
    {
        double request, phaseAfterOneSample;
    };
    // Each request is reduced modulo the segment length before it is compared.
    const Case cases[] = {
        { 236.0, 21.0 }, //  16.0 ahead: stays
        { 37.5, 38.5 },  //  16.5 ahead: moves
        { 22.5, 39.5 },  //  16.0 behind: stays
        { 23.0, 24.0 },  //  16.5 behind: moves
        { 24.0, 25.0 },  //  exactly on the grid already
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.request);
        engine.resyncPending = true;
        engine.resyncPosition = c.request;
        advance (engine, 1, 100.0);
        EXPECT_EQ (engine.phase, c.phaseAfterOneSample);
        EXPECT_FALSE (engine.resyncPending) << "consumed whether or not it moved";
        EXPECT_EQ (engine.resyncPosition, -1.0);
        EXPECT_EQ (engine.segmentStart, segmentStart);
    }
}

TEST (EngineResync, AppliesAtTheFirstSampleOfTheBlockAgainstTheBlocksLength)
{
    Engine engine;
    engine.prepare (kRate);
    advance (engine, 10, 100.5);

    engine.resyncPending = true;
    engine.resyncPosition = 250.25; // 250.25 mod 100.5 = 49.25
    advance (engine, 30, 100.5);
    EXPECT_EQ (engine.phase, 79.25);

    // The request is measured against the length of the block that consumes it.
    engine.resyncPending = true;
    engine.resyncPosition = 130.0;
    advance (engine, 5, 60.0); // 130 mod 60 = 10
    EXPECT_EQ (engine.phase, 15.0);
}

//==============================================================================
TEST (EngineCurves, NoIntensityIsAStraightLineForEveryCurve)
{
    const double progress[] = { 0.0, 1.0e-7, 0.01, 0.25, 0.30000001192092896, 0.35, 0.5, 0.65,
                                0.75, 0.7500001, 0.9, 0.99, 1.0, 1.7, 12.5 };
    const int curves[] = { -1, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 99 };

    for (const int curve : curves)
        for (const double u : progress)
        {
            const double q = warpedProgress (curve, u, 0.0f);
            if (curve == kSlidePlus)
            {
                EXPECT_NEAR (q, u, 1.0e-15) << "curve " << curve << " u " << u; // 1 - (1 - u) in double
            }
            else
            {
                EXPECT_EQ (q, u) << "curve " << curve << " u " << u;
            }
        }
}

TEST (EngineCurves, SlidesBendOnlyBeyondTheJoint)
{
    double previousMinus = -1.0, previousPlus = -1.0;
    for (int k = 0; k <= 1000; ++k)
    {
        const double u = k / 1000.0;
        const double minus = warpedProgress (kSlideMinus, u, 1.0f);
        const double plus = warpedProgress (kSlidePlus, u, 1.0f);

        if (u <= 0.75)
        {
            EXPECT_EQ (minus, u) << u;
        }
        if (u >= 0.25)
        {
            EXPECT_NEAR (plus, u, 1.0e-15) << u;
        }

        EXPECT_GT (minus, previousMinus) << u;
        EXPECT_GT (plus, previousPlus) << u;
        previousMinus = minus;
        previousPlus = plus;
    }

    // Both branches meet at the joint.
    EXPECT_NEAR (warpedProgress (kSlideMinus, 0.75 + 1.0e-9, 1.0f), 0.75, 1.0e-6);
    EXPECT_NEAR (warpedProgress (kSlidePlus, 0.25 - 1.0e-9, 1.0f), 0.25, 1.0e-6);

    // Head A stops short of the oldest sample; the rising slide starts part-way in.
    EXPECT_NEAR (warpedProgress (kSlideMinus, 0.999999, 1.0f), 0.845, 5.0e-4);
    EXPECT_LT (warpedProgress (kSlideMinus, 1.0, 1.0f), 0.85);
    EXPECT_NEAR (warpedProgress (kSlidePlus, 1.0e-9, 1.0f), 0.155, 5.0e-4);
    EXPECT_GT (warpedProgress (kSlidePlus, 0.0, 1.0f), 0.15);

    // Half intensity lands halfway between the line and the slide.
    const double full = warpedProgress (kSlideMinus, 0.95, 1.0f);
    EXPECT_NEAR (warpedProgress (kSlideMinus, 0.95, 0.5f), 0.5 * (full + 0.95), 1.0e-7);
}

//==============================================================================
TEST (EngineHeads, FirstSegmentAfterPrepareOrClearIsSilentWithoutOverlap)
{
    // Up to half the buffer, the first segment's heads read only never-written samples.
    constexpr int length = kBufferLength / 2;
    auto input = noise (length, 11);
    input[0] = 0.0f;
    const Controls controls { kNaturalPlus, 0.0f, 0.0f, 1.0f };

    Engine engine;
    engine.prepare (kRate);
    for (int pass = 0; pass < 2; ++pass)
    {
        SCOPED_TRACE (pass == 0 ? "after prepare" : "after clear");
        const auto out = run (engine, input, (double) length, controls);
        for (int i = 0; i < length; ++i)
            ASSERT_EQ (out[(size_t) i], 0.0f) << "sample " << i;
        // Full feedback, yet the recording is exactly the input: the tap read zeros.
        EXPECT_TRUE (sameBits (engine.buffer, input.data(), length));

        run (engine, noise (700, 5), (double) length, controls);
        engine.clear();
    }

    // The one exception: at the very first sample the segment start is the
    // write position itself, so the tap's first read is the sample just
    // recorded and it comes back into the second.
    engine.clear();
    float in[2] = { 0.5f, 0.25f }, out[2];
    run (engine, in, out, 2, 100.0, controls);
    EXPECT_EQ (engine.buffer[1], 0.75f);
}

TEST (EngineHeads, AnImpulseComesBackMirroredInTheNextSegment)
{
    // With L = 100, segment n records samples 100n .. 100n + 99. During segment
    // n + 1 head A starts at the last of them and walks back one sample per
    // sample, so offset k comes back at offset 99 - k.
    for (const int segment : { 0, 1, 3 })
        for (const int k : { 5, 30, 50, 94 })
        {
            SCOPED_TRACE (testing::Message() << "segment " << segment << " offset " << k);
            const int length = 100 * (segment + 3);
            Engine engine;
            engine.prepare (kRate);
            const auto out = run (engine, impulse (length, 100 * segment + k), 100.0);

            const int heard = 100 * (segment + 1) + 99 - k;
            for (int i = 0; i < length; ++i)
                ASSERT_EQ (out[(size_t) i], i == heard ? 1.0f : 0.0f) << "sample " << i;
        }
}

TEST (EngineHeads, HeadAPlaysThePreviousSegmentBackwardsAtConstantSpeed)
{
    const auto input = noise (800, 4);
    Engine engine;
    engine.prepare (kRate);
    const auto out = run (engine, input, 100.0);

    // Away from the 1 % fades the gain is exactly 1 and the read positions are
    // whole samples, up to the double rounding of u x L (which can leave a
    // fraction within 1e-13 of the next sample).
    for (int segment = 1; segment < 8; ++segment)
        for (int j = 2; j <= 98; ++j)
        {
            const int at = 100 * segment + j;
            ASSERT_NEAR (out[(size_t) at], input[(size_t) (100 * segment - 1 - j)], 1.0e-6f) << "sample " << at;
        }

    // The fade-in starts from silence at each segment's first sample.
    for (int segment = 1; segment < 8; ++segment)
        EXPECT_EQ (out[(size_t) (100 * segment)], 0.0f);
}

TEST (EngineHeads, FeedbackEchoesEachPassOneSegmentLater)
{
    // The tap reads offset k of segment 0 while segment 1 is at offset 99 - k;
    // the read is recorded one sample later, at offset 100 - k, and head A
    // plays it in segment 2 at offset k - 1. Each pass halves it.
    constexpr int k = 30;
    Engine engine;
    engine.prepare (kRate);
    const auto out = run (engine, impulse (400, k), 100.0, { kNaturalPlus, 0.0f, 0.0f, 0.5f });

    for (int i = 0; i < 400; ++i)
    {
        float expected = 0.0f;
        if (i == 199 - k)
            expected = 1.0f;
        else if (i == 200 + k - 1)
            expected = 0.5f;
        else if (i == 300 + 99 - k) // the echo's echo, recorded at offset k of segment 2
            expected = 0.25f;
        ASSERT_EQ (out[(size_t) i], expected) << "sample " << i;
    }
    EXPECT_EQ (engine.buffer[170], 0.5f);
    EXPECT_EQ (engine.buffer[230], 0.25f);
    EXPECT_EQ (engine.buffer[370], 0.125f);
}

TEST (EngineHeads, HeadBOnlySoundsInTheOverlapAtTheSegmentEnd)
{
    const auto input = noise (600, 8);
    Engine withoutOverlap, withOverlap;
    withoutOverlap.prepare (kRate);
    withOverlap.prepare (kRate);
    const auto a = run (withoutOverlap, input, 100.0, { kNaturalPlus, 0.0f, 0.0f, 0.0f });
    const auto b = run (withOverlap, input, 100.0, { kNaturalPlus, 0.0f, 0.5f, 0.0f });

    // Overlap 0.5 starts head B three quarters into each segment.
    for (int i = 0; i < 600; ++i)
    {
        const int offset = i % 100;
        if (offset <= 75)
            ASSERT_EQ (a[(size_t) i], b[(size_t) i]) << "sample " << i;
        else
            ASSERT_NE (a[(size_t) i], b[(size_t) i]) << "sample " << i;
    }

    // Overlap 0: the end of every segment is head A alone.
    for (int segment = 1; segment < 6; ++segment)
        for (int j = 76; j <= 98; ++j)
            ASSERT_NEAR (a[(size_t) (100 * segment + j)], input[(size_t) (100 * segment - 1 - j)], 1.0e-6f);

    // Head B reads the start of the segment being recorded: at full overlap it
    // rises from the middle of the very first segment, at offset j reading offset 100 - j.
    Engine fullOverlap;
    fullOverlap.prepare (kRate);
    const auto c = run (fullOverlap, input, 100.0, { kNaturalPlus, 0.0f, 1.0f, 0.0f });
    for (int j = 0; j <= 50; ++j)
        EXPECT_EQ (c[(size_t) j], 0.0f) << j;
    for (int j = 51; j <= 98; ++j)
    {
        const float uf = (float) (j * 0.01);
        const float gain = std::min (1.0f, 2.0f * (uf - 0.5f) / 1.0f);
        // (1 - u) x 100 is not always a whole number in double: allow the interpolation's rounding.
        EXPECT_NEAR (c[(size_t) j], gain * input[(size_t) (100 - j)], 1.0e-6f) << j;
    }
}

//==============================================================================
TEST (EngineFarOut, ShrinkingSegmentNeverReadsOutsideTheBuffer)
{
    // A long segment is cut to a few samples with the phase near its end: u
    // climbs into the hundreds, and the steep curves put head A millions of
    // samples away. Run under AddressSanitizer this proves every read stays in the buffer.
    const double shortLengths[] = { 3.0, 0.75, 1.0e-6, 1.0e-30, 1.0e-36 };

    for (int curve = 0; curve < kNumCurves; ++curve)
        for (const double shortLength : shortLengths)
        {
            SCOPED_TRACE (testing::Message() << "curve " << curve << " length " << shortLength);
            const Controls controls { curve, 1.0f, 1.0f, 1.0f };
            Engine engine;
            engine.prepare (kRate);
            run (engine, noise (6000, (uint32_t) curve + 1), 6399.0, controls);
            ASSERT_EQ (engine.phase, 6000.0);

            const auto out = run (engine, noise (3000, 99), shortLength, controls);
            for (size_t i = 0; i < out.size(); ++i)
                ASSERT_TRUE (std::isfinite (out[i])) << "sample " << i << " = " << out[i];
            EXPECT_TRUE (std::isfinite (engine.feedbackSample));
            EXPECT_TRUE (std::isfinite (engine.phase));
            // Each sample subtracts the length once after advancing by one, so
            // only a length of at least one sample brings the phase back down.
            if (shortLength >= 1.0)
            {
                EXPECT_LT (engine.phase, shortLength) << "the phase comes back below the new length";
            }
        }
}

TEST (EngineFarOut, PhaseAboveANewShorterLengthDropsByLengthMinusOnePerSample)
{
    Engine engine;
    engine.prepare (kRate);
    advance (engine, 6000, 6399.0);

    float in = 0.0f, out = 0.0f;
    run (engine, &in, &out, 1, 3.0, { kQuadraticPlus, 1.0f, 0.0f, 0.0f });
    EXPECT_EQ (engine.phase, 5998.0);
    EXPECT_EQ (engine.segmentStart, 6000.0) << "the newest sample starts each of these one-sample segments";

    run (engine, &in, &out, 1, 3.0, { kQuadraticPlus, 1.0f, 0.0f, 0.0f });
    EXPECT_EQ (engine.phase, 5996.0);
    EXPECT_EQ (engine.segmentStart, 6001.0);

    // Head B is silent while u > 1: with overlap at its maximum the output is still head A alone.
    Engine a, b;
    a.prepare (kRate);
    b.prepare (kRate);
    const auto input = noise (6000, 12);
    run (a, input, 6399.0);
    run (b, input, 6399.0);
    const auto tail = noise (500, 13);
    const auto outA = run (a, tail, 10.0, { kBiCubic, 1.0f, 0.0f, 0.0f });
    const auto outB = run (b, tail, 10.0, { kBiCubic, 1.0f, 1.0f, 0.0f });
    // The phase falls from 6000 by 9 per sample: above the new length throughout.
    for (int i = 0; i < 500; ++i)
        ASSERT_EQ (outA[(size_t) i], outB[(size_t) i]) << i;
}

//==============================================================================
TEST (EngineLifecycle, PrepareAndClearManageTheBuffer)
{
    Engine engine;
    EXPECT_EQ (engine.buffer, nullptr);
    EXPECT_EQ (engine.bufferLength, 0);

    engine.prepare (kRate);
    ASSERT_NE (engine.buffer, nullptr);
    EXPECT_EQ (engine.sampleRate, kRate);
    EXPECT_EQ (engine.bufferLength, kBufferLength);
    EXPECT_EQ (engine.resyncPosition, -1.0);

    run (engine, noise (777), 100.5, { kWavy6, 1.0f, 0.3f, 0.9f });
    engine.resyncPending = true;
    engine.resyncPosition = 12.0;

    float* const allocation = engine.buffer;
    engine.clear();
    EXPECT_EQ (engine.buffer, allocation) << "clear keeps the allocation";
    EXPECT_EQ (engine.bufferLength, kBufferLength);
    EXPECT_EQ (engine.sampleRate, kRate);
    EXPECT_EQ (engine.writeIndex, 0);
    EXPECT_EQ (engine.phase, 0.0);
    EXPECT_EQ (engine.segmentStart, 0.0);
    EXPECT_FALSE (engine.resyncPending);
    EXPECT_EQ (engine.resyncPosition, -1.0);
    EXPECT_EQ (engine.feedbackSample, 0.0f);
    for (int i = 0; i < kBufferLength; ++i)
        ASSERT_EQ (engine.buffer[i], 0.0f);

    // A second prepare replaces the buffer with one sized for the new rate, zeroed.
    run (engine, noise (300), 100.0);
    engine.prepare (2.0 * kRate);
    ASSERT_NE (engine.buffer, nullptr);
    EXPECT_EQ (engine.bufferLength, 2 * kBufferLength);
    for (int i = 0; i < 2 * kBufferLength; ++i)
        ASSERT_EQ (engine.buffer[i], 0.0f);
    engine.prepare (2.0 * kRate);
    EXPECT_EQ (engine.bufferLength, 2 * kBufferLength);
    EXPECT_EQ (engine.writeIndex, 0);

    // 64 seconds, truncated.
    engine.prepare (44100.0);
    EXPECT_EQ (engine.bufferLength, 2822400);
    engine.prepare (22050.7);
    EXPECT_EQ (engine.bufferLength, (int32_t) (64.0 * 22050.7));
}

TEST (EngineLifecycle, StereoEnginePreparesAndClearsBothChannels)
{
    Reverser reverser;
    reverser.prepare (kRate);
    EXPECT_EQ (reverser.sampleRate, kRate);
    for (auto* channel : { &reverser.left, &reverser.right })
    {
        ASSERT_NE (channel->buffer, nullptr);
        EXPECT_EQ (channel->bufferLength, kBufferLength);
        run (*channel, noise (150), 100.0);
        channel->resyncPending = true;
    }
    EXPECT_NE (reverser.left.buffer, reverser.right.buffer);

    reverser.clear();
    for (auto* channel : { &reverser.left, &reverser.right })
    {
        EXPECT_EQ (channel->writeIndex, 0);
        EXPECT_FALSE (channel->resyncPending);
        EXPECT_EQ (channel->buffer[100], 0.0f);
        EXPECT_EQ (channel->bufferLength, kBufferLength);
    }
}
