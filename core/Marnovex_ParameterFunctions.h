#pragma once

#include <juce_audio_processors/juce_audio_processors.h>

#include <memory>

namespace marnovex
{
// Selects the value-to-text function a factory attaches.
enum class ParameterUnit
{
    Percent,
    Integer
};

// Selects the map/unmap pair of a continuous parameter.
enum class ParameterMapping
{
    Linear = 0,
    Quadratic = 1
};

// "12.5 %": one decimal, always a point, never shortened.
juce::String createPercentValue (float value, int maximumStringLength);

// "4": the value truncated toward zero, never shortened.
juce::String createTextValue (float value, int maximumStringLength);

// NormalisableRange remap callbacks: (start, end, x). Map takes a normalised
// x, unmap a value in display units.
float marnovexLinearMapFunction (float rangeStart, float rangeEnd, float normalised);
float marnovexLinearUnMapFunction (float rangeStart, float rangeEnd, float value);
float marnovexQuadraticMapFunction (float rangeStart, float rangeEnd, float normalised);
float marnovexQuadraticUnMapFunction (float rangeStart, float rangeEnd, float value);

std::unique_ptr<juce::AudioParameterFloat> createContinuousParameter (juce::String parameterID,
                                                                      juce::String name,
                                                                      juce::Range<float> range,
                                                                      float defaultValue,
                                                                      ParameterUnit unit,
                                                                      ParameterMapping mapping);

std::unique_ptr<juce::AudioParameterInt> createIntegerParameter (juce::String parameterID,
                                                                 juce::String name,
                                                                 juce::Range<int> range,
                                                                 int defaultValue,
                                                                 ParameterUnit unit);

// The "Curve" choices in index order; the engine selects its shape by index.
const juce::StringArray& curveNames();
} // namespace marnovex
