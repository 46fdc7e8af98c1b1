#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

namespace marnovex
{
// A button that strokes one of six line glyphs and fires on mouse-down.
//   0 top-left corner (zoom out)   1 bottom-right corner (zoom in)
//   2 left chevron (previous)      3 right chevron (next)
//   4 plus (save)                  5 box (load)
// Any other code draws nothing but still clicks.
class Marnovex_ShapeButton : public juce::TextButton
{
public:
    enum ColourIds
    {
        foregroundColourId = 0x2000100,
        pressedColourId = 0x2000101
    };

    Marnovex_ShapeButton();
    ~Marnovex_ShapeButton() override;

    void paint (juce::Graphics& g) override;

    void setShape (int newShape);

    int shape = 0;
};

// True while some mouse source of the desktop has a button down over exactly
// this component (not one of its children): the press colour follows the
// mouse itself, not the button's state machine.
bool isMouseButtonDownOn (const juce::Component& component);

// The glyph's outline in a button of this size, in the button's own coordinates.
juce::Path shapeButtonGlyph (int shape, float width, float height);
} // namespace marnovex
