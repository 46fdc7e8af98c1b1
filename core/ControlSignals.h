#pragma once

// Per-sample control signals of the audio callback: the parameter smoothers
// and the level follower that feeds the editor's curve display. Plain C++,
// real-time safe.

#include <cmath>
#include <cstdint>

// One-pole low-pass at 4 Hz. Glides in single precision until `current`
// equals the target exactly, which it may never do: there is no snapping.
struct ParameterSmoother
{
    float coefficient = 0.0f;
    float current = 0.0f;
    int32_t resetState = -1; // -1: running; anything else jumps to the target at the next block

    void prepare (float sampleRate) noexcept
    {
        coefficient = (float) (1.0 - std::exp (-6.283185307179586 / (double) (0.25f * sampleRate)));
    }

    void process (float target, float* out, int numSamples) noexcept
    {
        if (resetState != -1)
        {
            current = target;
            resetState = -1;
        }

        if (current == target)
        {
            for (int i = 0; i < numSamples; ++i)
                out[i] = target;
            return;
        }

        float value = current;
        for (int i = 0; i < numSamples; ++i)
        {
            value = (target - value) * coefficient + value;
            out[i] = value;
        }
        current = value;
    }
};

// Every 10 ms the output starts a straight ramp from the peak before last
// towards the last interval's peak, reaching it one interval later.
struct LevelFollower
{
    float previousPeak = 0.0f;
    float slope = 0.0f;
    float runningPeak = 0.0f;
    float counter = 0.0f;
    float value = 0.0f;
    float interval = 1000.0f;
    float inverseInterval = 0.0f;

    void prepare (float sampleRate) noexcept
    {
        interval = 0.01f * sampleRate;
        inverseInterval = 100.0f / sampleRate;
    }

    void clear() noexcept
    {
        previousPeak = slope = runningPeak = counter = value = 0.0f;
    }

    // Replaces each sample of the signal with the follower's output in 0..1.
    // The state lives in locals for the loop: the signal could alias the
    // members, which would otherwise go through memory on every sample.
    void process (float* signal, int numSamples) noexcept
    {
        float previous = previousPeak, step = slope, peak = runningPeak, count = counter, level = value;
        const float length = interval, inverseLength = inverseInterval;

        for (int i = 0; i < numSamples; ++i)
        {
            const float a = std::fabs (signal[i]);
            peak = a > peak ? a : peak;

            if (count >= length)
            {
                step = (peak - previous) * inverseLength;
                previous = peak;
                peak = 0.0f;
                count = 0.0f;
            }

            level += step;
            count += 1.0f;
            signal[i] = level < 0.0f ? 0.0f : (level > 1.0f ? 1.0f : level);
        }

        previousPeak = previous;
        slope = step;
        runningPeak = peak;
        counter = count;
        value = level;
    }
};
