#include "Marnovex_Canvas.h"

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

float warpCurve (float e, float I) noexcept
{
    const float c = 2.0f * e - 1.0f;
    const float m = 0.5f * scaledCos (warpWeight (e), kPi);
    return e + I * ((4.0f * c * c * c + 0.5f) * (0.5f - m) - e + (0.5f + m) * e);
}

// The slides follow the straight line up to 0.75 and bend into 0.85 tanh
// above it; the strength acts inside the bend, as in the engine.
float slideBend (float x, float I) noexcept
{
    if (x > 0.75f)
        return x + I * (0.85f * std::tanh (6.0f * x - kSlideOffset) - x);
    return x;
}

// The wave is four times the engine's, without its tilt: the engine's
// 0.025 would hardly show at this size.
float wavyCurve (float e, float I, double angularFactor) noexcept
{
    return e + I * 0.1f * scaledSin (e, angularFactor);
}

// Keeps a normalised value inside 0..1; something that is not a number counts as 0.
float clampToUnit (float n) noexcept
{
    return n > 0.0f ? juce::jmin (n, 1.0f) : 0.0f;
}
} // namespace

Marnovex_Canvas::Marnovex_Canvas (juce::AudioProcessorValueTreeState& state)
    : curveAttachment (state, kParameter_Curve),
      intensityAttachment (state, kParameter_Intensity)
{
    setColour (curveColourId, Colours::grey);

    curveAttachment.setListener (this);
    intensityAttachment.setListener (this);
}

Marnovex_Canvas::~Marnovex_Canvas() = default;

float Marnovex_Canvas::curveHeight (int curveIndex, float e, float I) noexcept
{
    switch (curveIndex)
    {
        case Curve::kNaturalMinus:   return e + I * (scaledSin (e, kHalfPi) - e);
        case Curve::kQuadraticPlus:  return e + I * (e * e - e);
        case Curve::kQuadraticMinus: return e + I * (std::sqrt (e) - e);
        case Curve::kHyperbolic:
        {
            const float c = 2.0f * e - 1.0f;
            return e + I * ((0.5f - e) + 0.5f * scaledTanh (c, kE));
        }
        case Curve::kBiCubic:
        {
            const float c = 2.0f * e - 1.0f;
            return e + I * ((0.5f - e) + 0.5f * c * c * c);
        }
        case Curve::kWarp:           return warpCurve (e, I);
        case Curve::kSlidePlus:      return 1.0f - slideBend (1.0f - e, I);
        case Curve::kSlideMinus:     return slideBend (e, I);
        case Curve::kWavy4:          return wavyCurve (e, I, 12.566370614359172);
        case Curve::kWavy6:          return wavyCurve (e, I, 18.84955592153876);
        case Curve::kWavy8:          return wavyCurve (e, I, 25.132741228718345);
        default:                     return e + I * (scaledSin (e - 1.0f, kHalfPi) - e + 1.0f);
    }
}

void Marnovex_Canvas::paint (juce::Graphics& g)
{
    g.setColour (findColour (curveColourId));

    // The history array is fixed; a larger count must not read past it.
    const int n = juce::jmin (historySize, maxHistorySize);
    if (n <= 0 || getWidth() <= 0 || getHeight() <= 0)
        return;

    const auto W = (float) getWidth();
    const auto H = (float) getHeight();
    const float step = W / (float) n;
    const float invW = 1.0f / W;
    const int k = (int) (curve * 11.0f);

    for (int i = 0; i < n; ++i)
    {
        const float px = (float) i * step;
        const float s = curveHeight (k, px * invW, intensity);
        const float h = history[i];
        const float y = ((0.8f - 0.6f * s) - 0.16f * h) * H;

        // Each bar is centred on the curve line and grows by the level both ways;
        // silence leaves a 2 x 2 dot.
        g.fillRoundedRectangle (px + 1.0f, y - 1.0f, step - 2.0f, 0.32f * H * h + 2.0f, 0.5f * (step - 2.0f));
    }
}

// No repaint here: the editor's timer repaints on every level push, which is
// soon enough for a control change and keeps the two in step.
void Marnovex_Canvas::parameterChanged (juce::RangedAudioParameter* parameter, float denormalisedValue)
{
    if (parameter == nullptr)
        return;

    const float normalised = clampToUnit (parameter->convertTo0to1 (denormalisedValue));

    if (curveAttachment.parameter != nullptr && parameter->paramID == curveAttachment.parameter->paramID)
        curve = normalised;

    if (intensityAttachment.parameter != nullptr && parameter->paramID == intensityAttachment.parameter->paramID)
        intensity = normalised;
}
} // namespace marnovex
