#pragma once

#include "Marnovex_ParameterAttachment.h"

#include <juce_gui_basics/juce_gui_basics.h>

namespace marnovex
{
// The wide level display: a row of small rounded bars, one per history entry,
// stacked along the selected curve bent by the current Intensity. Silence
// shows as a dotted line tracing the curve; sound thickens the dots into bars
// centred on it. It never repaints by itself: whoever pushes a new level into
// `history` (the editor's timer) repaints it, so curve changes show up at the
// next push.
class Marnovex_Canvas : public juce::Component,
                        public Marnovex_ParameterListener
{
public:
    enum ColourIds
    {
        curveColourId = 0x2000400
    };

    explicit Marnovex_Canvas (juce::AudioProcessorValueTreeState& state);
    ~Marnovex_Canvas() override;

    void paint (juce::Graphics& g) override;
    void parameterChanged (juce::RangedAudioParameter* parameter, float denormalisedValue) override;

    // Height of the curve for curve index `curveIndex` (0..11) at horizontal
    // position `e` (0..1), bent by `strength` (0..1): 0 at the bottom line,
    // 1 at the top line.
    static float curveHeight (int curveIndex, float e, float strength) noexcept;

    Marnovex_ParameterAttachment curveAttachment;
    Marnovex_ParameterAttachment intensityAttachment;

    float curve = 0.0f;     // normalised Curve choice: index / 11
    float intensity = 0.0f; // normalised Intensity, as the parameter maps it

    static constexpr int maxHistorySize = 145;
    int historySize = maxHistorySize;
    float history[maxHistorySize] {}; // levels 0..1, index 0 oldest

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (Marnovex_Canvas)
};
} // namespace marnovex
