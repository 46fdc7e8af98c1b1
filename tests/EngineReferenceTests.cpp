// Bit-exactness guard for the reverse-segment engine.
//
// ReverserMono and Reverser's two-channel pass are tuned for speed (chunked
// head computations, four-lane interpolation, paired reads). PlainEngine.h
// holds a deliberately plain, sample-by-sample version of the same algorithm,
// written step by step with no shortcuts; this file checks that both produce
// the same bits for every output sample and every state field over long
// randomised runs.
// The level follower gets the same treatment.

#include <gtest/gtest.h>

#include "ControlSignals.h"
#include "PlainEngine.h"
#include "Reverser.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

namespace
{
using vorn::test::PlainEngine;

//==============================================================================
uint32_t bitsOf (float f)
{
    uint32_t b;
    std::memcpy (&b, &f, sizeof b);
    return b;
}

uint64_t bitsOf (double d)
{
    uint64_t b;
    std::memcpy (&b, &d, sizeof b);
    return b;
}

// Random but reproducible driving signals: audio with exact zeros and sign
// changes, control values that hit 0 and 1 exactly, hold, jump and glide.
class Driver
{
public:
    explicit Driver (uint32_t seed) : rng (seed) {}

    float audio()
    {
        const float r = uniform (-1.0f, 1.0f);
        return chance (0.03) ? 0.0f : r;
    }

    // Fills a control buffer: constant, a glide, or fresh values per sample.
    void control (std::vector<float>& v, int n, float& state)
    {
        const int mode = pick (4);
        for (int i = 0; i < n; ++i)
        {
            if (mode == 0)
                v[(size_t) i] = state;
            else if (mode == 1)
                v[(size_t) i] = state = state + (target - state) * 0.02f;
            else if (mode == 2)
                v[(size_t) i] = state = edgeValue();
            else
                v[(size_t) i] = state = uniform (0.0f, 1.0f);
        }
        target = edgeValue();
    }

    double segmentLength (int32_t bufferLength)
    {
        switch (pick (11))
        {
            case 10:
            {
                // Shorter than a sample, down to where u overflows single precision.
                static constexpr double tiny[] = { 3.0, 0.75, 1.0e-6, 1.0e-30, 1.0e-36 };
                return tiny[pick (5)];
            }
            case 0: return std::numeric_limits<double>::infinity();
            case 1: return std::numeric_limits<double>::quiet_NaN();
            case 2: return (double) bufferLength * uniform (1.0f, 3.0f); // longer than the buffer
            case 3: return (double) (20 + pick (200));                    // whole, short
            case 4: return uniform (17.0f, 64.0f);                        // very short, fractional
            case 5: return -uniform (1.0f, 100.0f);
            default: return uniform (20.0f, (float) bufferLength * 0.45f) + 0.25 * pick (4);
        }
    }

    float edgeValue()
    {
        static constexpr float values[] = { 0.0f, 1.0f, 0.5f, 0.25f, 0.999f, 0.001f };
        return values[pick (6)];
    }

    float uniform (float lo, float hi) { return std::uniform_real_distribution<float> (lo, hi) (rng); }
    int pick (int n) { return std::uniform_int_distribution<int> (0, n - 1) (rng); }
    bool chance (double p) { return std::bernoulli_distribution (p) (rng); }

private:
    std::mt19937 rng;
    float target = 1.0f;
};

void expectSameState (const ReverserMono& fast, const PlainEngine& plain, const char* when)
{
    EXPECT_EQ (fast.writeIndex, plain.writeIndex) << when;
    EXPECT_EQ (bitsOf (fast.phase), bitsOf (plain.phase)) << when << ": phase " << fast.phase << " vs " << plain.phase;
    EXPECT_EQ (bitsOf (fast.segmentStart), bitsOf (plain.segmentStart)) << when;
    EXPECT_EQ (fast.resyncPending, plain.resyncPending) << when;
    EXPECT_EQ (bitsOf (fast.resyncPosition), bitsOf (plain.resyncPosition)) << when;
    EXPECT_EQ (bitsOf (fast.feedbackSample), bitsOf (plain.feedbackSample)) << when;
}

bool sameBits (const std::vector<float>& a, const std::vector<float>& b, int& firstDifference)
{
    for (size_t i = 0; i < a.size(); ++i)
        if (bitsOf (a[i]) != bitsOf (b[i]))
        {
            firstDifference = (int) i;
            return false;
        }
    return true;
}

// Runs the fast engine (one channel, or both channels of a Reverser in one
// pass) and plain engines side by side for `totalSamples` and stops at the
// first difference. With `splitChannels` the right channel sometimes gets a
// re-alignment of its own, so the channels fall out of step.
void compareRun (int curve, double sampleRate, int totalSamples, uint32_t seed, int channels = 1,
                 bool splitChannels = false)
{
    SCOPED_TRACE (testing::Message() << "curve " << curve << ", rate " << sampleRate << ", seed " << seed
                                     << ", channels " << channels);

    ReverserMono mono;
    Reverser stereo;
    ReverserMono* fast[2] = { &mono, nullptr };
    if (channels == 2)
    {
        stereo.prepare (sampleRate);
        fast[0] = &stereo.left;
        fast[1] = &stereo.right;
    }
    else
    {
        mono.prepare (sampleRate);
    }

    PlainEngine plain[2];
    for (int c = 0; c < channels; ++c)
    {
        plain[c].prepare (sampleRate);
        ASSERT_EQ (fast[c]->bufferLength, plain[c].bufferLength);
    }

    Driver driver (seed);
    constexpr int maxBlock = 700;
    std::vector<float> input[2], outFast[2], outPlain[2];
    for (int c = 0; c < 2; ++c)
    {
        input[c].resize (maxBlock);
        outFast[c].resize (maxBlock);
        outPlain[c].resize (maxBlock);
    }
    std::vector<float> overlap (maxBlock), feedback (maxBlock), intensity (maxBlock);
    float overlapState = 1.0f, feedbackState = 0.5f, intensityState = 1.0f;
    double segmentLength = 1000.5;
    const int32_t bufferLength = fast[0]->bufferLength;

    for (int done = 0, block = 0; done < totalSamples; ++block)
    {
        const int n = driver.chance (0.02) ? 0 : 1 + driver.pick (driver.chance (0.2) ? 8 : maxBlock);

        for (int c = 0; c < channels; ++c)
            for (int i = 0; i < n; ++i)
                input[c][(size_t) i] = driver.audio();
        driver.control (overlap, n, overlapState);
        driver.control (feedback, n, feedbackState);
        driver.control (intensity, n, intensityState);

        if (driver.chance (0.05))
            segmentLength = driver.segmentLength (bufferLength);

        if (driver.chance (0.08))
        {
            // Sometimes near the current phase, where the 16-sample rule decides.
            double position = driver.uniform (0.0f, 4.0f * (float) bufferLength);
            if (driver.chance (0.4))
                position = fast[0]->phase + (double) driver.edgeValue() * 40.0 - 20.0 + 16.0 * driver.pick (2);
            if (position < 0.0)
                position = 0.0;
            const int first = splitChannels && driver.chance (0.5) ? channels - 1 : 0;
            for (int c = first; c < channels; ++c)
            {
                fast[c]->resyncPending = plain[c].resyncPending = true;
                fast[c]->resyncPosition = plain[c].resyncPosition = position;
            }
        }

        // Sentinels: a zero-length block must leave the output alone.
        for (int c = 0; c < 2; ++c)
        {
            std::fill (outFast[c].begin(), outFast[c].end(), 7.0f);
            std::fill (outPlain[c].begin(), outPlain[c].end(), 7.0f);
        }

        if (channels == 2)
            stereo.processBlock (input[0].data(), input[1].data(), segmentLength, overlap.data(), feedback.data(), curve,
                                 intensity.data(), outFast[0].data(), outFast[1].data(), n);
        else
            mono.processBlock (input[0].data(), segmentLength, overlap.data(), feedback.data(), curve, intensity.data(),
                               outFast[0].data(), n);
        for (int c = 0; c < channels; ++c)
            plain[c].process (input[c].data(), segmentLength, overlap.data(), feedback.data(), curve, intensity.data(),
                              outPlain[c].data(), n);

        for (int c = 0; c < channels; ++c)
        {
            int i = 0;
            if (! sameBits (outFast[c], outPlain[c], i))
                FAIL() << "channel " << c << ", block " << block << " (length " << n << ", segment " << segmentLength
                       << "), sample " << i << ": " << outFast[c][(size_t) i] << " vs " << outPlain[c][(size_t) i];
            expectSameState (*fast[c], plain[c], "after a block");
        }
        if (testing::Test::HasFailure())
            return;
        done += n;
    }

    for (int c = 0; c < channels; ++c)
        ASSERT_EQ (0, std::memcmp (fast[c]->buffer, plain[c].buffer.data(), sizeof (float) * (size_t) bufferLength))
            << "channel " << c << ": recorded buffers differ";
}

class EngineReference : public testing::TestWithParam<int>
{
};

// A small buffer (64 s at 50 Hz = 3200 samples) wraps constantly and puts
// segment ends, re-alignments and length changes close together.
TEST_P (EngineReference, SmallBufferMatchesBitForBit)
{
    compareRun (GetParam(), 50.0, 400000, 1000u + (uint32_t) GetParam());
}

// Realistic magnitudes: positions in the millions at 48 kHz.
TEST_P (EngineReference, FullSizeBufferMatchesBitForBit)
{
    compareRun (GetParam(), 48000.0, 150000, 2000u + (uint32_t) GetParam());
}

// Both channels in one pass, as the processor runs them.
TEST_P (EngineReference, StereoPassMatchesTwoChannelsBitForBit)
{
    compareRun (GetParam(), 50.0, 200000, 3000u + (uint32_t) GetParam(), 2);
    compareRun (GetParam(), 48000.0, 60000, 4000u + (uint32_t) GetParam(), 2);
}

// Channels whose heads are not in step must each still match.
TEST_P (EngineReference, StereoChannelsOutOfStepMatchBitForBit)
{
    compareRun (GetParam(), 50.0, 100000, 5000u + (uint32_t) GetParam(), 2, true);
}

// Indices outside the table play "Natural+".
INSTANTIATE_TEST_SUITE_P (AllCurves, EngineReference, testing::Range (-1, 13));

// Long steady runs at the processor's usual settings, where the fast paths carry
// all the work: whole and fractional lengths, every curve, full Overlap. A
// length of 100 puts u exactly on the gain breakpoints 0.01 and 0.99, and an
// odd block length leaves partial groups at the end of each block.
TEST (EngineReferenceSteady, SteadySettingsMatchBitForBit)
{
    for (int curve = 0; curve < reverser_detail::kNumCurves; ++curve)
    {
        for (double segmentLength : { 24000.0, 1234.567, 100.5, 100.0 })
        {
            ReverserMono fast;
            PlainEngine plain;
            fast.prepare (1000.0);
            plain.prepare (1000.0);

            Driver driver ((uint32_t) curve);
            constexpr int n = 509;
            std::vector<float> input (n), outFast (n), outPlain (n);
            const std::vector<float> overlap (n, 1.0f), feedback (n, 0.5f), intensity (n, 1.0f);

            for (int block = 0; block < 250; ++block)
            {
                for (auto& x : input)
                    x = driver.audio();
                fast.processBlock (input.data(), segmentLength, overlap.data(), feedback.data(), curve, intensity.data(), outFast.data(), n);
                plain.process (input.data(), segmentLength, overlap.data(), feedback.data(), curve, intensity.data(), outPlain.data(), n);
                ASSERT_EQ (0, std::memcmp (outFast.data(), outPlain.data(), sizeof (float) * n))
                    << "curve " << curve << ", segment " << segmentLength << ", block " << block;
            }
            expectSameState (fast, plain, "after a steady run");
        }
    }
}

// Values that are not finite must travel through both engines identically
// (compared as "both NaN" where the payload is not meaningful).
TEST (EngineReferenceSteady, NonFiniteInputMatches)
{
    ReverserMono fast;
    PlainEngine plain;
    fast.prepare (50.0);
    plain.prepare (50.0);

    constexpr int n = 256;
    std::vector<float> input (n, 0.0f), outFast (n), outPlain (n);
    const std::vector<float> overlap (n, 1.0f), feedback (n, 0.0f), intensity (n, 1.0f);
    input[10] = std::numeric_limits<float>::infinity();
    input[50] = std::numeric_limits<float>::quiet_NaN();

    for (int block = 0; block < 60; ++block)
    {
        fast.processBlock (input.data(), 150.0, overlap.data(), feedback.data(), 0, intensity.data(), outFast.data(), n);
        plain.process (input.data(), 150.0, overlap.data(), feedback.data(), 0, intensity.data(), outPlain.data(), n);
        for (int i = 0; i < n; ++i)
        {
            const float a = outFast[(size_t) i], b = outPlain[(size_t) i];
            ASSERT_TRUE ((std::isnan (a) && std::isnan (b)) || bitsOf (a) == bitsOf (b))
                << "block " << block << ", sample " << i << ": " << a << " vs " << b;
        }
        std::fill (input.begin(), input.end(), 0.0f);
    }
}

//==============================================================================
// The level follower keeps its state in locals while it loops; a plain
// version that updates the fields sample by sample must give the same bits.
struct PlainFollower
{
    float previousPeak = 0.0f, slope = 0.0f, runningPeak = 0.0f, counter = 0.0f, value = 0.0f;
    float interval = 1000.0f, inverseInterval = 0.0f;

    void process (float* signal, int numSamples)
    {
        for (int i = 0; i < numSamples; ++i)
        {
            const float a = std::fabs (signal[i]);
            if (a > runningPeak)
                runningPeak = a;
            if (counter >= interval)
            {
                slope = (runningPeak - previousPeak) * inverseInterval;
                previousPeak = runningPeak;
                runningPeak = 0.0f;
                counter = 0.0f;
            }
            value += slope;
            counter += 1.0f;
            float out = value;
            if (out < 0.0f)
                out = 0.0f;
            if (out > 1.0f)
                out = 1.0f;
            signal[i] = out;
        }
    }
};

TEST (LevelFollowerReference, MatchesPlainFollowerBitForBit)
{
    for (const float sampleRate : { 44100.0f, 48000.0f, 2000.0f })
    {
        LevelFollower fast;
        PlainFollower plain;
        fast.prepare (sampleRate);
        plain.interval = 0.01f * sampleRate;
        plain.inverseInterval = 100.0f / sampleRate;

        Driver driver ((uint32_t) sampleRate);
        std::vector<float> a (700), b (700);
        for (int block = 0; block < 2000; ++block)
        {
            const int n = driver.pick (700);
            const float gain = driver.chance (0.1) ? 0.0f : driver.uniform (0.0f, 2.5f);
            for (int i = 0; i < n; ++i)
                a[(size_t) i] = b[(size_t) i] = gain * driver.audio();
            fast.process (a.data(), n);
            plain.process (b.data(), n);

            int i = 0;
            ASSERT_TRUE (sameBits (a, b, i)) << "block " << block << ", sample " << i;
            ASSERT_EQ (bitsOf (fast.value), bitsOf (plain.value));
            ASSERT_EQ (bitsOf (fast.slope), bitsOf (plain.slope));
            ASSERT_EQ (bitsOf (fast.runningPeak), bitsOf (plain.runningPeak));
            ASSERT_EQ (bitsOf (fast.previousPeak), bitsOf (plain.previousPeak));
            ASSERT_EQ (bitsOf (fast.counter), bitsOf (plain.counter));
        }
    }
}
} // namespace
