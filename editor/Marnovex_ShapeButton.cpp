#include "Marnovex_ShapeButton.h"

namespace marnovex
{
bool isMouseButtonDownOn (const juce::Component& component)
{
    for (const auto& source : juce::Desktop::getInstance().getMouseSources())
    {
        const auto modifiers = source.getCurrentModifiers();
        const auto buttonDown = modifiers.isLeftButtonDown() || modifiers.isRightButtonDown() || modifiers.isMiddleButtonDown();

        if (buttonDown && source.getComponentUnderMouse() == &component)
            return true;
    }

    return false;
}

juce::Path shapeButtonGlyph (int shape, float width, float height)
{
    juce::Path path;

    switch (shape)
    {
        case 0:
            path.startNewSubPath (7.0f, height - 8.0f);
            path.lineTo (7.0f, 7.0f);
            path.lineTo (width - 8.0f, 7.0f);
            break;
        case 1:
            path.startNewSubPath (8.0f, height - 7.0f);
            path.lineTo (width - 7.0f, height - 7.0f);
            path.lineTo (width - 7.0f, 8.0f);
            break;
        case 2:
            path.startNewSubPath (12.0f, 6.0f);
            path.lineTo (8.0f, 10.0f);
            path.lineTo (12.0f, 14.0f);
            break;
        case 3:
            path.startNewSubPath (8.0f, 6.0f);
            path.lineTo (12.0f, 10.0f);
            path.lineTo (8.0f, 14.0f);
            break;
        case 4:
            path.startNewSubPath (8.0f, 6.0f);
            path.lineTo (8.0f, 14.0f);
            path.startNewSubPath (4.0f, 10.0f);
            path.lineTo (12.0f, 10.0f);
            break;
        case 5:
            path.addRoundedRectangle (5.0f, 6.0f, 10.0f, 8.0f, 1.5f, 1.5f, true, true, true, true);
            break;
        default:
            break;
    }

    return path;
}

Marnovex_ShapeButton::Marnovex_ShapeButton()
    : juce::TextButton ("Shape")
{
    setTriggeredOnMouseDown (true);
    setColour (foregroundColourId, juce::Colours::white);
    setColour (pressedColourId, juce::Colours::grey);
}

Marnovex_ShapeButton::~Marnovex_ShapeButton() = default;

void Marnovex_ShapeButton::paint (juce::Graphics& g)
{
    g.setColour (findColour (isMouseButtonDownOn (*this) ? pressedColourId : foregroundColourId));

    const auto glyph = shapeButtonGlyph (shape, (float) getWidth(), (float) getHeight());
    g.strokePath (glyph, juce::PathStrokeType (2.0f, juce::PathStrokeType::curved, juce::PathStrokeType::rounded));
}

void Marnovex_ShapeButton::setShape (int newShape)
{
    if (newShape == shape)
        return;

    shape = newShape;
    repaint();
}
} // namespace marnovex
