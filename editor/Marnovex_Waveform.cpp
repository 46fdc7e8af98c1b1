#include "Marnovex_Waveform.h"

#include "Marnovex_Colours.h"
#include "Marnovex_CurveMaths.h"
#include "Marnovex_ParameterIDs.h"
#include "Reverser.h"

#include <cmath>

namespace marnovex
{
namespace
{
using Curve = reverser_detail::Curve;
using namespace curve_maths;

// 1 / 0.85: stretches a slide's bend so that it nearly fills the icon.
constexpr float kSlideScale = 1.1764705f;
constexpr float kSlidePlusTop = 1.0264705f; // kSlideScale - 0.15

constexpr float kMargin = 2.0f;

float slideBend (float x) noexcept
{
    return x > 0.75f ? 0.85f * std::tanh (6.0f * x - kSlideOffset) : x;
}

float warpCurve (float e) noexcept
{
    const float c = 2.0f * e - 1.0f;
    const float k = scaledCos (warpWeight (e), kPi);
    return (0.5f - 0.5f * k) * (4.0f * c * c * c + 0.5f) + (0.5f + 0.5f * k) * e;
}
} // namespace

Marnovex_Waveform::Marnovex_Waveform (juce::AudioProcessorValueTreeState& state)
    : attachment (state, kParameter_Curve)
{
    setColour (curveColourId, Colours::grey);
    attachment.setListener (this);
}

Marnovex_Waveform::~Marnovex_Waveform() = default;

float Marnovex_Waveform::iconCurve (int index, float e) noexcept
{
    switch (index)
    {
        case Curve::kNaturalMinus:   return scaledSin (e, kHalfPi);
        // Quarter circles read better at this size than the parabola and root.
        case Curve::kQuadraticPlus:  return 1.0f - std::sqrt (1.0f - e * e);
        case Curve::kQuadraticMinus: return std::sqrt (1.0f - (1.0f - e) * (1.0f - e));
        case Curve::kHyperbolic:     return 0.5f * scaledTanh (2.0f * e - 1.0f, kE) + 0.5f;
        case Curve::kBiCubic:
        {
            const float c = 2.0f * e - 1.0f;
            return 0.5f * c * c * c + 0.5f;
        }
        case Curve::kWarp:           return warpCurve (e);
        case Curve::kSlidePlus:      return kSlidePlusTop - kSlideScale * slideBend (1.0f - e);
        case Curve::kSlideMinus:     return kSlideScale * slideBend (e);
        case Curve::kWavy4:          return e + 0.1f * scaledSin (e, 12.566370614359172);
        case Curve::kWavy6:          return e + 0.1f * scaledSin (e, 18.84955592153876);
        case Curve::kWavy8:          return e + 0.1f * scaledSin (e, 25.132741228718345);
        default:                     return scaledSin (e - 1.0f, kHalfPi) + 1.0f;
    }
}

juce::Path Marnovex_Waveform::curvePath (float width, float height) const
{
    juce::Path path;

    const float innerWidth = width - 2.0f * kMargin;
    const float innerHeight = height - 2.0f * kMargin;

    // A zero-wide icon would have a single point at a position that is not a
    // number; nothing would be visible either way.
    if (! (innerWidth > 0.0f))
        return path;

    const float inv = 1.0f / innerWidth;
    bool first = true;

    // Half-pixel steps, accumulated in float: exact, so the last point lands on e = 1.
    for (float px = 0.0f; px <= innerWidth; px += 0.5f)
    {
        const float v = iconCurve (curveIndex, px * inv);
        const juce::Point<float> point (px + kMargin, (1.0f - v) * innerHeight + kMargin);

        if (first)
            path.startNewSubPath (point);
        else
            path.lineTo (point);

        first = false;
    }

    return path;
}

void Marnovex_Waveform::paint (juce::Graphics& g)
{
    g.setColour (findColour (curveColourId));
    g.strokePath (curvePath ((float) getWidth(), (float) getHeight()),
                  juce::PathStrokeType (3.0f, juce::PathStrokeType::curved, juce::PathStrokeType::rounded));
}

void Marnovex_Waveform::parameterChanged (juce::RangedAudioParameter*, float denormalisedValue)
{
    // A choice index arrives as an exact whole number. Anything outside the
    // table draws Natural+, and is limited first so the conversion stays defined.
    curveIndex = std::isfinite (denormalisedValue) ? (int) juce::jlimit (-1.0f, 12.0f, denormalisedValue) : 0;
    repaint();
}
} // namespace marnovex
