// The knob: its drawing at both ends of the range and as a ring, its drag
// sensitivities and resets, and the gestures the host sees from it.

#include <gtest/gtest.h>

#include "Marnovex_Knob.h"
#include "Marnovex_Label.h"
#include "Marnovex_ParameterIDs.h"
#include "StateTestSupport.h"
#include "TestOutput.h"
#include "WidgetTestSupport.h"

#include <cmath>
#include <thread>

namespace
{
using namespace vorn::test;
using marnovex::kParameter_Mix;

const juce::Colour body { 0xFF52B4EB };
const juce::Colour pointer { 0xFF2A2A2A };
const juce::Point<float> pressPoint { 31.0f, 40.0f };

struct KnobOnProcessor
{
    explicit KnobOnProcessor (const juce::String& id, bool ringOnly = false, float startValue = -1.0f)
        : knob (processor.parameters, id)
    {
        if (startValue >= 0.0f)
            setValue (processor, id, startValue);
        knob.ringOnly = ringOnly;
        knob.setBounds (0, 0, 62, 62);
        knob.setColour (marnovex::Marnovex_Knob::bodyColourId, body);
        knob.setColour (marnovex::Marnovex_Knob::pointerColourId, pointer);
    }

    // Presses, drags up by `pixels` in steps of `step` and releases.
    void drag (float pixels, float step = 1.0f, juce::ModifierKeys keys = {})
    {
        mouse.press (pressPoint, keys);
        mouse.dragUp (pixels, step, keys);
        mouse.release();
    }

    float mix() { return valueOf (processor, kParameter_Mix); }

    MarnovexTemplateAudioProcessor processor;
    marnovex::Marnovex_Knob knob;
    HostRecorder host { processor };
    MouseGesture mouse { knob };
};

TEST (KnobPaint, DiscEndMarksAndPointerAtBothEndsAndTheRingOnly)
{
    // The pointer dot's centre, 11 px left of and 11 px below the centre,
    // turned by 0 and by 4.7 radians.
    const juce::Point<int> atZero (20, 42), atOne (42, 41);

    for (const auto percent : { 0.0f, 100.0f })
    {
        KnobOnProcessor fixture (kParameter_Mix, false, percent);
        const auto image = renderComponent (fixture.knob);
        const auto name = "knob-value-" + juce::String (percent / 100.0f);
        writeTestImage (image, name);
        const auto dot = percent == 0.0f ? atZero : atOne;
        const auto notDot = percent == 0.0f ? atOne : atZero;

        // The disc to radius 24 around (31, 31); end marks 2 x 2 on (10, 50) and (52, 50), apart from it.
        EXPECT_TRUE (pixelsAre (image, { { 31, 31 }, { 31, 8 }, { 8, 31 }, { 53, 31 }, { 31, 53 }, notDot }, body)) << name;
        EXPECT_TRUE (pixelsAre (image, { { 9, 49 }, { 10, 50 }, { 51, 49 }, { 52, 50 } }, body)) << name;
        EXPECT_TRUE (pixelsAre (image, { { 31, 5 }, { 5, 31 }, { 56, 31 }, { 0, 0 }, { 61, 61 }, { 7, 50 }, { 12, 50 },
                                         { 10, 47 }, { 10, 52 }, { 49, 50 }, { 54, 50 } }, {})) << name;

        // The pointer dot, radius 4, centred there, with the body around it.
        const auto turn = percent / 100.0f * 4.7f;
        const auto dotInk = boundsOfPixels (image.getBounds(), [&] (int x, int y) { return isInked (image, x, y, pointer); });
        EXPECT_NEAR (dotInk.toFloat().getCentreX(), 31.0f - 11.0f * std::cos (turn) - 11.0f * std::sin (turn), 0.6f) << name;
        EXPECT_NEAR (dotInk.toFloat().getCentreY(), 31.0f - 11.0f * std::sin (turn) + 11.0f * std::cos (turn), 0.6f) << name;
        EXPECT_TRUE (dotInk.getWidth() >= 5 && dotInk.getWidth() <= 8 && dotInk.getHeight() >= 5 && dotInk.getHeight() <= 8) << name;
        EXPECT_TRUE (isInked (image, dot.x + 6, dot.y, body) || isInked (image, dot.x - 6, dot.y, body)) << name;
    }

    // The ring-only knob: a 2 px line on radius 24, no disc, pointer or end marks.
    KnobOnProcessor ring (marnovex::kParameter_Curve, true, 5.0f);
    const auto image = renderComponent (ring.knob);
    writeTestImage (image, "knob-ring-only");
    EXPECT_TRUE (pixelsAre (image, { { 31, 6 }, { 31, 7 }, { 6, 31 }, { 55, 31 }, { 31, 55 } }, body));
    EXPECT_TRUE (pixelsAre (image, { { 31, 31 }, { 31, 10 }, atZero, atOne, { 9, 49 }, { 52, 50 }, { 31, 3 } }, {}));
}

TEST (KnobDrag, TenPixelsUpOnMixFromHalfAndNoDeadZoneAtTheEnds)
{
    struct Row { int keys; float stepPixels; float expectedPercent; };
    const Row rows[] = {
        { 0, 1.0f, 53.0f },
        { juce::ModifierKeys::shiftModifier, 0.5f, 50.3f },
        { juce::ModifierKeys::commandModifier, 10.0f, 53.0f }, // no other modifier makes the drag finer
    };

    for (const auto& row : rows)
    {
        KnobOnProcessor fixture (kParameter_Mix);
        fixture.drag (10.0f, row.stepPixels, juce::ModifierKeys (row.keys));
        EXPECT_NEAR (fixture.mix(), row.expectedPercent, 1.0e-3f) << row.keys << " in steps of " << row.stepPixels;
    }

    // Sideways movement does nothing; past either end, one pixel back moves at once.
    KnobOnProcessor fixture (kParameter_Mix);
    fixture.mouse.press (pressPoint);
    fixture.mouse.dragTo ({ 200.0f, 40.0f });
    EXPECT_FLOAT_EQ (fixture.mix(), 50.0f);
    fixture.mouse.dragTo ({ 31.0f, 400.0f });
    fixture.mouse.dragTo ({ 31.0f, 399.0f });
    EXPECT_NEAR (fixture.mix(), 0.3f, 1.0e-4f);
    fixture.mouse.dragTo ({ 31.0f, -1000.0f });
    fixture.mouse.dragTo ({ 31.0f, -999.0f });
    EXPECT_NEAR (fixture.mix(), 99.7f, 1.0e-4f);
    fixture.mouse.release();
}

TEST (KnobDrag, CurveMovesByWholeChoicesAfterHalfAStep)
{
    // The ring-only knob has no fine mode: Shift changes nothing.
    for (const auto keys : { juce::ModifierKeys(), juce::ModifierKeys (juce::ModifierKeys::shiftModifier) })
    {
        KnobOnProcessor fixture (marnovex::kParameter_Curve, true);
        const auto curve = [&] { return valueOf (fixture.processor, marnovex::kParameter_Curve); };

        // Half of 1/11 at 0.003 per pixel is 15.2 pixels; the knob then sits
        // on the choice, so each further choice needs the same travel.
        EXPECT_EQ (travelsAtChanges (fixture.mouse, pressPoint, 1.0f, 50.0f, curve, keys), (std::vector<float> { 16, 32, 48 }));
        EXPECT_EQ (curve(), 3.0f) << "skipped a choice";
    }
}

TEST (KnobGestures, PressDragReleaseIsOneGestureAndReachesTheReadout)
{
    KnobOnProcessor fixture (kParameter_Mix);
    marnovex::Marnovex_Label readout (fixture.processor.parameters, kParameter_Mix);
    fixture.mouse.press (pressPoint);
    fixture.mouse.dragUp (20.0f);
    EXPECT_EQ (readout.getText(), "56.0 %");
    fixture.mouse.release();

    EXPECT_EQ (fixture.host.log, oneGesture (kParameter_Mix, 20));
    EXPECT_EQ (fixture.host.callsOffMessageThread, 0);
}

TEST (KnobGestures, ResetPressSetsTheDefaultInsideItsGestureAndIgnoresTheDrag)
{
    const juce::ModifierKeys alt (juce::ModifierKeys::altModifier);
    struct Row { const char* name; bool clickFirst; juce::ModifierKeys keys; int clicks; float startPercent; HostLog expected; };
    const Row rows[] = {
        { "double-click", true, {}, 2, 80.0f, oneGesture (kParameter_Mix, 0) + oneGesture (kParameter_Mix, 1) },
        { "alt-click", false, alt, 1, 80.0f, oneGesture (kParameter_Mix, 1) },
        // Already at the default: the gesture still opens and closes, but no value is sent.
        { "alt-click at default", false, alt, 1, 50.0f, oneGesture (kParameter_Mix, 0) },
    };

    for (const auto& row : rows)
    {
        KnobOnProcessor fixture (kParameter_Mix, false, row.startPercent);
        fixture.host.log.clear();
        if (row.clickFirst)
            fixture.mouse.click (pressPoint);

        fixture.mouse.press (pressPoint, row.keys, row.clicks);
        EXPECT_FLOAT_EQ (fixture.mix(), 50.0f) << row.name;
        EXPECT_FLOAT_EQ (fixture.knob.value, 0.5f) << row.name;
        fixture.mouse.dragUp (30.0f, 1.0f, row.keys);
        fixture.mouse.release();
        EXPECT_FLOAT_EQ (fixture.mix(), 50.0f) << row.name << ": the drag moved it";
        EXPECT_EQ (fixture.host.log, row.expected) << row.name;

        // The next ordinary press drags again.
        fixture.drag (10.0f);
        EXPECT_NEAR (fixture.mix(), 53.0f, 1.0e-3f) << row.name;
    }
}

TEST (KnobGestures, AClickCountMadeOfPressesElsewhereIsAnOrdinaryPress)
{
    // The framework counts clicks by place and time on the desktop: when a
    // zoom click moves the window, its next press lands here counted as a
    // double-click. Only presses this knob took itself make a reset.
    const auto longerThanADoubleClick = juce::RelativeTime::milliseconds (juce::MouseEvent::getDoubleClickTimeout() + 100);
    struct Row { const char* name; std::vector<int> earlierClicks; juce::RelativeTime pause; int clicks; };
    const Row rows[] = {
        { "second press of a double-click begun elsewhere", {}, juce::RelativeTime(), 2 },
        { "third press of a triple-click begun elsewhere", { 2 }, juce::RelativeTime(), 3 },
        { "own press longer ago than the double-click time", { 1 }, longerThanADoubleClick, 2 },
    };

    for (const auto& row : rows)
    {
        KnobOnProcessor fixture (kParameter_Mix, false, 80.0f);
        fixture.host.log.clear();
        for (const auto clicks : row.earlierClicks)
            fixture.mouse.click (pressPoint, {}, clicks);
        fixture.mouse.wait (row.pause);

        fixture.mouse.press (pressPoint, {}, row.clicks);
        EXPECT_FLOAT_EQ (fixture.mix(), 80.0f) << row.name << ": reset";
        fixture.mouse.dragUp (10.0f);
        fixture.mouse.release();

        EXPECT_NEAR (fixture.mix(), 83.0f, 1.0e-3f) << row.name << ": the drag was ignored";
        HostLog expected;
        for (size_t i = 0; i < row.earlierClicks.size(); ++i)
            expected = expected + oneGesture (kParameter_Mix, 0);
        EXPECT_EQ (fixture.host.log, expected + oneGesture (kParameter_Mix, 10)) << row.name;
    }
}

TEST (KnobGestures, DragContinuesFromTheValueAutomationSetMeanwhile)
{
    KnobOnProcessor fixture (marnovex::kParameter_Send);
    auto& send = *fixture.processor.parameters.getParameter (marnovex::kParameter_Send);
    fixture.mouse.press (pressPoint);
    fixture.mouse.dragUp (-10.0f); // Send starts at its maximum: drag down
    EXPECT_NEAR (send.getValue(), 0.97f, 1.0e-5f);

    // The host automates Send from its audio thread in the middle of the drag.
    std::thread ([&send] { send.setValueNotifyingHost (0.25f); }).join();
    deliverPendingMessages();
    EXPECT_FLOAT_EQ (fixture.knob.value, 0.25f);

    fixture.mouse.dragUp (10.0f);
    fixture.mouse.release();
    EXPECT_NEAR (send.getValue(), 0.28f, 1.0e-5f);
    EXPECT_NEAR (fixture.knob.value, 0.28f, 1.0e-5f);
}

TEST (KnobGestures, UnknownParameterLeavesTheKnobInert)
{
    KnobOnProcessor fixture ("NoSuchParameter");
    fixture.drag (20.0f);
    fixture.mouse.click (pressPoint, {}, 2);
    fixture.mouse.click (pressPoint, juce::ModifierKeys (juce::ModifierKeys::altModifier));

    EXPECT_TRUE (fixture.host.log.empty()) << ::testing::PrintToString (fixture.host.log);
    EXPECT_EQ (fixture.knob.value, 0.0f) << "the pointer moved with nothing behind it";
}
} // namespace
