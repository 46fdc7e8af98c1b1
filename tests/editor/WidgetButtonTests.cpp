// The shape and text buttons: the six glyphs, pixel by pixel, and the
// centred drawing in the pressed colour while a real mouse button is held.

#include <gtest/gtest.h>

#include "Marnovex_ShapeButton.h"
#include "Marnovex_TextButton.h"
#include "TestDisplay.h"
#include "TestOutput.h"
#include "WidgetTestSupport.h"

namespace
{
using namespace vorn::test;

const juce::Colour foreground { 0xFF20C040 };
const juce::Colour pressed { 0xFFC02090 };

void setColours (juce::Button& button)
{
    button.setColour (marnovex::Marnovex_ShapeButton::foregroundColourId, foreground);
    button.setColour (marnovex::Marnovex_ShapeButton::pressedColourId, pressed);
}

// A path of straight lines through each list of points.
juce::Path lines (std::initializer_list<std::initializer_list<juce::Point<float>>> polylines)
{
    juce::Path path;
    for (const auto& polyline : polylines)
    {
        path.startNewSubPath (*polyline.begin());
        for (auto p = polyline.begin() + 1; p != polyline.end(); ++p)
            path.lineTo (*p);
    }
    return path;
}

TEST (ShapeButton, StrokesEachGlyphAsItsTwoPixelRoundedLinesAndNothingForOtherCodes)
{
    juce::Path box;
    box.addRoundedRectangle (5.0f, 6.0f, 10.0f, 8.0f, 1.5f, 1.5f, true, true, true, true);
    const std::pair<int, juce::Path> rows[] = {
        { 0, lines ({ { { 7, 12 }, { 7, 7 }, { 12, 7 } } }) },
        { 1, lines ({ { { 8, 13 }, { 13, 13 }, { 13, 8 } } }) },
        { 2, lines ({ { { 12, 6 }, { 8, 10 }, { 12, 14 } } }) },
        { 3, lines ({ { { 8, 6 }, { 12, 10 }, { 8, 14 } } }) },
        { 4, lines ({ { { 8, 6 }, { 8, 14 } }, { { 4, 10 }, { 12, 10 } } }) },
        { 5, box },
        { -1, {} },
        { 6, {} },
    };

    for (const auto& [shape, path] : rows)
    {
        marnovex::Marnovex_ShapeButton button;
        button.setBounds (0, 0, 20, 20);
        setColours (button);
        button.setShape (shape);
        const auto image = renderComponent (button);
        writeTestImage (image, "shape-button-" + juce::String (shape));

        // The same lines, stroked 2 px wide with rounded ends and joints, pixel for pixel.
        const auto expected = strokedPath (path, 2.0f, foreground, 20, 20);
        EXPECT_TRUE (differenceBounds (image, expected).isEmpty()) << shape << ": differs in " << differenceBounds (image, expected).toString();
        EXPECT_EQ (inkBounds (image).isEmpty(), path.isEmpty()) << shape;
    }
}

using ButtonOnDesktop = DisplayTest;

TEST_F (ButtonOnDesktop, DrawsCentredAndShowsThePressedColourWhileAnyMouseButtonIsHeld)
{
    marnovex::Marnovex_ShapeButton shapeButton;
    shapeButton.setShape (5);
    marnovex::Marnovex_TextButton textButton;
    textButton.setText ("Factory Preset");
    int clicks = 0;

    for (auto* button : { (juce::Button*) &shapeButton, (juce::Button*) &textButton })
    {
        const juce::String kind = button == &shapeButton ? "shape" : "text";
        button->setBounds (200, 200, button == &shapeButton ? 20 : 120, 20);
        setColours (*button);
        clicks = 0;
        button->onClick = [&clicks] { ++clicks; };
        button->addToDesktop (0);
        button->setVisible (true);
        const auto ink = inkBounds (renderComponent (*button));
        EXPECT_NEAR (ink.getX(), button->getWidth() - ink.getRight(), 1) << kind << ": not centred";
        EXPECT_GT (ink.getWidth(), button->getWidth() / 2) << kind;

        for (const auto flag : { juce::ModifierKeys::leftButtonModifier, juce::ModifierKeys::rightButtonModifier,
                                 juce::ModifierKeys::middleButtonModifier })
        {
            const auto prefix = kind + "-button-" + juce::String (flag);
            EXPECT_TRUE (opaquePixelsHaveColour (renderComponent (*button), foreground)) << prefix << " before";

            sendThroughPeer (*button, { 10.0f, 10.0f }, juce::ModifierKeys (flag));
            const auto held = renderComponent (*button);
            writeTestImage (held, prefix + "-held");
            EXPECT_TRUE (opaquePixelsHaveColour (held, pressed)) << prefix << " held";

            // The click is sent on the press; releasing outside takes nothing back.
            const auto clicksAfterPress = clicks;
            sendThroughPeer (*button, { 150.0f, 150.0f }, juce::ModifierKeys());
            EXPECT_EQ (clicks, clicksAfterPress);
            EXPECT_TRUE (opaquePixelsHaveColour (renderComponent (*button), foreground)) << prefix << " released";
        }

        // The left press clicks; whether the others do is the framework's matter.
        EXPECT_GE (clicks, 1) << kind;
        button->removeFromDesktop();
    }
}
} // namespace
