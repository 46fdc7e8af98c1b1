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

#if defined(__SSE2__) || defined(_M_X64)
 #include <emmintrin.h>
 #define VORN_REVERSER_SSE2 1
#else
 #define VORN_REVERSER_SSE2 0
#endif

#if defined(__GNUC__)
 #define VORN_REVERSER_INLINE inline __attribute__ ((always_inline))
#else
 #define VORN_REVERSER_INLINE inline
#endif

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
    const bool below = g < 0.0f, above = g > 1.0f;
    return below ? 0.0f : (above ? 1.0f : g);
}

// The gains are written as selects between values that are all computed (and
// all comparisons made up front), so that a block's worth of them vectorises;
// each selected value is computed exactly as it would be on its own.

// Head A: linear fade-in over the first 1 % of the segment, squared fade-out over the last 1 %.
inline float headAGain (float uf) noexcept
{
    const float fadeIn = 100.0f * uf;
    const float t = 100.0f - 100.0f * uf;
    const float fadeOut = t * t;
    const bool fadingIn = uf <= 0.01f, beforeFadeOut = uf < 0.99f;
    return clampUnit (fadingIn ? fadeIn : (beforeFadeOut ? 1.0f : fadeOut));
}

// Head B: rises from 0 to 1 over the last ov / 2 of the segment. A silent head
// stays silent in the last 1 %: 0 x (100 - 100 x uf) would not be a number
// once uf overflows to infinity (phase vastly beyond a tiny segment length).
inline float headBGain (float uf, float ov) noexcept
{
    const float start = 1.0f - 0.5f * ov;
    const float ramp = 2.0f * (uf - start) / ov; // used only where ov > 0
    const bool rising = (start <= uf) & (uf < 1.0f);
    const float g = rising ? ramp : 0.0f;
    const float t = g * (100.0f - 100.0f * uf);
    const bool silent = g == 0.0f, beforeFadeOut = uf < 0.99f;
    const float tail = silent ? 0.0f : t * t;
    return clampUnit (beforeFadeOut ? g : tail);
}

// headAGain and headBGain for n samples. The compiler does not vectorise the
// selects by itself (a comparison may raise a floating-point flag), so with
// SSE they are spelled out four lanes at a time, each lane computing exactly
// the scalar functions' values.
VORN_REVERSER_INLINE void computeGains (const float* uf, const float* ov, float* gainA, float* gainB, int n) noexcept
{
    int j = 0;
   #if VORN_REVERSER_SSE2
    const auto select = [] (__m128 mask, __m128 a, __m128 b) noexcept
    {
        return _mm_or_ps (_mm_and_ps (mask, a), _mm_andnot_ps (mask, b));
    };
    const auto clamp = [&] (__m128 g) noexcept
    {
        const __m128 below = _mm_cmplt_ps (g, _mm_setzero_ps());
        const __m128 above = _mm_cmpgt_ps (g, _mm_set1_ps (1.0f));
        return _mm_andnot_ps (below, select (above, _mm_set1_ps (1.0f), g));
    };
    const __m128 one = _mm_set1_ps (1.0f), hundred = _mm_set1_ps (100.0f);

    // Most of a segment lies between the fades with head B silent: there head
    // A's gain is exactly 1 and head B's exactly 0 (g = 0 selects 0 in every
    // branch), so groups of four such samples skip the arithmetic.
    for (; j + 4 <= n; j += 4)
    {
        const __m128 u = _mm_loadu_ps (uf + j);
        const __m128 beforeFadeOut = _mm_cmplt_ps (u, _mm_set1_ps (0.99f));
        const __m128 fadingIn = _mm_cmple_ps (u, _mm_set1_ps (0.01f));
        const __m128 rest = _mm_sub_ps (hundred, _mm_mul_ps (hundred, u)); // 100 - 100 x uf

        if (_mm_movemask_ps (_mm_andnot_ps (fadingIn, beforeFadeOut)) == 15)
        {
            _mm_storeu_ps (gainA + j, one);
        }
        else
        {
            const __m128 fadeIn = _mm_mul_ps (hundred, u);
            const __m128 fadeOut = _mm_mul_ps (rest, rest);
            _mm_storeu_ps (gainA + j, clamp (select (fadingIn, fadeIn, select (beforeFadeOut, one, fadeOut))));
        }

        const __m128 o = _mm_loadu_ps (ov + j);
        const __m128 start = _mm_sub_ps (one, _mm_mul_ps (_mm_set1_ps (0.5f), o));
        const __m128 rising = _mm_and_ps (_mm_cmple_ps (start, u), _mm_cmplt_ps (u, one));
        if (_mm_movemask_ps (rising) == 0)
        {
            _mm_storeu_ps (gainB + j, _mm_setzero_ps());
        }
        else
        {
            const __m128 ramp = _mm_div_ps (_mm_mul_ps (_mm_set1_ps (2.0f), _mm_sub_ps (u, start)), o);
            const __m128 g = _mm_and_ps (rising, ramp);
            const __m128 t = _mm_mul_ps (g, rest);
            const __m128 tail = _mm_andnot_ps (_mm_cmpeq_ps (g, _mm_setzero_ps()), _mm_mul_ps (t, t));
            _mm_storeu_ps (gainB + j, clamp (select (beforeFadeOut, g, tail)));
        }
    }
   #endif
    for (; j < n; ++j)
    {
        gainA[j] = headAGain (uf[j]);
        gainB[j] = headBGain (uf[j], ov[j]);
    }
}

// The four neighbours y-1, y0, y1, y2 of whole index i in a circular buffer.
// Away from both ends they are four consecutive floats.
inline void loadNeighbours (const float* buffer, int32_t length, int32_t i, float* y) noexcept
{
    if (i >= 1 && i + 2 < length)
    {
        std::memcpy (y, buffer + i - 1, 4 * sizeof (float));
        return;
    }
    y[0] = buffer[i <= 0 ? i - 1 + length : i - 1];
    y[1] = buffer[i >= length ? i - length : i];
    y[2] = buffer[i + 1 >= length ? i + 1 - length : i + 1];
    y[3] = buffer[i + 2 >= length ? i + 2 - length : i + 2];
}

constexpr int kChunkSize = 64;

// The heads' side of up to kChunkSize samples: everything that does not
// depend on the audio, worked out once for all channels. Reads are numbered
// 0 (feedback tap), 1 (head A) and 2 (head B).
struct HeadChunk
{
    alignas (16) double phase[kChunkSize];
    alignas (16) double start[kChunkSize];    // segment start
    alignas (16) double progress[kChunkSize]; // warped progress q
    alignas (16) float uf[kChunkSize];
    alignas (16) float gainA[kChunkSize];
    alignas (16) float gainB[kChunkSize];
    alignas (16) int32_t index[3][kChunkSize];
    alignas (16) float fraction[3][kChunkSize];
    alignas (16) int32_t interior[kChunkSize]; // nonzero: all three reads have their neighbours inside, unwrapped
    alignas (16) int32_t writeIndex[kChunkSize];
};

// Splits a wrapped position (0 .. length, never negative, so (double) (int) x
// is trunc (x)) into read k's index and its fraction t = (float) (x - trunc (x)).
// Returns whether the read's four neighbours lie inside the buffer unwrapped.
VORN_REVERSER_INLINE bool setRead (HeadChunk& chunk, int k, int j, double x, int32_t length) noexcept
{
    const int32_t i = (int32_t) x;
    chunk.index[k][j] = i;
    chunk.fraction[k][j] = (float) (x - (double) i);
    return i >= 1 && i + 2 < length;
}

#if VORN_REVERSER_SSE2
// The three reads of samples j and j + 1 (j even), two lanes at a time: the
// tap at start - phase, head A at start - q x L, head B at start + (1 - q) x L,
// each with the single wrap (x - length, x + length; adding 0.0 elsewhere
// changes nothing but the sign of a zero, which goes to the fold anyway).
// Returns false if a position is still outside 0 < x < length: the chunk must
// then be redone with the fold, and these entries are placeholders until then.
VORN_REVERSER_INLINE bool setReadPair (HeadChunk& chunk, int j, double L, int32_t length) noexcept
{
    const __m128d len = _mm_set1_pd ((double) length);
    const __m128d zero = _mm_setzero_pd();
    const __m128d minusLen = _mm_sub_pd (zero, len);
    const __m128d segmentLength = _mm_set1_pd (L);
    const __m128d start = _mm_load_pd (chunk.start + j);
    const __m128d q = _mm_load_pd (chunk.progress + j);

    const __m128d positions[3] = {
        _mm_sub_pd (start, _mm_load_pd (chunk.phase + j)),
        _mm_sub_pd (start, _mm_mul_pd (q, segmentLength)),
        _mm_add_pd (start, _mm_mul_pd (_mm_sub_pd (_mm_set1_pd (1.0), q), segmentLength))
    };

    const __m128i lengthMinusTwo = _mm_set1_epi32 (length - 2);
    __m128d inside = _mm_cmpeq_pd (zero, zero);
    __m128i interior = _mm_set1_epi32 (-1);
    for (int k = 0; k < 3; ++k)
    {
        __m128d x = positions[k];
        const __m128d above = _mm_and_pd (_mm_cmpge_pd (x, len), minusLen);
        const __m128d below = _mm_and_pd (_mm_cmplt_pd (x, zero), len);
        x = _mm_add_pd (x, _mm_or_pd (above, below));
        const __m128d ok = _mm_and_pd (_mm_cmpgt_pd (x, zero), _mm_cmplt_pd (x, len));
        x = _mm_and_pd (x, ok);
        inside = _mm_and_pd (inside, ok);

        const __m128i i = _mm_cvttpd_epi32 (x);
        _mm_storel_epi64 (reinterpret_cast<__m128i*> (chunk.index[k] + j), i);
        _mm_storel_pi (reinterpret_cast<__m64*> (chunk.fraction[k] + j), _mm_cvtpd_ps (_mm_sub_pd (x, _mm_cvtepi32_pd (i))));
        interior = _mm_and_si128 (interior, _mm_and_si128 (_mm_cmpgt_epi32 (i, _mm_setzero_si128()),
                                                           _mm_cmplt_epi32 (i, lengthMinusTwo)));
    }
    _mm_storel_epi64 (reinterpret_cast<__m128i*> (chunk.interior + j), interior);
    return _mm_movemask_pd (inside) == 3;
}
#endif

// Catmull-Rom from the four neighbours and the fraction, in single precision.
VORN_REVERSER_INLINE float catmullRomSample (const float* y, float t) noexcept
{
    const float ym1 = y[0], y0 = y[1], y1 = y[2], y2 = y[3];
    const float c1 = 0.5f * (y1 - ym1);
    const float c2 = ym1 - 2.5f * y0 + 2.0f * y1 - 0.5f * y2;
    const float c3 = 0.5f * (y2 - ym1) + 1.5f * (y0 - y1);
    return ((c3 * t + c2) * t + c1) * t + y0;
}

#if VORN_REVERSER_SSE2
VORN_REVERSER_INLINE __m128 loadNeighbours (const float* buffer, int32_t length, int32_t i, bool interior) noexcept
{
    if (interior)
        return _mm_loadu_ps (buffer + i - 1);
    float y[4];
    loadNeighbours (buffer, length, i, y);
    return _mm_loadu_ps (y);
}

// Four Catmull-Rom reads at once: row k holds lane k's y-1, y0, y1, y2 and
// lane k of t its fraction. Each lane does exactly catmullRomSample's steps in
// the same order; packed SSE arithmetic rounds every lane as scalar code does.
VORN_REVERSER_INLINE __m128 catmullRomLanes (__m128 ym1, __m128 y0, __m128 y1, __m128 y2, __m128 t) noexcept
{
    _MM_TRANSPOSE4_PS (ym1, y0, y1, y2);

    const __m128 half = _mm_set1_ps (0.5f);
    const __m128 c1 = _mm_mul_ps (half, _mm_sub_ps (y1, ym1));
    const __m128 c2 = _mm_sub_ps (_mm_add_ps (_mm_sub_ps (ym1, _mm_mul_ps (_mm_set1_ps (2.5f), y0)),
                                              _mm_mul_ps (_mm_set1_ps (2.0f), y1)),
                                  _mm_mul_ps (half, y2));
    const __m128 c3 = _mm_add_ps (_mm_mul_ps (half, _mm_sub_ps (y2, ym1)),
                                  _mm_mul_ps (_mm_set1_ps (1.5f), _mm_sub_ps (y0, y1)));
    __m128 r = _mm_add_ps (_mm_mul_ps (c3, t), c2);
    r = _mm_add_ps (_mm_mul_ps (r, t), c1);
    return _mm_add_ps (_mm_mul_ps (r, t), y0);
}
#endif
} // namespace reverser_detail

class ReverserMono
{
public:
    ReverserMono() = default;
    ReverserMono (const ReverserMono&) = delete;
    ReverserMono& operator= (const ReverserMono&) = delete;
    ~ReverserMono() { release(); }

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
        if (! isPrepared() || numSamples <= 0)
            return;

        ReverserMono* const channels[1] = { this };
        const float* const inputs[1] = { input };
        float* const outputs[1] = { output };
        processChannels<1> (channels, inputs, outputs, segmentLength, overlap, feedback, curve, intensity, numSamples);
    }

    // Brings a read position into 0 .. bufferLength. One wrap covers every
    // position the heads reach in normal running; positions further out (a
    // curve overshooting while the segment just became much shorter) are
    // reduced modulo the buffer length, so they still read recorded audio
    // instead of leaving the buffer. The result is never -0.0.
    double wrapPosition (double x) const noexcept
    {
        const double length = (double) bufferLength;
        if (x >= length)
            x -= length;
        else if (x < 0.0)
            x += length;

        if (x > 0.0 && x < length)
            return x;
        return foldPosition (x);
    }

    // Four-point Catmull-Rom read at a wrapped fractional position.
    float catmullRom (double x) const noexcept
    {
        const int32_t i = (int32_t) x;
        const float t = (float) (x - std::trunc (x));

        float y[4];
        reverser_detail::loadNeighbours (buffer, bufferLength, i, y);
        return reverser_detail::catmullRomSample (y, t);
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
    friend class Reverser;

    bool isPrepared() const noexcept { return buffer != nullptr && bufferLength != 0; }

    void resetHeads() noexcept
    {
        feedbackSample = 0.0f;
        resyncPending = false;
        writeIndex = 0;
        phase = 0.0;
        segmentStart = 0.0;
        resyncPosition = -1.0;
    }

    // wrapPosition's single wrap. A position that it leaves outside 0 < x <
    // length clears `inside` and comes back as 0.0 (a harmless placeholder
    // until it is redone with wrapPosition).
    VORN_REVERSER_INLINE double wrapOnce (double x, bool& inside) const noexcept
    {
        const double length = (double) bufferLength;
        if (x >= length)
            x -= length;
        else if (x < 0.0)
            x += length;
        const bool ok = x > 0.0 && x < length;
        inside &= ok;
        return ok ? x : 0.0;
    }

    // Zero (of either sign) and positions a single wrap could not bring
    // inside: reduced modulo the length, not-a-number and infinities to 0.
    double foldPosition (double x) const noexcept
    {
        const double length = (double) bufferLength;
        if (! std::isfinite (x))
            return 0.0;
        x = std::fmod (x, length);
        if (x < 0.0)
            x += length;
        return (x > 0.0 && x < length) ? x : 0.0;
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

    // Picks the loop compiled for the block's curve. All channels must be
    // prepared with the same length and have identical head state.
    template <int NumChannels>
    static void processChannels (ReverserMono* const* channels, const float* const* inputs, float* const* outputs,
                                 double segmentLength, const float* overlap, const float* feedback, int curve,
                                 const float* intensity, int numSamples) noexcept
    {
        using namespace reverser_detail;

        #define VORN_REVERSER_RUN(c) run<c, NumChannels> (channels, inputs, outputs, segmentLength, overlap, feedback, intensity, numSamples)
        switch (curve)
        {
            case kNaturalMinus:   VORN_REVERSER_RUN (kNaturalMinus); break;
            case kQuadraticPlus:  VORN_REVERSER_RUN (kQuadraticPlus); break;
            case kQuadraticMinus: VORN_REVERSER_RUN (kQuadraticMinus); break;
            case kHyperbolic:     VORN_REVERSER_RUN (kHyperbolic); break;
            case kBiCubic:        VORN_REVERSER_RUN (kBiCubic); break;
            case kWarp:           VORN_REVERSER_RUN (kWarp); break;
            case kSlidePlus:      VORN_REVERSER_RUN (kSlidePlus); break;
            case kSlideMinus:     VORN_REVERSER_RUN (kSlideMinus); break;
            case kWavy4:          VORN_REVERSER_RUN (kWavy4); break;
            case kWavy6:          VORN_REVERSER_RUN (kWavy6); break;
            case kWavy8:          VORN_REVERSER_RUN (kWavy8); break;
            default:              VORN_REVERSER_RUN (kNaturalPlus); break;
        }
        #undef VORN_REVERSER_RUN
    }

    // The per-sample algorithm, run over chunks of up to kChunkSize samples.
    // First the heads' side of every sample in the chunk: the segment grid,
    // the curve, the read positions and the gains depend only on the shared
    // head state and the controls, never on the audio, so they are worked out
    // once for all channels, each in a loop of its own. Then each sample is
    // recorded and read, in sample order, per channel. Within a sample the
    // record step still comes before its reads, so a read of the sample just
    // written sees it, exactly as in a single per-sample loop; the only reads
    // moved later (paired head B reads) are checked not to touch a sample
    // recorded in between. Every value is computed with the same operations
    // in the same order as sample by sample, so the results are identical.
   #if VORN_REVERSER_SSE2
    // Two stereo samples j and j + 1 can share one interpolation for their
    // head B reads (BL, BR of both) when head B of sample j, which is then
    // read after sample j + 1 has recorded, does not touch the sample it
    // records, and all reads of both lie inside the buffer unwrapped.
    static bool canPairHeadB (const reverser_detail::HeadChunk& chunk, int j) noexcept
    {
        const uint32_t distance = (uint32_t) (chunk.writeIndex[j + 1] - (chunk.index[2][j] - 1));
        return chunk.interior[j] != 0 && chunk.interior[j + 1] != 0 && distance >= 4u;
    }

    // Lanes tapL, tapR, AL, AR of sample j, all four reads inside the buffer unwrapped.
    VORN_REVERSER_INLINE static __m128 tapAndHeadA (const reverser_detail::HeadChunk& chunk, int j, const float* bl,
                                                    const float* br) noexcept
    {
        const __m128 t = _mm_unpacklo_ps (_mm_load_ss (chunk.fraction[0] + j), _mm_load_ss (chunk.fraction[1] + j));
        const int32_t tap = chunk.index[0][j] - 1, a = chunk.index[1][j] - 1;
        return reverser_detail::catmullRomLanes (_mm_loadu_ps (bl + tap), _mm_loadu_ps (br + tap), _mm_loadu_ps (bl + a),
                                                 _mm_loadu_ps (br + a), _mm_unpacklo_ps (t, t));
    }

    // Samples j and j + 1 of a chunk, both channels: record j, read tap and
    // head A of j, record j + 1, read tap and head A of j + 1, then head B of
    // both. Every value is computed exactly as in the one-sample path.
    VORN_REVERSER_INLINE static void recordAndReadPair (const reverser_detail::HeadChunk& chunk, int j, float* const* buffers,
                                   float* feedbackSamples, const float* feedback, const float* const* inputs,
                                   float* const* outputs, int i) noexcept
    {
        using namespace reverser_detail;
        float* const bl = buffers[0];
        float* const br = buffers[1];
        const auto neighbours = [] (const float* b, int32_t index) noexcept { return _mm_loadu_ps (b + index - 1); };
        alignas (16) float r[4];

        const int32_t w0 = chunk.writeIndex[j];
        bl[w0] = feedbackSamples[0] * feedback[0] + inputs[0][i];
        br[w0] = feedbackSamples[1] * feedback[0] + inputs[1][i];
        const __m128 first0 = tapAndHeadA (chunk, j, bl, br);
        _mm_store_ps (r, first0);

        const int32_t w1 = chunk.writeIndex[j + 1];
        bl[w1] = r[0] * feedback[1] + inputs[0][i + 1];
        br[w1] = r[1] * feedback[1] + inputs[1][i + 1];
        const __m128 first1 = tapAndHeadA (chunk, j + 1, bl, br);
        _mm_store_ps (r, first1);
        feedbackSamples[0] = r[0];
        feedbackSamples[1] = r[1];

        // Lanes BL, BR of sample j, then of sample j + 1.
        const __m128 zero = _mm_setzero_ps();
        const __m128 tB = _mm_loadl_pi (zero, reinterpret_cast<const __m64*> (chunk.fraction[2] + j));
        const int32_t b0 = chunk.index[2][j], b1 = chunk.index[2][j + 1];
        const __m128 second = catmullRomLanes (neighbours (bl, b0), neighbours (br, b0), neighbours (bl, b1),
                                               neighbours (br, b1), _mm_unpacklo_ps (tB, tB));

        const __m128 gainA = _mm_loadl_pi (zero, reinterpret_cast<const __m64*> (chunk.gainA + j));
        const __m128 gainB = _mm_loadl_pi (zero, reinterpret_cast<const __m64*> (chunk.gainB + j));
        const __m128 out = _mm_add_ps (_mm_mul_ps (_mm_unpacklo_ps (gainA, gainA), _mm_movehl_ps (first1, first0)),
                                       _mm_mul_ps (_mm_unpacklo_ps (gainB, gainB), second));
        const __m128 perChannel = _mm_shuffle_ps (out, out, _MM_SHUFFLE (3, 1, 2, 0)); // L0, L1, R0, R1
        _mm_storel_pi (reinterpret_cast<__m64*> (outputs[0] + i), perChannel);
        _mm_storeh_pi (reinterpret_cast<__m64*> (outputs[1] + i), perChannel);
    }
   #endif

    template <int CurveIndex, int NumChannels>
    static void run (ReverserMono* const* channels, const float* const* inputs, float* const* outputs,
                     double segmentLength, const float* overlap, const float* feedback, const float* intensity,
                     int numSamples) noexcept
    {
        static_assert (NumChannels == 1 || NumChannels == 2, "one or two channels");
        using namespace reverser_detail;

        const ReverserMono& heads = *channels[0];
        const double L = heads.effectiveSegmentLength (segmentLength);
        const double invL = 1.0 / L;
        for (int c = 0; c < NumChannels; ++c)
            channels[c]->applyResync (L);

        const int32_t length = heads.bufferLength;
        double phase = heads.phase;
        double segmentStart = heads.segmentStart;
        int32_t writeIndex = heads.writeIndex;

        float* buffers[(size_t) NumChannels];
        float feedbackSamples[(size_t) NumChannels];
        for (int c = 0; c < NumChannels; ++c)
        {
            buffers[c] = channels[c]->buffer;
            feedbackSamples[c] = channels[c]->feedbackSample;
        }

        HeadChunk chunk;

        // Read positions of sample j, one at a time; `fold` uses the full
        // wrapPosition, otherwise positions needing the fold clear `inside`.
        const auto placeReads = [&] (int j, bool fold, bool& inside) noexcept
        {
            const double start = chunk.start[j];
            const double q = chunk.progress[j];
            const double x[3] = { start - chunk.phase[j], start - q * L, start + (1.0 - q) * L };
            bool interior = true;
            for (int k = 0; k < 3; ++k)
                interior &= setRead (chunk, k, j, fold ? heads.wrapPosition (x[k]) : heads.wrapOnce (x[k], inside), length);
            chunk.interior[j] = interior ? 1 : 0;
        };

        for (int chunkStart = 0; chunkStart < numSamples; chunkStart += kChunkSize)
        {
            const int n = numSamples - chunkStart < kChunkSize ? numSamples - chunkStart : kChunkSize;

            // The segment grid: phase and segment start of each sample.
            for (int j = 0; j < n; ++j)
            {
                chunk.phase[j] = phase;
                chunk.start[j] = segmentStart;
                chunk.writeIndex[j] = writeIndex;

                phase += 1.0;
                if (phase >= L)
                {
                    phase -= L;
                    segmentStart = (double) writeIndex;
                }
                if (++writeIndex == length)
                    writeIndex = 0;
            }

            // The curve, on its own so that its library calls do not force the
            // rest of the work in and out of registers.
            for (int j = 0; j < n; ++j)
            {
                const double u = chunk.phase[j] * invL;
                const float uf = (float) u;
                chunk.uf[j] = uf;
                chunk.progress[j] = warpedProgress<CurveIndex> (u, uf, intensity[chunkStart + j]);
            }

            // Read positions. Positions that one wrap cannot bring inside the
            // buffer are rare; the chunk's positions are then redone with the fold.
            bool inside = true;
            int j = 0;
           #if VORN_REVERSER_SSE2
            for (; j + 2 <= n; j += 2)
                inside &= setReadPair (chunk, j, L, length);
           #endif
            for (; j < n; ++j)
                placeReads (j, false, inside);
            if (! inside)
                for (j = 0; j < n; ++j)
                    placeReads (j, true, inside);

            computeGains (chunk.uf, overlap + chunkStart, chunk.gainA, chunk.gainB, n);

            // Record and read, sample by sample. Head B is read and added even
            // when silent: 0 x y is -0.0 for a negative y, or not a number for
            // an infinite one, and either can change the sum.
            for (j = 0; j < n; ++j)
            {
                const int i = chunkStart + j;
               #if VORN_REVERSER_SSE2
                if constexpr (NumChannels == 2)
                {
                    if (j + 1 < n && canPairHeadB (chunk, j))
                    {
                        recordAndReadPair (chunk, j, buffers, feedbackSamples, feedback + i, inputs, outputs, i);
                        ++j;
                        continue;
                    }
                }
               #endif
                const float fb = feedback[i];
                const int32_t w = chunk.writeIndex[j];
                for (int c = 0; c < NumChannels; ++c)
                    buffers[c][w] = feedbackSamples[c] * fb + inputs[c][i];

                const int32_t tapIndex = chunk.index[0][j], aIndex = chunk.index[1][j], bIndex = chunk.index[2][j];
               #if VORN_REVERSER_SSE2
                const bool in = chunk.interior[j] != 0;
                const __m128 tTap = _mm_load_ss (chunk.fraction[0] + j);
                const __m128 tA = _mm_load_ss (chunk.fraction[1] + j);
                const __m128 tB = _mm_load_ss (chunk.fraction[2] + j);
                const __m128 tTapA = _mm_unpacklo_ps (tTap, tA);
                alignas (16) float r[4];
                if constexpr (NumChannels == 1)
                {
                    // Lanes tap, A, B.
                    const float* b = buffers[0];
                    _mm_store_ps (r, catmullRomLanes (loadNeighbours (b, length, tapIndex, in),
                                                      loadNeighbours (b, length, aIndex, in),
                                                      loadNeighbours (b, length, bIndex, in),
                                                      _mm_setzero_ps(), _mm_movelh_ps (tTapA, tB)));
                    feedbackSamples[0] = r[0];
                    float out = chunk.gainA[j] * r[1];
                    out += chunk.gainB[j] * r[2];
                    outputs[0][i] = out;
                }
                else
                {
                    // Lanes tapL, tapR, AL, AR, then BL, BR.
                    const float* bl = buffers[0];
                    const float* br = buffers[1];
                    const __m128 first = catmullRomLanes (loadNeighbours (bl, length, tapIndex, in),
                                                          loadNeighbours (br, length, tapIndex, in),
                                                          loadNeighbours (bl, length, aIndex, in),
                                                          loadNeighbours (br, length, aIndex, in),
                                                          _mm_unpacklo_ps (tTapA, tTapA));
                    const __m128 second = catmullRomLanes (loadNeighbours (bl, length, bIndex, in),
                                                           loadNeighbours (br, length, bIndex, in),
                                                           _mm_setzero_ps(), _mm_setzero_ps(), _mm_unpacklo_ps (tB, tB));
                    _mm_store_ps (r, first);
                    feedbackSamples[0] = r[0];
                    feedbackSamples[1] = r[1];

                    // out = gainA x A, then out += gainB x B, for both channels at once.
                    const __m128 out = _mm_add_ps (_mm_mul_ps (_mm_set1_ps (chunk.gainA[j]), _mm_movehl_ps (first, first)),
                                                   _mm_mul_ps (_mm_set1_ps (chunk.gainB[j]), second));
                    _mm_store_ss (outputs[0] + i, out);
                    _mm_store_ss (outputs[1] + i, _mm_shuffle_ps (out, out, 1));
                }
               #else
                const int32_t readIndex[3] = { tapIndex, aIndex, bIndex };
                for (int c = 0; c < NumChannels; ++c)
                {
                    float y[3][4];
                    for (int k = 0; k < 3; ++k)
                        loadNeighbours (buffers[c], length, readIndex[k], y[k]);
                    feedbackSamples[c] = catmullRomSample (y[0], chunk.fraction[0][j]);
                    float out = chunk.gainA[j] * catmullRomSample (y[1], chunk.fraction[1][j]);
                    out += chunk.gainB[j] * catmullRomSample (y[2], chunk.fraction[2][j]);
                    outputs[c][i] = out;
                }
               #endif
            }
        }

        for (int c = 0; c < NumChannels; ++c)
        {
            ReverserMono& channel = *channels[c];
            channel.phase = phase;
            channel.segmentStart = segmentStart;
            channel.writeIndex = writeIndex;
            channel.feedbackSample = feedbackSamples[c];
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

    // Both channels, with the same result as left.processBlock followed by
    // right.processBlock. In the processor the two channels' heads always move
    // together (prepared, cleared, re-aligned and driven alike), so positions,
    // curve and gains are worked out once per sample for both; channels that
    // are not in step simply run one after the other.
    void processBlock (const float* inputLeft, const float* inputRight, double segmentLength, const float* overlap,
                       const float* feedback, int curve, const float* intensity, float* outputLeft,
                       float* outputRight, int numSamples) noexcept
    {
        if (! channelsInStep())
        {
            left.processBlock (inputLeft, segmentLength, overlap, feedback, curve, intensity, outputLeft, numSamples);
            right.processBlock (inputRight, segmentLength, overlap, feedback, curve, intensity, outputRight, numSamples);
            return;
        }
        if (numSamples <= 0)
            return;

        ReverserMono* const channels[2] = { &left, &right };
        const float* const inputs[2] = { inputLeft, inputRight };
        float* const outputs[2] = { outputLeft, outputRight };
        ReverserMono::processChannels<2> (channels, inputs, outputs, segmentLength, overlap, feedback, curve,
                                          intensity, numSamples);
    }

private:
    static bool sameBits (double a, double b) noexcept { return std::memcmp (&a, &b, sizeof (double)) == 0; }

    bool channelsInStep() const noexcept
    {
        return left.isPrepared() && right.isPrepared()
            && left.bufferLength == right.bufferLength
            && left.writeIndex == right.writeIndex
            && sameBits (left.phase, right.phase)
            && sameBits (left.segmentStart, right.segmentStart)
            && left.resyncPending == right.resyncPending
            && (! left.resyncPending || sameBits (left.resyncPosition, right.resyncPosition));
    }
};
