#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

namespace vorn::test
{
// The build tree's folder for images written by tests, for a person to look at.
juce::File testOutputFolder();

// Writes `image` as "<name>.png" into the test output folder; false on failure.
bool writeTestImage (const juce::Image& image, const juce::String& name);

// Renders `component` at its current size (no scaling) into an ARGB image.
juce::Image renderComponent (juce::Component& component);
} // namespace vorn::test
