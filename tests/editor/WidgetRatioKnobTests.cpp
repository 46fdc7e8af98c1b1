// The Time control: ring, bar and both numbers, which half a press drags,
// the travel per step, and resets sent outside any gesture.

#include <gtest/gtest.h>

#include "Marnovex_ParameterIDs.h"
#include "Marnovex_RatioKnob.h"
#include "PluginProcessor.h"
#include "StateTestSupport.h"
#include "TestOutput.h"
#include "WidgetTestSupport.h"

#include <functional>
#include <thread>

namespace
{
using Summary = std::vector<std::string>;
using vorn::test::alphaAt;
using vorn::test::isInked;

const juce::Colour body { 0xFF52B4EB };
const auto numeratorID = marnovex::kParameter_TimeN;
const auto denominatorID = marnovex::kParameter_TimeD;

struct RatioKnobOnProcessor
{
    RatioKnobOnProcessor()
    {
        knob.setBounds (0, 0, 62, 62);
        knob.setColour (marnovex::Marnovex_RatioKnob::bodyColourId, body);
    }

    void automate (const juce::String& id, float wholeNumber)
    {
        auto& parameter = *processor.parameters.getParameter (id);
        parameter.setValueNotifyingHost (parameter.convertTo0to1 (wholeNumber));
    }

    float valueOf (const juce::String& id)
    {
        auto& parameter = *processor.parameters.getParameter (id);
        return parameter.convertFrom0to1 (parameter.getValue());
    }

    MarnovexTemplateAudioProcessor processor;
    marnovex::Marnovex_RatioKnob knob { processor.parameters };
    vorn::test::HostRecorder host { processor };
    vorn::test::MouseGesture mouse { knob };
};

juce::Point<float> centreOf (juce::Rectangle<int> r)
{
    return r.toFloat().getCentre();
}

TEST (RatioKnobPaint, RingBarAndBothNumbers)
{
    RatioKnobOnProcessor fixture;
    const auto image = vorn::test::renderComponent (fixture.knob);
    vorn::test::writeTestImage (image, "ratio-knob-4-4");

    // The ring: a 2 px line on radius 24 around (31, 31); nothing outside it.
    for (const auto& p : { juce::Point<int> (31, 6), { 6, 31 }, { 55, 31 }, { 31, 55 } })
        EXPECT_TRUE (isInked (image, p.x, p.y, body)) << "ring at " << p.toString();
    for (const auto& p : { juce::Point<int> (31, 3), { 3, 31 }, { 0, 0 }, { 61, 61 } })
        EXPECT_EQ (alphaAt (image, p.x, p.y), 0) << "at " << p.toString();

    // The bar (20, 30, 22, 2) with rounded ends, and space on either side of it.
    for (int x = 21; x <= 40; ++x)
        for (int y = 30; y <= 31; ++y)
            EXPECT_TRUE (isInked (image, x, y, body)) << "bar at " << x << "," << y;
    for (const auto& p : { juce::Point<int> (17, 30), { 44, 31 }, { 31, 28 }, { 31, 33 } })
        EXPECT_EQ (alphaAt (image, p.x, p.y), 0) << "beside the bar at " << p.toString();

    // Each number is what changes when its text does: the numerator centred
    // on (31, 20), the denominator on (31, 40).
    auto blank = fixture.knob.numeratorText;
    fixture.knob.numeratorText.clear();
    const auto numeratorInk = vorn::test::differenceBounds (image, vorn::test::renderComponent (fixture.knob));
    fixture.knob.numeratorText = blank;

    blank = fixture.knob.denominatorText;
    fixture.knob.denominatorText.clear();
    const auto denominatorInk = vorn::test::differenceBounds (image, vorn::test::renderComponent (fixture.knob));
    fixture.knob.denominatorText = blank;

    ASSERT_FALSE (numeratorInk.isEmpty());
    ASSERT_FALSE (denominatorInk.isEmpty());
    EXPECT_NEAR (centreOf (numeratorInk).x, 31.0f, 1.5f);
    EXPECT_NEAR (centreOf (numeratorInk).y, 20.0f, 1.5f);
    EXPECT_NEAR (centreOf (denominatorInk).x, 31.0f, 1.5f);
    EXPECT_NEAR (centreOf (denominatorInk).y, 40.0f, 1.5f);
    EXPECT_GE (numeratorInk.getHeight(), 8) << "14 pt digits";
    EXPECT_LT (numeratorInk.getBottom(), 30) << "the numerator stays above the bar";
    EXPECT_GT (denominatorInk.getY(), 31) << "the denominator stays below the bar";

    for (int y = 0; y < 62; ++y)
        for (int x = 0; x < 62; ++x)
            if (alphaAt (image, x, y) == 255)
            {
                EXPECT_TRUE (vorn::test::hasRgbOf (image, x, y, body, 0)) << x << "," << y;
            }

    // Two-digit values widen their own number only.
    fixture.automate (numeratorID, 16.0f);
    fixture.automate (denominatorID, 32.0f);
    EXPECT_EQ (fixture.knob.numeratorText, "16");
    EXPECT_EQ (fixture.knob.denominatorText, "32");
    const auto wide = vorn::test::renderComponent (fixture.knob);
    vorn::test::writeTestImage (wide, "ratio-knob-16-32");
    EXPECT_FALSE (vorn::test::differenceBounds (image, wide).isEmpty());
    fixture.knob.numeratorText = "4";
    fixture.knob.denominatorText = "4";
    EXPECT_TRUE (vorn::test::differenceBounds (image, vorn::test::renderComponent (fixture.knob)).isEmpty())
        << "the texts are all that depends on the values";
}

TEST (RatioKnobDrag, PressPositionChoosesTheHalfForTheWholePress)
{
    const Summary numeratorEdit { "begin TimeNumerator", "value TimeNumerator", "end TimeNumerator" };
    const Summary denominatorEdit { "begin TimeDenominator", "value TimeDenominator", "end TimeDenominator" };

    struct Row { const char* name; float startN, startD; float pressY; float dragUpPixels; Summary expected; float numerator, denominator; };
    const Row rows[] = {
        { "upper half", 4, 4, 15.0f, 9.0f, numeratorEdit, 5, 4 },
        { "just above the middle", 4, 4, 30.99f, 9.0f, numeratorEdit, 5, 4 },
        { "exactly on the middle line", 4, 4, 31.0f, 5.0f, denominatorEdit, 4, 5 },
        { "lower half", 4, 4, 50.0f, 5.0f, denominatorEdit, 4, 5 },
        // Dragging from the upper half down into the lower one keeps the numerator.
        { "upper half dragged down", 4, 4, 20.0f, -27.0f,
          { "begin TimeNumerator", "value TimeNumerator", "value TimeNumerator", "value TimeNumerator", "end TimeNumerator" }, 1, 4 },
        // At the top of the range further drags send nothing.
        { "numerator at its maximum", 16, 32, 20.0f, 30.0f, { "begin TimeNumerator", "end TimeNumerator" }, 16, 32 },
        { "denominator at its maximum", 16, 32, 40.0f, 30.0f, { "begin TimeDenominator", "end TimeDenominator" }, 16, 32 },
    };

    for (const auto& row : rows)
    {
        RatioKnobOnProcessor fixture;
        fixture.automate (numeratorID, row.startN);
        fixture.automate (denominatorID, row.startD);
        fixture.host.clear();

        fixture.mouse.press ({ 31.0f, row.pressY });
        fixture.mouse.dragUp (row.dragUpPixels);
        fixture.mouse.release();

        EXPECT_EQ (fixture.host.summary(), row.expected) << row.name;
        EXPECT_EQ (fixture.valueOf (numeratorID), row.numerator) << row.name;
        EXPECT_EQ (fixture.valueOf (denominatorID), row.denominator) << row.name;
    }
}

TEST (RatioKnobDrag, TravelPerStep)
{
    // Half a step of 1/15 (numerator 1..16) or 1/31 (denominator 1..32) at
    // 0.004 per pixel; the value then sits on the new whole number, so every
    // further step needs the same travel.
    struct Row { const juce::String& id; float pressY; float minTravel, maxTravel; };
    const Row rows[] = {
        { numeratorID, 15.0f, 8.3f, 8.45f },
        { denominatorID, 45.0f, 4.0f, 4.15f },
    };

    for (const auto& row : rows)
    {
        RatioKnobOnProcessor fixture;
        auto& parameter = *fixture.processor.parameters.getParameter (row.id);
        const auto& shownValue = row.id == numeratorID ? fixture.knob.numeratorValue : fixture.knob.denominatorValue;
        fixture.mouse.press ({ 31.0f, row.pressY });

        std::vector<float> travelAtChange;
        auto last = fixture.valueOf (row.id);
        for (int i = 1; i <= 1000 && travelAtChange.size() < 3; ++i)
        {
            const auto travel = 0.05f * (float) i;
            fixture.mouse.dragTo ({ 31.0f, row.pressY - travel });
            const auto now = fixture.valueOf (row.id);
            if (now != last)
            {
                EXPECT_EQ (now, last + 1.0f) << row.id;
                EXPECT_EQ (shownValue, parameter.convertTo0to1 (now)) << row.id << ": not on the whole number";
                travelAtChange.push_back (travel);
                last = now;
            }
        }
        fixture.mouse.release();

        ASSERT_EQ (travelAtChange.size(), 3u) << row.id;
        const float steps[] = { travelAtChange[0], travelAtChange[1] - travelAtChange[0], travelAtChange[2] - travelAtChange[1] };
        for (const auto step : steps)
        {
            EXPECT_GE (step, row.minTravel) << row.id;
            EXPECT_LE (step, row.maxTravel) << row.id;
        }
    }
}

TEST (RatioKnobGestures, ResetSetsBothDefaultsWithoutAGesture)
{
    const auto alt = juce::ModifierKeys (juce::ModifierKeys::altModifier);
    const Summary resetOnly { "value TimeNumerator", "value TimeDenominator" };

    struct Row { const char* name; std::function<void (vorn::test::MouseGesture&)> before; juce::Point<float> at; juce::ModifierKeys keys; int clicks; Summary expected; };
    const Row rows[] = {
        { "double-click on the upper half",
          [] (vorn::test::MouseGesture& mouse) { mouse.click ({ 31.0f, 15.0f }); },
          { 31.0f, 15.0f }, {}, 2,
          { "begin TimeNumerator", "end TimeNumerator", "value TimeNumerator", "value TimeDenominator" } },
        { "alt-click after dragging the denominator",
          [] (vorn::test::MouseGesture& mouse) { mouse.press ({ 31.0f, 45.0f }); mouse.dragUp (5.0f); mouse.release(); },
          { 31.0f, 15.0f }, alt, 1,
          { "begin TimeDenominator", "value TimeDenominator", "end TimeDenominator", "value TimeNumerator", "value TimeDenominator" } },
        { "alt-click on the lower half", [] (vorn::test::MouseGesture&) {}, { 31.0f, 50.0f }, alt, 1, resetOnly },
    };

    for (const auto& row : rows)
    {
        RatioKnobOnProcessor fixture;
        fixture.automate (numeratorID, 7.0f);
        fixture.automate (denominatorID, 9.0f);
        fixture.host.clear();

        row.before (fixture.mouse);
        fixture.mouse.press (row.at, row.keys, row.clicks);
        EXPECT_EQ (fixture.valueOf (numeratorID), 4.0f) << row.name;
        EXPECT_EQ (fixture.valueOf (denominatorID), 4.0f) << row.name;

        fixture.mouse.dragUp (40.0f);
        fixture.mouse.release();

        EXPECT_EQ (fixture.valueOf (numeratorID), 4.0f) << row.name << ": the drag moved it";
        EXPECT_EQ (fixture.valueOf (denominatorID), 4.0f) << row.name << ": the drag moved it";
        EXPECT_EQ (fixture.knob.numeratorText, "4") << row.name;
        EXPECT_EQ (fixture.knob.denominatorText, "4") << row.name;
        EXPECT_EQ (fixture.host.summary(), row.expected) << row.name;
    }
}

TEST (RatioKnobGestures, AutomationFromAnotherThreadUpdatesTheLowerNumber)
{
    RatioKnobOnProcessor fixture;
    auto& denominator = *fixture.processor.parameters.getParameter (denominatorID);

    std::thread automation ([&denominator] {
        for (const auto value : { 8.0f, 12.0f, 16.0f })
            denominator.setValueNotifyingHost (denominator.convertTo0to1 (value));
    });
    automation.join();
    EXPECT_EQ (fixture.knob.denominatorText, "4") << "delivered off the message thread";

    vorn::test::deliverPendingMessages();
    EXPECT_EQ (fixture.knob.denominatorText, "16");
    EXPECT_EQ (fixture.knob.denominatorValue, denominator.convertTo0to1 (16.0f));
    EXPECT_EQ (fixture.knob.numeratorText, "4");
}
} // namespace
