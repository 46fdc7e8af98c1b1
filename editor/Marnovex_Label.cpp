#include "Marnovex_Label.h"

#include "Marnovex_Colours.h"
#include "Marnovex_Fonts.h"

namespace marnovex
{
Marnovex_Label::Marnovex_Label (juce::AudioProcessorValueTreeState& state, juce::String parameterID)
    : juce::Label ({}, {}),
      attachment (state, std::move (parameterID))
{
    setFont (Fonts::label());
    setColour (juce::Label::textColourId, Colours::white);
    setJustificationType (juce::Justification::centred);

    // Last, so the label already shows the current text when it is first painted.
    attachment.setListener (this);
}

Marnovex_Label::~Marnovex_Label() = default;

void Marnovex_Label::parameterChanged (juce::RangedAudioParameter* changedParameter, float denormalisedValue)
{
    const auto normalised = changedParameter->convertTo0to1 (denormalisedValue);
    setText (changedParameter->getText (normalised, 100), juce::dontSendNotification);
}
} // namespace marnovex
