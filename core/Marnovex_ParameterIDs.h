#pragma once

#include <juce_core/juce_core.h>

// Parameter IDs: the lasting identity of each parameter for host automation,
// stored state and preset files. Never rename them.
namespace marnovex
{
static const juce::String kParameter_TimeN = "TimeNumerator";
static const juce::String kParameter_TimeD = "TimeDenominator";
static const juce::String kParameter_Curve = "Curve";
static const juce::String kParameter_Intensity = "Intensity";
static const juce::String kParameter_Overlap = "Overlap";
static const juce::String kParameter_Feedback = "Feedback";
static const juce::String kParameter_Send = "Send";
static const juce::String kParameter_Return = "Return";
static const juce::String kParameter_Mix = "Mix";
} // namespace marnovex
