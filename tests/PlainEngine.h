#pragma once

// The reverse-segment engine written plainly, sample by sample, with every
// rounding step spelled out in the order the algorithm performs it: nothing
// hoisted, cached or skipped. It is the literal reference the fast engine is
// checked against bit for bit, and the wet signal the audio callback's
// arithmetic is checked against. Keep it slow and obvious.

#include <cmath>
#include <cstdint>
#include <vector>

namespace vorn::test
{
class PlainEngine
{
public:
    std::vector<float> buffer;
    int32_t bufferLength = 0;
    int32_t writeIndex = 0;
    double phase = 0.0;
    double segmentStart = 0.0;
    bool resyncPending = false;
    double resyncPosition = -1.0;
    float feedbackSample = 0.0f;

    void prepare (double sampleRate)
    {
        bufferLength = (int32_t) (64.0 * sampleRate);
        buffer.assign ((size_t) bufferLength, 0.0f);
        writeIndex = 0;
        phase = 0.0;
        segmentStart = 0.0;
        resyncPending = false;
        resyncPosition = -1.0;
        feedbackSample = 0.0f;
    }

    void process (const float* input, double segmentLength, const float* overlap, const float* feedback,
                  int curve, const float* intensity, float* output, int numSamples)
    {
        if (buffer.empty() || bufferLength == 0 || numSamples <= 0)
            return;

        // Not a number, or not positive: 64-second segments.
        double L = (double) bufferLength;
        if (! std::isnan (segmentLength) && segmentLength > 0.0 && segmentLength < L)
            L = segmentLength;
        const double invL = 1.0 / L;

        for (int i = 0; i < numSamples; ++i)
        {
            output[i] = 0.0f;

            if (resyncPending)
            {
                const double h = std::fmod (resyncPosition, L);
                if (std::fabs (h - phase) > 16.0)
                    phase = h;
                resyncPending = false;
                resyncPosition = -1.0;
            }

            buffer[(size_t) writeIndex] = feedbackSample * feedback[i] + input[i];

            feedbackSample = interpolate (wrap (segmentStart - phase));

            const double u = phase * invL;
            const float uf = (float) u;
            const float R = intensity[i];
            const double q = warp (curve, u, uf, R);

            // Head A
            const double pA = wrap (segmentStart - q * L);
            float gainA;
            if (uf <= 0.01f)
                gainA = 100.0f * uf;
            else if (uf > 0.01f && uf < 0.99f)
                gainA = 1.0f;
            else
                gainA = (100.0f - 100.0f * uf) * (100.0f - 100.0f * uf);
            gainA = clamp01 (gainA);
            output[i] = gainA * interpolate (pA);

            // Head B
            const double pB = wrap (segmentStart + (1.0 - q) * L);
            const float ov = overlap[i];
            const float start = 1.0f - 0.5f * ov;
            float g = 0.0f;
            if (start <= uf && uf < 1.0f)
                g = 2.0f * (uf - start) / ov;
            // A silent head stays silent, even where uf has overflowed to
            // infinity and 0 x (100 - 100 x uf) would not be a number.
            float gainB;
            if (uf < 0.99f)
                gainB = g;
            else if (g == 0.0f)
                gainB = 0.0f;
            else
                gainB = (g * (100.0f - 100.0f * uf)) * (g * (100.0f - 100.0f * uf));
            gainB = clamp01 (gainB);
            output[i] += gainB * interpolate (pB);

            // Advance
            phase += 1.0;
            if (phase >= L)
            {
                phase -= L;
                segmentStart = (double) writeIndex;
            }
            writeIndex += 1;
            if (writeIndex == bufferLength)
                writeIndex = 0;
        }
    }

private:
    static float clamp01 (float g)
    {
        if (g < 0.0f)
            return 0.0f;
        if (g > 1.0f)
            return 1.0f;
        return g;
    }

    // One wrap; positions it cannot bring inside are reduced modulo the length.
    double wrap (double x) const
    {
        const double length = (double) bufferLength;
        if (x >= length)
            x = x - length;
        else if (x >= 0.0)
            x = x;
        else
            x = x + length;

        if (x >= 0.0 && x < length)
            return x;
        if (std::isinf (x) || std::isnan (x))
            return 0.0;
        x = std::fmod (x, length);
        if (x < 0.0)
            x = x + length;
        if (x >= length)
            x = 0.0;
        return x;
    }

    float interpolate (double x) const
    {
        const int32_t i = (int32_t) x;
        const float t = (float) (x - std::trunc (x));

        int32_t im1 = i - 1;
        if (i <= 0)
            im1 += bufferLength;
        int32_t i0 = i, i1 = i + 1, i2 = i + 2;
        if (i0 >= bufferLength)
            i0 -= bufferLength;
        if (i1 >= bufferLength)
            i1 -= bufferLength;
        if (i2 >= bufferLength)
            i2 -= bufferLength;

        const float ym1 = buffer[(size_t) im1];
        const float y0 = buffer[(size_t) i0];
        const float y1 = buffer[(size_t) i1];
        const float y2 = buffer[(size_t) i2];

        const float c1 = 0.5f * (y1 - ym1);
        const float c2 = ym1 - 2.5f * y0 + 2.0f * y1 - 0.5f * y2;
        const float c3 = 0.5f * (y2 - ym1) + 1.5f * (y0 - y1);
        return ((c3 * t + c2) * t + c1) * t + y0;
    }

    static double mixFloat (float s, float R, double u)
    {
        const float Rs = R * s;
        const float oneMinusR = 1.0f - R;
        return (double) Rs + (double) oneMinusR * u;
    }

    static double mixDouble (double s, float R, double u)
    {
        const float oneMinusR = 1.0f - R;
        return (double) R * s + (double) oneMinusR * u;
    }

    static double wavy (double u, float R, double omega)
    {
        const float wobble = 0.025f * sinf ((float) (u * omega));
        const double s = (double) wobble + u * 0.9750000238418579;
        return mixDouble (s, R, u);
    }

    static double warp (int curve, double u, float uf, float R)
    {
        switch (curve)
        {
            case 1:
                return mixFloat (sinf ((float) (u * 1.5707963267948966)), R, u);
            case 2:
                return mixFloat (uf * uf, R, u);
            case 3:
                return mixFloat (sqrtf (uf), R, u);
            case 4:
                return mixFloat (0.5f * tanhf ((float) (u * 5.43656365691809 - 2.718281828459045)) + 0.5f, R, u);
            case 5:
            {
                const float c = (float) (2.0 * u - 1.0);
                return mixFloat (0.5f * (c * c) * c + 0.5f, R, u);
            }
            case 6:
            {
                const float c = (float) (2.0 * u - 1.0);
                const float W = 4.0f * (c * c) * c + 0.5f;
                float x;
                if (0.30000001192092896 < u && u <= 0.4000000059604645)
                    x = (float) (10.0 * u - 3.0);
                else if (0.4000000059604645 < u && u <= 0.6000000238418579)
                    x = 1.0f;
                else if (0.6000000238418579 < u && u <= 0.699999988079071)
                    x = (float) (7.0 - 10.0 * u);
                else
                    x = 0.0f;
                const float h = 0.5f * cosf ((float) ((double) x * 3.141592653589793));
                const double s = (double) ((0.5f - h) * W) + (double) (0.5f + h) * u;
                return mixDouble (s, R, u);
            }
            case 7:
            {
                const double w = 1.0 - u;
                double r = w;
                if (w > 0.75)
                {
                    const float A = 0.85f * tanhf ((float) (6.0 * w - 3.113705635070801));
                    r = mixFloat (A, R, w);
                }
                return 1.0 - r;
            }
            case 8:
            {
                if (u > 0.75)
                {
                    const float V = 0.85f * tanhf ((float) (6.0 * u - 3.113705635070801));
                    return mixFloat (V, R, u);
                }
                return u;
            }
            case 9:
                return wavy (u, R, 12.566370614359172);
            case 10:
                return wavy (u, R, 18.84955592153876);
            case 11:
                return wavy (u, R, 25.132741228718345);
            default:
                return mixFloat (sinf ((float) (u * 1.5707963267948966 - 1.5707963267948966)) + 1.0f, R, u);
        }
    }
};
} // namespace vorn::test
