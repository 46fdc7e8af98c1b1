// The shape and text buttons: the six glyphs, pixel by pixel, and the
// pressed colour while a real mouse button is held on the button.

#include <gtest/gtest.h>

#include "Marnovex_ShapeButton.h"
#include "Marnovex_TextButton.h"
#include "TestDisplay.h"
#include "TestOutput.h"
#include "WidgetTestSupport.h"

#include <cmath>
#include <vector>

namespace
{
using vorn::test::alphaAt;
using vorn::test::hasRgbOf;

using Polyline = std::vector<juce::Point<float>>;

const juce::Colour foreground { 0xFF20C040 };
const juce::Colour pressed { 0xFFC02090 };

float distanceToSegment (juce::Point<float> p, juce::Point<float> a, juce::Point<float> b)
{
    const auto ab = b - a;
    const auto t = juce::jlimit (0.0f, 1.0f, (p - a).getDotProduct (ab) / ab.getDotProduct (ab));
    return p.getDistanceFrom (a + ab * t);
}

float distanceToLines (juce::Point<float> p, const std::vector<Polyline>& lines)
{
    auto nearest = std::numeric_limits<float>::max();
    for (const auto& line : lines)
        for (size_t i = 1; i < line.size(); ++i)
            nearest = std::min (nearest, distanceToSegment (p, line[i - 1], line[i]));
    return nearest;
}

struct GlyphCase
{
    int shape;
    int width, height;
    std::vector<Polyline> inked;   // a stroke of width 2 must cover every pixel centred on these lines
    std::vector<Polyline> outline; // and no ink may lie farther from these than the stroke reaches
    float outlineSlack;            // how far the real outline may lie inside `outline`
};

// The box's corners are rounded: its straight parts are checked for ink, and
// its sharp outline, with the rounding as slack, bounds it.
const Polyline boxSides[] = { { { 6.5f, 6.0f }, { 13.5f, 6.0f } },
                              { { 15.0f, 7.5f }, { 15.0f, 12.5f } },
                              { { 13.5f, 14.0f }, { 6.5f, 14.0f } },
                              { { 5.0f, 12.5f }, { 5.0f, 7.5f } } };
const Polyline boxOutline { { 5, 6 }, { 15, 6 }, { 15, 14 }, { 5, 14 }, { 5, 6 } };

std::vector<GlyphCase> glyphCases()
{
    const std::vector<Polyline> box (std::begin (boxSides), std::end (boxSides));
    const auto same = [] (std::vector<Polyline> lines, int shape, int w, int h) {
        return GlyphCase { shape, w, h, lines, lines, 0.0f };
    };

    return {
        same ({ { { 7, 12 }, { 7, 7 }, { 12, 7 } } }, 0, 20, 20),
        same ({ { { 8, 13 }, { 13, 13 }, { 13, 8 } } }, 1, 20, 20),
        same ({ { { 12, 6 }, { 8, 10 }, { 12, 14 } } }, 2, 20, 20),
        same ({ { { 8, 6 }, { 12, 10 }, { 8, 14 } } }, 3, 20, 20),
        same ({ { { 8, 6 }, { 8, 14 } }, { { 4, 10 }, { 12, 10 } } }, 4, 20, 20),
        { 5, 20, 20, box, { boxOutline }, 0.65f },
        // On a larger button the corners follow the edges; the others stay put.
        same ({ { { 7, 22 }, { 7, 7 }, { 32, 7 } } }, 0, 40, 30),
        same ({ { { 8, 23 }, { 33, 23 }, { 33, 8 } } }, 1, 40, 30),
        same ({ { { 8, 6 }, { 12, 10 }, { 8, 14 } } }, 3, 40, 30),
        { 5, 40, 30, box, { boxOutline }, 0.65f },
    };
}

juce::Image renderShape (int shape, int width, int height)
{
    marnovex::Marnovex_ShapeButton button;
    button.setBounds (0, 0, width, height);
    button.setColour (marnovex::Marnovex_ShapeButton::foregroundColourId, foreground);
    button.setColour (marnovex::Marnovex_ShapeButton::pressedColourId, pressed);
    button.setShape (shape);
    return vorn::test::renderComponent (button);
}

TEST (ShapeButton, StrokesEachGlyphWhereItsLinesLie)
{
    // The pixel is at most 0.5 from the line: a 2 px stroke covers it at least
    // half. Beyond 1 + half a pixel diagonal no stroke can reach.
    constexpr float inkedWithin = 0.5f;
    constexpr float emptyBeyond = 1.75f;

    for (const auto& glyph : glyphCases())
    {
        const auto image = renderShape (glyph.shape, glyph.width, glyph.height);
        const auto name = "shape-button-" + juce::String (glyph.shape) + "-" + juce::String (glyph.width) + "x" + juce::String (glyph.height);
        vorn::test::writeTestImage (image, name);

        int inkedPixels = 0;
        for (int y = 0; y < glyph.height; ++y)
        {
            for (int x = 0; x < glyph.width; ++x)
            {
                const juce::Point<float> centre ((float) x + 0.5f, (float) y + 0.5f);

                if (distanceToLines (centre, glyph.inked) <= inkedWithin)
                {
                    ++inkedPixels;
                    EXPECT_GE (alphaAt (image, x, y), 128) << name << " at " << x << "," << y;
                    EXPECT_TRUE (hasRgbOf (image, x, y, foreground)) << name << " at " << x << "," << y;
                }

                if (distanceToLines (centre, glyph.outline) >= emptyBeyond + glyph.outlineSlack)
                {
                    EXPECT_EQ (alphaAt (image, x, y), 0) << name << " at " << x << "," << y;
                }
            }
        }

        EXPECT_GE (inkedPixels, 8) << name;
    }
}

TEST (ShapeButton, CodeOutsideTheSixGlyphsDrawsNothing)
{
    for (const auto shape : { -1, 6, 1000 })
    {
        const auto image = renderShape (shape, 20, 20);
        vorn::test::writeTestImage (image, "shape-button-" + juce::String (shape) + "-empty");
        EXPECT_TRUE (vorn::test::inkBounds (image).isEmpty()) << shape;
    }
}

TEST (TextButton, DrawsItsTextCentredAndNothingWhenEmpty)
{
    marnovex::Marnovex_TextButton button;
    button.setBounds (0, 0, 160, 20);
    button.setColour (marnovex::Marnovex_TextButton::foregroundColourId, foreground);

    EXPECT_TRUE (vorn::test::inkBounds (vorn::test::renderComponent (button)).isEmpty());

    button.setText ("Factory Preset");
    const auto image = vorn::test::renderComponent (button);
    vorn::test::writeTestImage (image, "text-button");

    const auto ink = vorn::test::inkBounds (image);
    ASSERT_FALSE (ink.isEmpty());
    EXPECT_NEAR (ink.getX(), 160 - ink.getRight(), 2) << "not centred horizontally";
    EXPECT_GT (ink.getWidth(), 60);
}

struct CountingListener : juce::Button::Listener
{
    void buttonClicked (juce::Button*) override { ++clicks; }
    int clicks = 0;
};

// Every fully covered pixel of the rendered button has this colour.
::testing::AssertionResult inkHasColour (juce::Component& button, juce::Colour colour, const juce::String& imageName)
{
    const auto image = vorn::test::renderComponent (button);
    vorn::test::writeTestImage (image, imageName);

    int opaque = 0;
    for (int y = 0; y < image.getHeight(); ++y)
        for (int x = 0; x < image.getWidth(); ++x)
            if (alphaAt (image, x, y) == 255)
            {
                ++opaque;
                if (! hasRgbOf (image, x, y, colour, 0))
                    return ::testing::AssertionFailure() << imageName << ": pixel " << x << "," << y << " is "
                                                         << image.getPixelAt (x, y).toDisplayString (true) << ", not "
                                                         << colour.toDisplayString (true);
            }

    if (opaque == 0)
        return ::testing::AssertionFailure() << imageName << ": nothing drawn";
    return ::testing::AssertionSuccess();
}

class ButtonOnDesktop : public vorn::test::DisplayTest
{
};

TEST_F (ButtonOnDesktop, ShowsThePressedColourWhileAnyMouseButtonIsHeld)
{
    const std::pair<juce::ModifierKeys::Flags, const char*> mouseButtons[] = {
        { juce::ModifierKeys::leftButtonModifier, "left" },
        { juce::ModifierKeys::rightButtonModifier, "right" },
        { juce::ModifierKeys::middleButtonModifier, "middle" },
    };

    marnovex::Marnovex_ShapeButton shapeButton;
    shapeButton.setShape (5);
    marnovex::Marnovex_TextButton textButton;
    textButton.setText ("Default");

    for (auto* button : { (juce::Button*) &shapeButton, (juce::Button*) &textButton })
    {
        const juce::String kind = button == &shapeButton ? "shape" : "text";
        button->setBounds (200, 200, button == &shapeButton ? 20 : 80, 20);
        button->setColour (marnovex::Marnovex_ShapeButton::foregroundColourId, foreground);
        button->setColour (marnovex::Marnovex_ShapeButton::pressedColourId, pressed);

        CountingListener listener;
        button->addListener (&listener);
        button->addToDesktop (0);
        button->setVisible (true);

        for (const auto& [flag, name] : mouseButtons)
        {
            const auto prefix = kind + "-button-" + name;
            EXPECT_TRUE (inkHasColour (*button, foreground, prefix + "-before"));

            vorn::test::sendThroughPeer (*button, { 10.0f, 10.0f }, juce::ModifierKeys (flag));
            EXPECT_TRUE (inkHasColour (*button, pressed, prefix + "-held"));

            // The click is sent on the press; releasing outside takes nothing back.
            const auto clicksAfterPress = listener.clicks;
            vorn::test::sendThroughPeer (*button, { 150.0f, 150.0f }, juce::ModifierKeys());
            EXPECT_EQ (listener.clicks, clicksAfterPress);
            EXPECT_TRUE (inkHasColour (*button, foreground, prefix + "-released"));
        }

        // The left press clicks; whether the others do is the framework's matter.
        EXPECT_GE (listener.clicks, 1) << kind;

        button->removeListener (&listener);
        button->removeFromDesktop();
    }
}
} // namespace
