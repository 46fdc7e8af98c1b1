#pragma once

#include "Marnovex_ParameterAttachment.h"
#include "Marnovex_PressHistory.h"

#include <juce_gui_basics/juce_gui_basics.h>

namespace marnovex
{
// The Time control: "TimeNumerator" over "TimeDenominator" inside a ring.
// A press in the upper half drags the numerator, from the middle line down
// the denominator; a double-click on it or an Alt-click resets both, outside
// any gesture.
class Marnovex_RatioKnob : public juce::Component,
                           public Marnovex_ParameterListener
{
public:
    enum ColourIds
    {
        // Shared with the knob, so one colour setting styles both alike.
        bodyColourId = 0x2000301
    };

    enum DragTarget
    {
        dragNothing = 0,
        dragNumerator = 1,
        dragDenominator = 2
    };

    explicit Marnovex_RatioKnob (juce::AudioProcessorValueTreeState& state);
    ~Marnovex_RatioKnob() override;

    void mouseDown (const juce::MouseEvent& event) override;
    void mouseDrag (const juce::MouseEvent& event) override;
    void mouseUp (const juce::MouseEvent& event) override;
    void paint (juce::Graphics& g) override;

    void parameterChanged (juce::RangedAudioParameter* parameter, float denormalisedValue) override;

    Marnovex_ParameterAttachment numeratorAttachment;
    Marnovex_ParameterAttachment denominatorAttachment;
    juce::String numeratorText { "0" };
    juce::String denominatorText { "0" };
    float numeratorValue = 0.0f;
    float denominatorValue = 0.0f;
    int dragTarget = dragNothing;
    float lastDragY = 0.0f;
    float resetLatch = 0.0f;

    Marnovex_PressHistory pressHistory;

    // True from a press until its release; `dragTarget` tells which gesture,
    // if any, that press opened.
    bool pressOpen = false;

private:
    void endGestureOfDragTarget();

    JUCE_DECLARE_NON_COPYABLE (Marnovex_RatioKnob)
};
} // namespace marnovex
