#include "Marnovex_ParameterFunctions.h"

#include <cmath>

namespace marnovex
{
juce::String createPercentValue (float value, int /*maximumStringLength*/)
{
    return juce::String ((double) value, 1) + " %";
}

juce::String createTextValue (float value, int /*maximumStringLength*/)
{
    return juce::String ((juce::int32) value);
}

static float limitToRange (float start, float end, float value)
{
    if (value < start)
        return start;
    if (value > end)
        return end;
    return value;
}

float marnovexLinearMapFunction (float rangeStart, float rangeEnd, float normalised)
{
    const float c = std::max (0.0f, std::min (normalised, 1.0f));
    return rangeStart + c * (rangeEnd - rangeStart);
}

float marnovexLinearUnMapFunction (float rangeStart, float rangeEnd, float value)
{
    const float v = limitToRange (rangeStart, rangeEnd, value);
    return (v - rangeStart) / (rangeEnd - rangeStart);
}

float marnovexQuadraticMapFunction (float rangeStart, float rangeEnd, float normalised)
{
    // x * x is never negative, so only the upper end needs a clamp. A host
    // value that is not a number lands on the start, as on a linear range:
    // passed on, it would silence the effect for good through the smoothers.
    const float c = std::min (normalised * normalised, 1.0f);
    if (std::isnan (c))
        return rangeStart;
    return rangeStart + c * (rangeEnd - rangeStart);
}

float marnovexQuadraticUnMapFunction (float rangeStart, float rangeEnd, float value)
{
    const float v = limitToRange (rangeStart, rangeEnd, value);
    return std::sqrt ((v - rangeStart) / (rangeEnd - rangeStart));
}

using StringFromValue = std::function<juce::String (float, int)>;

static StringFromValue continuousText (ParameterUnit unit)
{
    if (unit == ParameterUnit::Integer)
        return createTextValue;
    return createPercentValue;
}

std::unique_ptr<juce::AudioParameterFloat> createContinuousParameter (juce::String parameterID,
                                                                      juce::String name,
                                                                      juce::Range<float> range,
                                                                      float defaultValue,
                                                                      ParameterUnit unit,
                                                                      ParameterMapping mapping)
{
    const bool quadratic = mapping == ParameterMapping::Quadratic;
    juce::NormalisableRange<float> normalisable (range.getStart(),
                                                 range.getEnd(),
                                                 quadratic ? marnovexQuadraticMapFunction : marnovexLinearMapFunction,
                                                 quadratic ? marnovexQuadraticUnMapFunction : marnovexLinearUnMapFunction);

    const auto attributes = juce::AudioParameterFloatAttributes().withStringFromValueFunction (continuousText (unit));
    return std::make_unique<juce::AudioParameterFloat> (juce::ParameterID (parameterID, 0),
                                                        name,
                                                        normalisable,
                                                        defaultValue,
                                                        attributes);
}

std::unique_ptr<juce::AudioParameterInt> createIntegerParameter (juce::String parameterID,
                                                                 juce::String name,
                                                                 juce::Range<int> range,
                                                                 int defaultValue,
                                                                 ParameterUnit unit)
{
    const auto text = continuousText (unit);
    const auto attributes = juce::AudioParameterIntAttributes().withStringFromValueFunction (
        [text] (int value, int maximumStringLength) { return text ((float) value, maximumStringLength); });

    return std::make_unique<juce::AudioParameterInt> (juce::ParameterID (parameterID, 0),
                                                      name,
                                                      range.getStart(),
                                                      range.getEnd(),
                                                      defaultValue,
                                                      attributes);
}

const juce::StringArray& curveNames()
{
    static const juce::StringArray names { "Natural+", "Natural-", "Quadratic+", "Quadratic-",
                                           "Hyperbolic", "Bi-Cubic", "Warp", "Slide+",
                                           "Slide-", "Wavy 4x", "Wavy 6x", "Wavy 8x" };
    return names;
}
} // namespace marnovex
