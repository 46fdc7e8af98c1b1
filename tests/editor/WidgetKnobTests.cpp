// The knob: its drawing at both ends of the range and as a ring, its drag
// sensitivities and resets, and the gestures the host sees from it.

#include <gtest/gtest.h>

#include "Marnovex_Colours.h"
#include "Marnovex_Knob.h"
#include "Marnovex_Label.h"
#include "Marnovex_ParameterIDs.h"
#include "PluginProcessor.h"
#include "StateTestSupport.h"
#include "TestOutput.h"
#include "WidgetTestSupport.h"

#include <cmath>
#include <thread>

namespace
{
using Kind = vorn::test::HostRecorder::Kind;
using vorn::test::alphaAt;
using vorn::test::isInked;

const juce::Colour body { 0xFF52B4EB };
const juce::Colour pointer { 0xFF2A2A2A };

juce::RangedAudioParameter& parameterOf (MarnovexTemplateAudioProcessor& processor, const juce::String& id)
{
    return *processor.parameters.getParameter (id);
}

// Sets a parameter as the host does: outside any gesture, notifying everyone.
void automate (MarnovexTemplateAudioProcessor& processor, const juce::String& id, float plainValue)
{
    auto& parameter = parameterOf (processor, id);
    parameter.setValueNotifyingHost (parameter.convertTo0to1 (plainValue));
}

float plainValueOf (MarnovexTemplateAudioProcessor& processor, const juce::String& id)
{
    auto& parameter = parameterOf (processor, id);
    return parameter.convertFrom0to1 (parameter.getValue());
}

struct KnobOnProcessor
{
    explicit KnobOnProcessor (const juce::String& id, bool ringOnly = false)
        : knob (processor.parameters, id)
    {
        knob.ringOnly = ringOnly;
        knob.setBounds (0, 0, 62, 62);
        knob.setColour (marnovex::Marnovex_Knob::bodyColourId, body);
        knob.setColour (marnovex::Marnovex_Knob::pointerColourId, pointer);
    }

    MarnovexTemplateAudioProcessor processor;
    marnovex::Marnovex_Knob knob;
    vorn::test::HostRecorder host { processor };
    vorn::test::MouseGesture mouse { knob };
};

// Where the pointer dot's centre lies after turning by `angle` clockwise on
// screen about the centre of a 62 x 62 knob; unturned it is 11 px left of
// and 11 px below the centre.
juce::Point<int> pointerPixel (double angle)
{
    const auto dx = -11.0, dy = 11.0;
    const auto x = 31.0 + dx * std::cos (angle) - dy * std::sin (angle);
    const auto y = 31.0 + dx * std::sin (angle) + dy * std::cos (angle);
    return { (int) std::floor (x), (int) std::floor (y) };
}

TEST (KnobPaint, DiscEndMarksAndPointerAtBothEnds)
{
    // The 32-bit 4.7, as drawn.
    const auto fullTurn = (double) 4.7f;
    const auto atZero = pointerPixel (0.0);
    const auto atOne = pointerPixel (fullTurn);
    ASSERT_EQ (atZero, juce::Point<int> (20, 42));
    ASSERT_EQ (atOne, juce::Point<int> (42, 41));

    struct Row { float mixPercent; juce::Point<int> dot, notDot; const char* name; };
    const Row rows[] = {
        { 0.0f, atZero, atOne, "knob-value-0" },
        { 100.0f, atOne, atZero, "knob-value-1" },
    };

    for (const auto& row : rows)
    {
        KnobOnProcessor fixture (marnovex::kParameter_Mix);
        automate (fixture.processor, marnovex::kParameter_Mix, row.mixPercent);
        const auto image = vorn::test::renderComponent (fixture.knob);
        vorn::test::writeTestImage (image, row.name);

        // The disc: filled through its centre and out to radius 24 around (31, 31).
        for (const auto& p : { juce::Point<int> (31, 31), { 31, 8 }, { 8, 31 }, { 53, 31 }, { 31, 53 } })
            EXPECT_TRUE (isInked (image, p.x, p.y, body)) << row.name << " disc at " << p.toString();
        for (const auto& p : { juce::Point<int> (31, 5), { 5, 31 }, { 56, 31 }, { 0, 0 }, { 61, 61 } })
            EXPECT_EQ (alphaAt (image, p.x, p.y), 0) << row.name << " outside at " << p.toString();

        // The end marks: 2 x 2 dots centred on (10, 50) and (52, 50), apart from the disc.
        for (const auto& p : { juce::Point<int> (9, 49), { 10, 50 }, { 51, 49 }, { 52, 50 } })
            EXPECT_TRUE (isInked (image, p.x, p.y, body)) << row.name << " end mark at " << p.toString();
        for (const auto& p : { juce::Point<int> (7, 50), { 12, 50 }, { 10, 47 }, { 10, 52 }, { 49, 50 }, { 54, 50 } })
            EXPECT_EQ (alphaAt (image, p.x, p.y), 0) << row.name << " beside an end mark at " << p.toString();

        // The pointer dot, radius 4, and the body where the other end would put it.
        for (const auto& offset : { juce::Point<int> (0, 0), { -2, 0 }, { 2, 0 }, { 0, -2 }, { 0, 2 } })
        {
            const auto p = row.dot + offset;
            EXPECT_TRUE (isInked (image, p.x, p.y, pointer)) << row.name << " pointer at " << p.toString();
        }
        EXPECT_TRUE (isInked (image, row.notDot.x, row.notDot.y, body)) << row.name;
        EXPECT_TRUE (isInked (image, row.dot.x + 6, row.dot.y, body) || isInked (image, row.dot.x - 6, row.dot.y, body)) << row.name;
    }
}

TEST (KnobPaint, RingOnlyDrawsJustTheRing)
{
    KnobOnProcessor fixture (marnovex::kParameter_Curve, true);
    automate (fixture.processor, marnovex::kParameter_Curve, 5.0f);
    const auto image = vorn::test::renderComponent (fixture.knob);
    vorn::test::writeTestImage (image, "knob-ring-only");

    // A 2 px line on radius 24 around (31, 31).
    for (const auto& p : { juce::Point<int> (31, 6), { 31, 7 }, { 6, 31 }, { 55, 31 }, { 31, 55 } })
        EXPECT_TRUE (isInked (image, p.x, p.y, body)) << "ring at " << p.toString();

    // Nothing inside or outside it: no disc, no pointer, no end marks.
    for (const auto& p : { juce::Point<int> (31, 31), { 31, 10 }, { 20, 42 }, { 42, 41 }, { 9, 49 }, { 52, 50 }, { 31, 3 } })
        EXPECT_EQ (alphaAt (image, p.x, p.y), 0) << "at " << p.toString();
}

TEST (KnobDrag, TenPixelsUpOnMixFromHalf)
{
    struct Row { juce::ModifierKeys keys; float stepPixels; float expectedPercent; };
    const Row rows[] = {
        { {}, 10.0f, 53.0f },
        { {}, 1.0f, 53.0f },
        { juce::ModifierKeys::shiftModifier, 10.0f, 50.3f },
        { juce::ModifierKeys::shiftModifier, 0.5f, 50.3f },
        // No other modifier makes the drag finer.
        { juce::ModifierKeys::commandModifier, 1.0f, 53.0f },
    };

    for (const auto& row : rows)
    {
        KnobOnProcessor fixture (marnovex::kParameter_Mix);
        ASSERT_FLOAT_EQ (plainValueOf (fixture.processor, marnovex::kParameter_Mix), 50.0f);

        fixture.mouse.press ({ 31.0f, 40.0f }, row.keys);
        fixture.mouse.dragUp (10.0f, row.stepPixels, row.keys);
        fixture.mouse.release();

        EXPECT_NEAR (plainValueOf (fixture.processor, marnovex::kParameter_Mix), row.expectedPercent, 1.0e-3f)
            << row.keys.getRawFlags() << " in steps of " << row.stepPixels;
    }
}

TEST (KnobDrag, HorizontalMovementIsIgnoredAndTheEndsHaveNoDeadZone)
{
    KnobOnProcessor fixture (marnovex::kParameter_Mix);
    fixture.mouse.press ({ 31.0f, 40.0f });
    fixture.mouse.dragTo ({ 200.0f, 40.0f });
    EXPECT_FLOAT_EQ (plainValueOf (fixture.processor, marnovex::kParameter_Mix), 50.0f);

    fixture.mouse.dragTo ({ 31.0f, 400.0f }); // far past the bottom
    EXPECT_FLOAT_EQ (fixture.knob.value, 0.0f);
    fixture.mouse.dragTo ({ 31.0f, 399.0f }); // one pixel back up moves at once
    EXPECT_NEAR (plainValueOf (fixture.processor, marnovex::kParameter_Mix), 0.3f, 1.0e-4f);

    fixture.mouse.dragTo ({ 31.0f, -1000.0f });
    EXPECT_FLOAT_EQ (fixture.knob.value, 1.0f);
    fixture.mouse.dragTo ({ 31.0f, -999.0f });
    EXPECT_NEAR (plainValueOf (fixture.processor, marnovex::kParameter_Mix), 99.7f, 1.0e-4f);
    fixture.mouse.release();
}

TEST (KnobDrag, CurveMovesByWholeChoicesAfterHalfAStep)
{
    // The ring-only knob has no fine mode: Shift changes nothing.
    for (const auto keys : { juce::ModifierKeys(), juce::ModifierKeys (juce::ModifierKeys::shiftModifier) })
    {
        KnobOnProcessor fixture (marnovex::kParameter_Curve, true);
        auto& curve = parameterOf (fixture.processor, marnovex::kParameter_Curve);

        std::vector<int> pixelsAtChange;
        auto lastIndex = 0.0f;
        fixture.mouse.press ({ 31.0f, 40.0f }, keys);

        for (int pixel = 1; pixel <= 50; ++pixel)
        {
            fixture.mouse.dragUp (1.0f, 1.0f, keys);
            const auto index = curve.convertFrom0to1 (curve.getValue());
            if (index != lastIndex)
            {
                pixelsAtChange.push_back (pixel);
                EXPECT_EQ (index, lastIndex + 1.0f) << "skipped a choice";
                EXPECT_FLOAT_EQ (fixture.knob.value, index / 11.0f) << "the knob sits on the chosen index";
                lastIndex = index;
            }
        }
        fixture.mouse.release();

        // Half of 1/11 at 0.003 per pixel is 15.2 pixels; the knob then sits
        // on the choice, so each further choice needs the same travel.
        EXPECT_EQ (pixelsAtChange, (std::vector<int> { 16, 32, 48 })) << "shift: " << keys.isShiftDown();
    }
}

TEST (KnobGestures, PressDragReleaseIsOneGestureAndReachesTheReadout)
{
    KnobOnProcessor fixture (marnovex::kParameter_Mix);
    marnovex::Marnovex_Label readout (fixture.processor.parameters, marnovex::kParameter_Mix);

    fixture.mouse.press ({ 31.0f, 40.0f });
    fixture.mouse.dragUp (20.0f);
    EXPECT_EQ (readout.getText(), "56.0 %");
    fixture.mouse.release();

    const auto events = fixture.host.events();
    ASSERT_EQ (events.size(), 22u) << ::testing::PrintToString (fixture.host.summary());
    EXPECT_EQ (events.front().kind, Kind::begin);
    EXPECT_EQ (events.back().kind, Kind::end);
    EXPECT_EQ (fixture.host.count (Kind::value, marnovex::kParameter_Mix), 20);
    for (const auto& event : events)
    {
        EXPECT_EQ (event.parameterID, marnovex::kParameter_Mix);
        EXPECT_TRUE (event.onMessageThread);
    }
}

TEST (KnobGestures, ResetPressSetsTheDefaultInsideItsGestureAndIgnoresTheDrag)
{
    using Summary = std::vector<std::string>;
    const auto alt = juce::ModifierKeys (juce::ModifierKeys::altModifier);

    struct Row { const char* name; bool clickFirst; juce::ModifierKeys keys; int clicks; float startPercent; Summary expected; };
    const Row rows[] = {
        { "double-click", true, {}, 2, 80.0f, { "begin Mix", "end Mix", "begin Mix", "value Mix", "end Mix" } },
        { "alt-click", false, alt, 1, 80.0f, { "begin Mix", "value Mix", "end Mix" } },
        // Already at the default: the gesture still opens and closes, but no value is sent.
        { "alt-click at default", false, alt, 1, 50.0f, { "begin Mix", "end Mix" } },
    };

    for (const auto& row : rows)
    {
        KnobOnProcessor fixture (marnovex::kParameter_Mix);
        automate (fixture.processor, marnovex::kParameter_Mix, row.startPercent);
        fixture.host.clear();

        if (row.clickFirst)
            fixture.mouse.click ({ 31.0f, 40.0f });

        fixture.mouse.press ({ 31.0f, 40.0f }, row.keys, row.clicks);
        EXPECT_FLOAT_EQ (plainValueOf (fixture.processor, marnovex::kParameter_Mix), 50.0f) << row.name;
        EXPECT_FLOAT_EQ (fixture.knob.value, 0.5f) << row.name;

        fixture.mouse.dragUp (30.0f, 1.0f, row.keys);
        EXPECT_FLOAT_EQ (plainValueOf (fixture.processor, marnovex::kParameter_Mix), 50.0f) << row.name << ": the drag moved it";
        fixture.mouse.release();

        EXPECT_EQ (fixture.host.summary(), row.expected) << row.name;

        // The next ordinary press drags again.
        fixture.mouse.press ({ 31.0f, 40.0f });
        fixture.mouse.dragUp (10.0f);
        fixture.mouse.release();
        EXPECT_NEAR (plainValueOf (fixture.processor, marnovex::kParameter_Mix), 53.0f, 1.0e-3f) << row.name;
    }
}

TEST (KnobGestures, DragContinuesFromTheValueAutomationSetMeanwhile)
{
    KnobOnProcessor fixture (marnovex::kParameter_Send);
    auto& send = parameterOf (fixture.processor, marnovex::kParameter_Send);

    fixture.mouse.press ({ 31.0f, 40.0f });
    fixture.mouse.dragUp (-10.0f); // Send starts at its maximum: drag down
    EXPECT_NEAR (send.getValue(), 0.97f, 1.0e-5f);

    // The host automates Send from its audio thread in the middle of the drag.
    std::thread automation ([&send] { send.setValueNotifyingHost (0.25f); });
    automation.join();
    vorn::test::deliverPendingMessages();
    EXPECT_FLOAT_EQ (fixture.knob.value, 0.25f);

    fixture.mouse.dragUp (10.0f);
    fixture.mouse.release();
    EXPECT_NEAR (send.getValue(), 0.28f, 1.0e-5f);
    EXPECT_NEAR (fixture.knob.value, 0.28f, 1.0e-5f);
}

TEST (KnobGestures, UnknownParameterLeavesTheKnobInert)
{
    KnobOnProcessor fixture ("NoSuchParameter");
    EXPECT_FALSE (fixture.knob.attachment.isBound());
    EXPECT_EQ (fixture.knob.value, 0.0f);

    fixture.mouse.press ({ 31.0f, 40.0f });
    fixture.mouse.dragUp (20.0f);
    fixture.mouse.release();
    fixture.mouse.click ({ 31.0f, 40.0f }, {}, 2);
    fixture.mouse.click ({ 31.0f, 40.0f }, juce::ModifierKeys (juce::ModifierKeys::altModifier));

    EXPECT_TRUE (fixture.host.events().empty()) << ::testing::PrintToString (fixture.host.summary());
    EXPECT_EQ (fixture.knob.value, 0.0f) << "the pointer moved with nothing behind it";
    vorn::test::writeTestImage (vorn::test::renderComponent (fixture.knob), "knob-unbound");
}
} // namespace
