#pragma once

// The reverse-segment engine: plain C++, no framework types, safe to run on
// the audio thread once prepared. One ReverserMono per channel records its
// input into a 64-second circular buffer, cuts it into segments and plays the
// previous segment backwards along a warped curve (head A), fades a second
// head over the start of the current segment in at the segment's end (head B)
// and feeds a plain backwards reading of the previous segment back into the
// recording.
//
// Arithmetic is fixed: positions, phases, u and q are double; samples, gains
// and shapes are float; the library's single-precision sinf/cosf/tanhf are
// called on arguments formed in double and rounded to float. Stored sound
// depends on every rounding step, so keep expressions exactly as written.

#include <cmath>
#include <cstdint>
#include <cstring>
#include <new>

namespace reverser_detail
{
// Curve indices, in the order of the "Curve" parameter's choices.
enum Curve : int
{
    kNaturalPlus = 0,
    kNaturalMinus,
    kQuadraticPlus,
    kQuadraticMinus,
    kHyperbolic,
    kBiCubic,
    kWarp,
    kSlidePlus,
    kSlideMinus,
    kWavy4,
    kWavy6,
    kWavy8,
    kNumCurves
};

constexpr double kHalfPi = 1.5707963267948966;
constexpr double kPi = 3.141592653589793;
constexpr double kTwoE = 5.43656365691809;
constexpr double kE = 2.718281828459045;
// Single-precision value of 4.5 - ln 4: where 0.85 * tanh meets the straight line at 0.75.
constexpr double kSlideOffset = 3.113705635070801;
constexpr double kWavyTilt = 0.9750000238418579;

// Straight blend of a single-precision shape with u: R * s in float, (1 - R) in float.
inline double blendFloatShape (float s, float R, double u) noexcept
{
    return (double) (R * s) + (double) (1.0f - R) * u;
}

inline double blendDoubleShape (double s, float R, double u) noexcept
{
    return (double) R * s + (double) (1.0f - R) * u;
}

inline double warpShape (double u) noexcept
{
    const float c = (float) (2.0 * u - 1.0);
    const float W = 4.0f * (c * c) * c + 0.5f;

    float x = 0.0f;
    if (u > 0.30000001192092896 && u <= 0.4000000059604645)
        x = (float) (10.0 * u - 3.0);
    else if (u > 0.4000000059604645 && u <= 0.6000000238418579)
        x = 1.0f;
    else if (u > 0.6000000238418579 && u <= 0.699999988079071)
        x = (float) (7.0 - 10.0 * u);

    const float h = 0.5f * cosf ((float) ((double) x * kPi));
    return (double) ((0.5f - h) * W) + (double) (0.5f + h) * u;
}

inline double slideShape (double v, float R) noexcept
{
    if (v <= 0.75)
        return v;
    const float A = 0.85f * tanhf ((float) (6.0 * v - kSlideOffset));
    return (double) (R * A) + (double) (1.0f - R) * v;
}

inline double wavyShape (double u, double omega) noexcept
{
    return (double) (0.025f * sinf ((float) (u * omega))) + u * kWavyTilt;
}

// Warped progress q through the previous segment for progress u (uf = (float) u)
// at curve strength R.
template <int CurveIndex>
inline double warpedProgress (double u, float uf, float R) noexcept
{
    if constexpr (CurveIndex == kNaturalMinus)
        return blendFloatShape (sinf ((float) (u * kHalfPi)), R, u);
    else if constexpr (CurveIndex == kQuadraticPlus)
        return blendFloatShape (uf * uf, R, u);
    else if constexpr (CurveIndex == kQuadraticMinus)
        return blendFloatShape (sqrtf (uf), R, u);
    else if constexpr (CurveIndex == kHyperbolic)
        return blendFloatShape (0.5f * tanhf ((float) (u * kTwoE - kE)) + 0.5f, R, u);
    else if constexpr (CurveIndex == kBiCubic)
    {
        const float c = (float) (2.0 * u - 1.0);
        return blendFloatShape (0.5f * (c * c) * c + 0.5f, R, u);
    }
    else if constexpr (CurveIndex == kWarp)
        return blendDoubleShape (warpShape (u), R, u);
    else if constexpr (CurveIndex == kSlidePlus)
        return 1.0 - slideShape (1.0 - u, R);
    else if constexpr (CurveIndex == kSlideMinus)
        return slideShape (u, R);
    else if constexpr (CurveIndex == kWavy4)
        return blendDoubleShape (wavyShape (u, 12.566370614359172), R, u);
    else if constexpr (CurveIndex == kWavy6)
        return blendDoubleShape (wavyShape (u, 18.84955592153876), R, u);
    else if constexpr (CurveIndex == kWavy8)
        return blendDoubleShape (wavyShape (u, 25.132741228718345), R, u);
    else // Natural+, and any index outside the table
        return blendFloatShape (sinf ((float) (u * kHalfPi - kHalfPi)) + 1.0f, R, u);
}

// Run-time dispatch for callers that evaluate single points (tests, displays).
inline double warpedProgress (int curve, double u, float R) noexcept
{
    const float uf = (float) u;
    switch (curve)
    {
        case kNaturalMinus:   return warpedProgress<kNaturalMinus> (u, uf, R);
        case kQuadraticPlus:  return warpedProgress<kQuadraticPlus> (u, uf, R);
        case kQuadraticMinus: return warpedProgress<kQuadraticMinus> (u, uf, R);
        case kHyperbolic:     return warpedProgress<kHyperbolic> (u, uf, R);
        case kBiCubic:        return warpedProgress<kBiCubic> (u, uf, R);
        case kWarp:           return warpedProgress<kWarp> (u, uf, R);
        case kSlidePlus:      return warpedProgress<kSlidePlus> (u, uf, R);
        case kSlideMinus:     return warpedProgress<kSlideMinus> (u, uf, R);
        case kWavy4:          return warpedProgress<kWavy4> (u, uf, R);
        case kWavy6:          return warpedProgress<kWavy6> (u, uf, R);
        case kWavy8:          return warpedProgress<kWavy8> (u, uf, R);
        default:              return warpedProgress<kNaturalPlus> (u, uf, R);
    }
}

inline float clampUnit (float g) noexcept
{
    return g < 0.0f ? 0.0f : (g > 1.0f ? 1.0f : g);
}

// Head A: linear fade-in over the first 1 % of the segment, squared fade-out over the last 1 %.
inline float headAGain (float uf) noexcept
{
    float g;
    if (uf <= 0.01f)
        g = 100.0f * uf;
    else if (uf < 0.99f)
        g = 1.0f;
    else
    {
        const float t = 100.0f - 100.0f * uf;
        g = t * t;
    }
    return clampUnit (g);
}

// Head B: rises from 0 to 1 over the last ov / 2 of the segment.
inline float headBGain (float uf, float ov) noexcept
{
    const float start = 1.0f - 0.5f * ov;
    const float g = (start <= uf && uf < 1.0f) ? 2.0f * (uf - start) / ov : 0.0f;
    if (uf < 0.99f)
        return clampUnit (g);
    const float t = g * (100.0f - 100.0f * uf);
    return clampUnit (t * t);
}
} // namespace reverser_detail

class ReverserMono
{
public:
    ReverserMono() = default;
    ReverserMono (const ReverserMono&) = delete;
    ReverserMono& operator= (const ReverserMono&) = delete;

    double sampleRate = 0.0;
    float* buffer = nullptr;
    int32_t bufferLength = 0;
    int32_t writeIndex = 0;
    double phase = 0.0;
    double segmentStart = 0.0;
    bool resyncPending = false;
    double resyncPosition = -1.0;
    float feedbackSample = 0.0f;

    // Allocates (or re-allocates) 64 seconds at the new rate, zeroed. Not real-time safe.
    void prepare (double newSampleRate)
    {
        sampleRate = newSampleRate;
        release();
        bufferLength = (int32_t) (64.0 * sampleRate);
        buffer = new (std::nothrow) float[(size_t) (bufferLength > 0 ? bufferLength : 0)];
        if (buffer != nullptr && bufferLength != 0)
            std::memset (buffer, 0, sizeof (float) * (size_t) bufferLength);
        resetHeads();
    }

    void clear() noexcept
    {
        if (buffer != nullptr && bufferLength != 0)
            std::memset (buffer, 0, sizeof (float) * (size_t) bufferLength);
        resetHeads();
    }

    void release() noexcept
    {
        delete[] buffer;
        buffer = nullptr;
    }

    // Records numSamples of input and writes the reversed signal to output.
    // overlap, feedback and intensity are per-sample values in 0..1.
    void processBlock (const float* input, double segmentLength, const float* overlap, const float* feedback,
                       int curve, const float* intensity, float* output, int numSamples) noexcept
    {
        using namespace reverser_detail;

        if (buffer == nullptr || bufferLength == 0 || numSamples <= 0)
            return;

        switch (curve)
        {
            case kNaturalMinus:   run<kNaturalMinus> (input, segmentLength, overlap, feedback, intensity, output, numSamples); break;
            case kQuadraticPlus:  run<kQuadraticPlus> (input, segmentLength, overlap, feedback, intensity, output, numSamples); break;
            case kQuadraticMinus: run<kQuadraticMinus> (input, segmentLength, overlap, feedback, intensity, output, numSamples); break;
            case kHyperbolic:     run<kHyperbolic> (input, segmentLength, overlap, feedback, intensity, output, numSamples); break;
            case kBiCubic:        run<kBiCubic> (input, segmentLength, overlap, feedback, intensity, output, numSamples); break;
            case kWarp:           run<kWarp> (input, segmentLength, overlap, feedback, intensity, output, numSamples); break;
            case kSlidePlus:      run<kSlidePlus> (input, segmentLength, overlap, feedback, intensity, output, numSamples); break;
            case kSlideMinus:     run<kSlideMinus> (input, segmentLength, overlap, feedback, intensity, output, numSamples); break;
            case kWavy4:          run<kWavy4> (input, segmentLength, overlap, feedback, intensity, output, numSamples); break;
            case kWavy6:          run<kWavy6> (input, segmentLength, overlap, feedback, intensity, output, numSamples); break;
            case kWavy8:          run<kWavy8> (input, segmentLength, overlap, feedback, intensity, output, numSamples); break;
            default:              run<kNaturalPlus> (input, segmentLength, overlap, feedback, intensity, output, numSamples); break;
        }
    }

    // Brings a read position into 0 .. bufferLength. One wrap covers every
    // position the heads reach in normal running; positions further out (a
    // curve overshooting while the segment just became much shorter) are
    // reduced modulo the buffer length, so they still read recorded audio
    // instead of leaving the buffer.
    double wrapPosition (double x) const noexcept
    {
        const double length = (double) bufferLength;
        if (x >= length)
            x -= length;
        else if (x < 0.0)
            x += length;

        if (x >= 0.0 && x < length)
            return x;
        return foldPosition (x);
    }

    // Four-point Catmull-Rom read at a wrapped fractional position.
    float catmullRom (double x) const noexcept
    {
        const int32_t i = (int32_t) x;
        const float t = (float) (x - std::trunc (x));

        float ym1, y0, y1, y2;
        if (i >= 1 && i + 2 < bufferLength)
        {
            const float* p = buffer + i;
            ym1 = p[-1];
            y0 = p[0];
            y1 = p[1];
            y2 = p[2];
        }
        else
        {
            ym1 = buffer[i <= 0 ? i - 1 + bufferLength : i - 1];
            y0 = buffer[wrapIndex (i)];
            y1 = buffer[wrapIndex (i + 1)];
            y2 = buffer[wrapIndex (i + 2)];
        }

        const float c1 = 0.5f * (y1 - ym1);
        const float c2 = ym1 - 2.5f * y0 + 2.0f * y1 - 0.5f * y2;
        const float c3 = 0.5f * (y2 - ym1) + 1.5f * (y0 - y1);
        return ((c3 * t + c2) * t + c1) * t + y0;
    }

    // The segment length the engine actually uses: never longer than the
    // buffer. A length that is not a number, or not positive (a host tempo
    // below zero or infinite), plays 64-second segments like a tempo of 0.
    double effectiveSegmentLength (double segmentLength) const noexcept
    {
        const double length = (double) bufferLength;
        if (std::isnan (segmentLength) || segmentLength <= 0.0)
            return length;
        return segmentLength < length ? segmentLength : length;
    }

private:
    void resetHeads() noexcept
    {
        feedbackSample = 0.0f;
        resyncPending = false;
        writeIndex = 0;
        phase = 0.0;
        segmentStart = 0.0;
        resyncPosition = -1.0;
    }

    int32_t wrapIndex (int32_t i) const noexcept
    {
        return i >= bufferLength ? i - bufferLength : i;
    }

    double foldPosition (double x) const noexcept
    {
        const double length = (double) bufferLength;
        if (! std::isfinite (x))
            return 0.0;
        x = std::fmod (x, length);
        if (x < 0.0)
            x += length;
        return x < length ? x : 0.0;
    }

    // A waiting bar re-alignment moves the phase only when it is more than 16 samples off.
    void applyResync (double L) noexcept
    {
        if (! resyncPending)
            return;
        const double h = std::fmod (resyncPosition, L);
        if (std::fabs (h - phase) > 16.0)
            phase = h;
        resyncPending = false;
        resyncPosition = -1.0;
    }

    template <int CurveIndex>
    void run (const float* input, double segmentLength, const float* overlap, const float* feedback,
              const float* intensity, float* output, int numSamples) noexcept
    {
        using namespace reverser_detail;

        const double L = effectiveSegmentLength (segmentLength);
        const double invL = 1.0 / L;
        applyResync (L);

        for (int i = 0; i < numSamples; ++i)
        {
            buffer[writeIndex] = feedbackSample * feedback[i] + input[i];
            feedbackSample = catmullRom (wrapPosition (segmentStart - phase));

            const double u = phase * invL;
            const float uf = (float) u;
            const double q = warpedProgress<CurveIndex> (u, uf, intensity[i]);

            float out = headAGain (uf) * catmullRom (wrapPosition (segmentStart - q * L));

            // A silent head B adds nothing, so its read is skipped.
            const float gainB = headBGain (uf, overlap[i]);
            if (gainB != 0.0f)
                out += gainB * catmullRom (wrapPosition (segmentStart + (1.0 - q) * L));
            output[i] = out;

            phase += 1.0;
            if (phase >= L)
            {
                phase -= L;
                segmentStart = (double) writeIndex;
            }
            if (++writeIndex == bufferLength)
                writeIndex = 0;
        }
    }
};

class Reverser
{
public:
    Reverser() = default;
    Reverser (const Reverser&) = delete;
    Reverser& operator= (const Reverser&) = delete;

    ~Reverser()
    {
        right.release();
        left.release();
    }

    double sampleRate = 0.0;
    ReverserMono left;
    ReverserMono right;

    void prepare (double newSampleRate)
    {
        sampleRate = newSampleRate;
        left.prepare (newSampleRate);
        right.prepare (newSampleRate);
    }

    void clear() noexcept
    {
        left.clear();
        right.clear();
    }
};
