#include "Marnovex_TextButton.h"

#include "Marnovex_Colours.h"
#include "Marnovex_Fonts.h"

namespace marnovex
{
Marnovex_TextButton::Marnovex_TextButton()
    : juce::TextButton ("Text")
{
    setTriggeredOnMouseDown (true);
    setColour (foregroundColourId, Colours::white);
    setColour (pressedColourId, Colours::grey);
}

Marnovex_TextButton::~Marnovex_TextButton() = default;

void Marnovex_TextButton::paint (juce::Graphics& g)
{
    g.setColour (findColour (isMouseButtonDownOn (*this) ? pressedColourId : foregroundColourId));
    g.setFont (Fonts::title());
    g.drawText (text, getLocalBounds().toFloat(), juce::Justification::centred, true);
}

void Marnovex_TextButton::setText (juce::String newText)
{
    text = std::move (newText);
    repaint();
}
} // namespace marnovex
