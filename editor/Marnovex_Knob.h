#pragma once

#include "Marnovex_ParameterAttachment.h"
#include "Marnovex_PressHistory.h"

#include <juce_gui_basics/juce_gui_basics.h>

namespace marnovex
{
// The rotary control of one parameter: a disc with two end marks and a
// pointer dot, or, with ringOnly, a plain ring. Dragged vertically, relative
// to the previous mouse event (about 333 px for the full range, ten times
// finer with Shift); a double-click on it or an Alt-click returns it to the
// default.
class Marnovex_Knob : public juce::Component,
                      public Marnovex_ParameterListener
{
public:
    enum ColourIds
    {
        pointerColourId = 0x2000300,
        bodyColourId = 0x2000301
    };

    Marnovex_Knob (juce::AudioProcessorValueTreeState& state, juce::String parameterID);
    ~Marnovex_Knob() override;

    void mouseDown (const juce::MouseEvent& event) override;
    void mouseDrag (const juce::MouseEvent& event) override;
    void mouseUp (const juce::MouseEvent& event) override;
    void paint (juce::Graphics& g) override;

    void parameterChanged (juce::RangedAudioParameter* parameter, float denormalisedValue) override;

    Marnovex_ParameterAttachment attachment;

    // Set once by the owner after construction. Also disables the fine drag.
    bool ringOnly = false;

    // Normalised value shown by the pointer. Drags and parameter changes both
    // write it, so a drag continues from wherever the parameter really is.
    float value = 0.0f;
    float lastDragY = 0.0f;

    // Non-zero from a reset press until its release; drags are ignored then.
    float resetLatch = 0.0f;

    Marnovex_PressHistory pressHistory;

    // True from a press until its release: the gesture it opened is open.
    bool pressOpen = false;

    JUCE_DECLARE_NON_COPYABLE (Marnovex_Knob)
};
} // namespace marnovex
