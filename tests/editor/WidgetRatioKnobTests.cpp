// The Time control: ring, bar and both numbers, which half a press drags,
// the travel per step, and resets sent outside any gesture.

#include <gtest/gtest.h>

#include "Marnovex_ParameterIDs.h"
#include "Marnovex_RatioKnob.h"
#include "StateTestSupport.h"
#include "TestOutput.h"
#include "WidgetTestSupport.h"

#include <utility>

namespace
{
using namespace vorn::test;
using marnovex::kParameter_TimeD;
using marnovex::kParameter_TimeN;

const juce::Colour body { 0xFF52B4EB };

struct RatioKnobOnProcessor
{
    explicit RatioKnobOnProcessor (float numerator = 4.0f, float denominator = 4.0f)
    {
        setValue (processor, kParameter_TimeN, numerator);
        setValue (processor, kParameter_TimeD, denominator);
        knob.setBounds (0, 0, 62, 62);
        knob.setColour (marnovex::Marnovex_RatioKnob::bodyColourId, body);
        host.log.clear();
    }

    // The bounds of what drawing `text` adds to the image.
    juce::Rectangle<int> inkOf (juce::String& text, const juce::Image& image)
    {
        const auto kept = std::exchange (text, {});
        const auto without = renderComponent (knob);
        text = kept;
        return differenceBounds (image, without);
    }

    MarnovexTemplateAudioProcessor processor;
    marnovex::Marnovex_RatioKnob knob { processor.parameters };
    HostRecorder host { processor };
    MouseGesture mouse { knob };
};

TEST (RatioKnobPaint, RingBarAndBothNumbers)
{
    RatioKnobOnProcessor fixture (16.0f, 4.0f);
    const auto image = renderComponent (fixture.knob);
    writeTestImage (image, "ratio-knob-16-4");
    EXPECT_TRUE (opaquePixelsHaveColour (image, body));

    // The ring: a 2 px line on radius 24 around (31, 31). The bar (20, 30, 22, 2)
    // with rounded ends. Nothing outside the ring, nor beside the bar.
    EXPECT_TRUE (pixelsAre (image, { { 31, 6 }, { 6, 31 }, { 55, 31 }, { 31, 55 }, { 21, 30 }, { 40, 31 }, { 31, 30 } }, body));
    EXPECT_TRUE (pixelsAre (image, { { 31, 3 }, { 3, 31 }, { 0, 0 }, { 61, 61 }, { 17, 30 }, { 44, 31 }, { 31, 28 }, { 31, 33 } }, {}));

    // Each number is what changes when its text does: the numerator centred
    // on (31, 20) above the bar, the denominator on (31, 40) below it.
    const auto numerator = fixture.inkOf (fixture.knob.numeratorText, image);
    const auto denominator = fixture.inkOf (fixture.knob.denominatorText, image);
    EXPECT_NEAR (numerator.toFloat().getCentreX(), 31.0f, 1.5f);
    EXPECT_NEAR (numerator.toFloat().getCentreY(), 20.0f, 1.5f);
    EXPECT_NEAR (denominator.toFloat().getCentreX(), 31.0f, 1.5f);
    EXPECT_NEAR (denominator.toFloat().getCentreY(), 40.0f, 1.5f);
    EXPECT_GE (numerator.getHeight(), 8) << "14 pt digits";
    EXPECT_GT (numerator.getWidth(), denominator.getWidth()) << "two digits above, one below";
    EXPECT_LT (numerator.getBottom(), 30);
    EXPECT_GT (denominator.getY(), 31);
}

TEST (RatioKnobDrag, PressPositionChoosesTheHalfForTheWholePress)
{
    struct Row { const char* name; float start; float pressY, dragUpPixels; HostLog expected; float numerator, denominator; };
    const Row rows[] = {
        { "upper half", 4, 15.0f, 9.0f, oneGesture (kParameter_TimeN, 1), 5, 4 },
        { "just above the middle", 4, 30.99f, 9.0f, oneGesture (kParameter_TimeN, 1), 5, 4 },
        { "exactly on the middle line", 4, 31.0f, 5.0f, oneGesture (kParameter_TimeD, 1), 4, 5 },
        // Dragging from the upper half down into the lower one keeps the numerator.
        { "upper half dragged down", 4, 20.0f, -27.0f, oneGesture (kParameter_TimeN, 3), 1, 4 },
        // At the top of the range further drags send nothing.
        { "denominator at its maximum", 32, 40.0f, 30.0f, oneGesture (kParameter_TimeD, 0), 16, 32 },
    };

    for (const auto& row : rows)
    {
        RatioKnobOnProcessor fixture (juce::jmin (row.start, 16.0f), row.start);
        fixture.mouse.press ({ 31.0f, row.pressY });
        fixture.mouse.dragUp (row.dragUpPixels);
        fixture.mouse.release();

        EXPECT_EQ (fixture.host.log, row.expected) << row.name;
        EXPECT_EQ (valueOf (fixture.processor, kParameter_TimeN), row.numerator) << row.name;
        EXPECT_EQ (valueOf (fixture.processor, kParameter_TimeD), row.denominator) << row.name;
    }
}

TEST (RatioKnobDrag, TravelPerStep)
{
    // Half a step of 1/15 (numerator 1..16) or 1/31 (denominator 1..32) at
    // 0.004 per pixel; the value then sits on the new whole number, so every
    // further step needs the same travel.
    struct Row { juce::String id; float pressY; float minTravel, maxTravel; };
    const Row rows[] = {
        { kParameter_TimeN, 15.0f, 8.3f, 8.45f },
        { kParameter_TimeD, 45.0f, 4.0f, 4.15f },
    };

    for (const auto& row : rows)
    {
        RatioKnobOnProcessor fixture;
        const auto value = [&] { return valueOf (fixture.processor, row.id); };
        const auto travels = travelsAtChanges (fixture.mouse, { 31.0f, row.pressY }, 0.05f, 3.0f * row.maxTravel, value);
        ASSERT_EQ (travels.size(), 3u) << row.id;
        EXPECT_EQ (value(), 7.0f) << row.id << ": skipped a number";
        for (size_t i = 0; i < 3; ++i)
        {
            const auto travel = travels[i] - (i > 0 ? travels[i - 1] : 0.0f);
            EXPECT_TRUE (travel >= row.minTravel && travel <= row.maxTravel) << row.id << ": " << travel;
        }
    }
}

TEST (RatioKnobGestures, ResetSetsBothDefaultsWithoutAGesture)
{
    const HostLog resetOnly { "value TimeNumerator", "value TimeDenominator" };
    struct Row { const char* name; float firstDragPixels; juce::Point<float> at; int keys, clicks; HostLog expected; };
    const Row rows[] = {
        // A click on the upper half, then the second click of a double-click.
        { "double-click on the upper half", 0.0f, { 31.0f, 15.0f }, 0, 2, oneGesture (kParameter_TimeN, 0) + resetOnly },
        { "alt-click on the lower half after dragging it", 5.0f, { 31.0f, 50.0f }, juce::ModifierKeys::altModifier, 1,
          oneGesture (kParameter_TimeD, 1) + resetOnly },
    };

    for (const auto& row : rows)
    {
        RatioKnobOnProcessor fixture (7.0f, 9.0f);
        fixture.mouse.press (row.at);
        fixture.mouse.dragUp (row.firstDragPixels);
        fixture.mouse.release();

        fixture.mouse.press (row.at, juce::ModifierKeys (row.keys), row.clicks);
        fixture.mouse.dragUp (40.0f);
        fixture.mouse.release();

        EXPECT_EQ (valueOf (fixture.processor, kParameter_TimeN), 4.0f) << row.name;
        EXPECT_EQ (valueOf (fixture.processor, kParameter_TimeD), 4.0f) << row.name;
        EXPECT_EQ (fixture.knob.numeratorText + "/" + fixture.knob.denominatorText, "4/4") << row.name;
        EXPECT_EQ (fixture.host.log, row.expected) << row.name;
    }
}

TEST (RatioKnobGestures, AClickCountMadeOfPressesElsewhereIsAnOrdinaryPress)
{
    // A double-click whose first press landed on another widget, or one whose
    // earlier press here is too old, drags the half it lands on.
    const auto longerThanADoubleClick = juce::RelativeTime::milliseconds (juce::MouseEvent::getDoubleClickTimeout() + 100);
    for (const auto clickedHereBefore : { false, true })
    {
        RatioKnobOnProcessor fixture (7.0f, 9.0f);
        if (clickedHereBefore)
            fixture.mouse.click ({ 31.0f, 15.0f });
        fixture.mouse.wait (longerThanADoubleClick);
        fixture.host.log.clear();

        fixture.mouse.press ({ 31.0f, 15.0f }, {}, 2);
        fixture.mouse.dragUp (9.0f);
        fixture.mouse.release();

        EXPECT_EQ (valueOf (fixture.processor, kParameter_TimeN), 8.0f) << clickedHereBefore;
        EXPECT_EQ (valueOf (fixture.processor, kParameter_TimeD), 9.0f) << clickedHereBefore;
        EXPECT_EQ (fixture.host.log, oneGesture (kParameter_TimeN, 1)) << clickedHereBefore;
    }
}
} // namespace
