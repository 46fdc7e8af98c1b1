#pragma once

#include "Marnovex_ShapeButton.h"

namespace marnovex
{
// A button that draws one line of text, centred and shortened with an
// ellipsis when it does not fit, and fires on mouse-down.
class Marnovex_TextButton : public juce::TextButton
{
public:
    enum ColourIds
    {
        foregroundColourId = Marnovex_ShapeButton::foregroundColourId,
        pressedColourId = Marnovex_ShapeButton::pressedColourId
    };

    Marnovex_TextButton();
    ~Marnovex_TextButton() override;

    void paint (juce::Graphics& g) override;

    // Always repaints, even for the same text.
    void setText (juce::String newText);

    juce::String text;
};
} // namespace marnovex
