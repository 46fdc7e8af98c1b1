// Presses sent through the window on the desktop, as a user's mouse sends
// them: a double-click on a zoom corner whose second press lands on a knob
// the zoom moved under the pointer, double-clicks aimed at the controls, and
// a window closed while a control is held.

#include "WindowTestSupport.h"

#include "Marnovex_ParameterIDs.h"
#include "TestDisplay.h"
#include "WidgetTestSupport.h"

#include <memory>
#include <vector>

using namespace vorn::test;
using marnovex::kParameter_Return;
using marnovex::kParameter_TimeD;
using marnovex::kParameter_TimeN;

namespace
{
const juce::ModifierKeys leftButton (juce::ModifierKeys::leftButtonModifier);

// Design points of the window: the Return knob's centre, the Time control's
// upper and lower halves, and the zoom-in corner.
const juce::Point<float> returnKnob { 467.0f, 243.0f };
const juce::Point<float> timeUpper { 59.0f, 225.0f };
const juce::Point<float> timeLower { 59.0f, 260.0f };
const juce::Point<float> zoomInCorner { 580.0f, 320.0f };

const HostLog timeReset { "value TimeNumerator", "value TimeDenominator" };

// The click count of every press that reaches a component: proof that the
// press a test means to provoke really arrived there.
struct PressRecorder : juce::MouseListener
{
    explicit PressRecorder (juce::Component& c) : component (c) { component.addMouseListener (this, false); }
    ~PressRecorder() override { component.removeMouseListener (this); }

    void mouseDown (const juce::MouseEvent& event) override { clickCounts.push_back (event.getNumberOfClicks()); }

    juce::Component& component;
    std::vector<int> clickCounts;
};

class WindowPresses : public DisplayTest
{
protected:
    void SetUp() override
    {
        DisplayTest::SetUp();
        startAfresh();
    }

    // A new processor, which reads the stored zoom anew, at the start values.
    void startAfresh()
    {
        processor = std::make_unique<MarnovexTemplateAudioProcessor>();
        setValue (*processor, kParameter_Return, 50.0f);
        setValue (*processor, kParameter_TimeN, 7.0f);
        setValue (*processor, kParameter_TimeD, 9.0f);
    }

    std::unique_ptr<MarnovexTemplateAudioProcessorEditor> openWindow()
    {
        auto window = std::make_unique<MarnovexTemplateAudioProcessorEditor> (*processor);
        window->addToDesktop (0);
        window->setVisible (true);
        return window;
    }

    // Press and release twice at one point of the window, stamped with the
    // real time and as fast as the test runs: the framework counts the
    // second press as the second click of a double-click.
    static void doubleClick (juce::Component& window, juce::Point<float> at)
    {
        for (int i = 0; i < 2; ++i)
        {
            sendThroughPeer (window, at, leftButton);
            sendThroughPeer (window, at, {});
        }
    }

    // The user lets go at last, over some other window: the desktop's mouse
    // no longer holds a button down for the presses that follow.
    static void letGoOfTheDesktopMouse()
    {
        juce::Component elsewhere;
        elsewhere.setBounds (0, 0, 10, 10);
        elsewhere.addToDesktop (0);
        sendThroughPeer (elsewhere, { 5.0f, 5.0f }, {});
    }

    ScopedHome home;
    std::unique_ptr<MarnovexTemplateAudioProcessor> processor;
};

TEST_F (WindowPresses, ADoubleClickOnZoomInZoomsOnceAndLeavesTheKnobMovedUnderThePointerAlone)
{
    struct Row { const char* storedZoom; bool returnClickedBefore; float zoomAfter; juce::Rectangle<int> sizeAfter; };
    const Row rows[] = {
        { "1.0", false, 1.20000005f, { 708, 396 } },
        // Return's own press, long before, must not count either.
        { "0.8", true, 1.0f, { 590, 330 } },
    };

    for (const auto& row : rows)
    {
        SCOPED_TRACE (juce::String ("from zoom ") + row.storedZoom);
        home.writeStoredScale (row.storedZoom);
        startAfresh();
        auto window = openWindow();
        PressRecorder returnPresses (window->inner.returnKnob);
        if (row.returnClickedBefore)
            clickThroughPeer (*window, atZoom (*window, returnKnob));
        HostRecorder host (*processor);

        const auto corner = atZoom (*window, zoomInCorner);
        const auto started = juce::Time::getMillisecondCounterHiRes();
        doubleClick (*window, corner);
        const auto elapsed = juce::Time::getMillisecondCounterHiRes() - started;

        EXPECT_EQ (window->info.scale, row.zoomAfter);
        EXPECT_EQ (window->getBounds().withZeroOrigin(), row.sizeAfter);
        ASSERT_FALSE (returnPresses.clickCounts.empty()) << "the second press missed Return";
        ASSERT_EQ (returnPresses.clickCounts.back(), 2)
            << "the presses were not one double-click (" << elapsed << " ms apart at most)";

        EXPECT_FLOAT_EQ (valueOf (*processor, kParameter_Return), 50.0f);
        EXPECT_EQ (host.log, oneGesture (kParameter_Return, 0)) << "Return must see an ordinary press, nothing more";
    }
}

TEST_F (WindowPresses, ADoubleClickAimedAtAControlStillResetsIt)
{
    auto window = openWindow();
    HostRecorder host (*processor);

    doubleClick (*window, returnKnob);
    EXPECT_FLOAT_EQ (valueOf (*processor, kParameter_Return), 100.0f);
    EXPECT_EQ (host.log, oneGesture (kParameter_Return, 0) + oneGesture (kParameter_Return, 1));

    host.log.clear();
    doubleClick (*window, timeUpper);
    EXPECT_EQ (valueOf (*processor, kParameter_TimeN), 4.0f);
    EXPECT_EQ (valueOf (*processor, kParameter_TimeD), 4.0f);
    EXPECT_EQ (host.log, oneGesture (kParameter_TimeN, 0) + timeReset);
}

TEST_F (WindowPresses, AWindowClosedWhileAControlIsHeldEndsTheGestureItsPressOpened)
{
    struct Row { const char* name; juce::Point<float> at; bool pressedJustBefore, released; HostLog expected; };
    const Row rows[] = {
        { "Return dragged", returnKnob, false, false, oneGesture (kParameter_Return, 1) },
        { "Time numerator dragged", timeUpper, false, false, oneGesture (kParameter_TimeN, 1) },
        { "Time denominator dragged", timeLower, false, false, oneGesture (kParameter_TimeD, 1) },
        // Nothing is open, so closing the window must send nothing more.
        { "Return dragged and released", returnKnob, false, true, oneGesture (kParameter_Return, 1) },
        { "Time reset held", timeUpper, true, false, oneGesture (kParameter_TimeN, 0) + timeReset },
    };

    for (const auto& row : rows)
    {
        startAfresh();
        auto window = openWindow();
        HostRecorder host (*processor);

        if (row.pressedJustBefore)
        {
            sendThroughPeer (*window, row.at, leftButton);
            sendThroughPeer (*window, row.at, {});
        }
        sendThroughPeer (*window, row.at, leftButton);
        sendThroughPeer (*window, row.at.translated (0.0f, -10.0f), leftButton);
        if (row.released)
            sendThroughPeer (*window, row.at.translated (0.0f, -10.0f), {});

        window.reset();
        EXPECT_EQ (host.log, row.expected) << row.name;
        letGoOfTheDesktopMouse();
    }
}
} // namespace
