#pragma once

#include "Marnovex_ParameterAttachment.h"

#include <juce_gui_basics/juce_gui_basics.h>

namespace marnovex
{
// The small icon inside the Curve control: strokes the selected curve at full
// strength from the lower-left to the upper-right corner. It draws its own
// versions of some curves (quarter circles for the quadratic pair, rescaled
// slides) because they read better at this size; Intensity is ignored.
class Marnovex_Waveform : public juce::Component,
                          public Marnovex_ParameterListener
{
public:
    enum ColourIds
    {
        curveColourId = 0x2000400
    };

    explicit Marnovex_Waveform (juce::AudioProcessorValueTreeState& state);
    ~Marnovex_Waveform() override;

    void paint (juce::Graphics& g) override;
    void parameterChanged (juce::RangedAudioParameter* parameter, float denormalisedValue) override;

    // The icon's curve `index` (0..11) at horizontal position `e` (0..1):
    // 0 at the bottom margin, 1 at the top margin.
    static float iconCurve (int index, float e) noexcept;

    // The stroked centre line for the current curve in a component of this size.
    juce::Path curvePath (float width, float height) const;

    Marnovex_ParameterAttachment attachment;
    int curveIndex = 0;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (Marnovex_Waveform)
};
} // namespace marnovex
