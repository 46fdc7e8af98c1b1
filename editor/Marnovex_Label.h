#pragma once

#include "Marnovex_ParameterAttachment.h"

#include <juce_gui_basics/juce_gui_basics.h>

namespace marnovex
{
// A read-only label that shows its parameter's own value text, kept up to
// date on the message thread.
class Marnovex_Label : public juce::Label,
                       public Marnovex_ParameterListener
{
public:
    Marnovex_Label (juce::AudioProcessorValueTreeState& state, juce::String parameterID);
    ~Marnovex_Label() override;

    void parameterChanged (juce::RangedAudioParameter* parameter, float denormalisedValue) override;

    Marnovex_ParameterAttachment attachment;

    JUCE_DECLARE_NON_COPYABLE (Marnovex_Label)
};
} // namespace marnovex
