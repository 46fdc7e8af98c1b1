// The window's zoom: the stored preference it opens at, the sizes each click
// gives (float arithmetic, never snapped back to the 0.2 grid), and what each
// click stores for the next window.

#include "WindowTestSupport.h"

#include "TestDisplay.h"

#include <limits>

using namespace vorn::test;

namespace
{
juce::Rectangle<int> sizeOf (const juce::Component& c) { return { c.getWidth(), c.getHeight() }; }

juce::Rectangle<int> size (int w, int h) { return { w, h }; }

// Counts the outer editor's visibility changes: every click hides and shows it.
struct VisibilityCounter : juce::ComponentListener
{
    explicit VisibilityCounter (juce::Component& c) : component (c) { component.addComponentListener (this); }
    ~VisibilityCounter() override { component.removeComponentListener (this); }

    void componentVisibilityChanged (juce::Component&) override { ++changes; }

    juce::Component& component;
    int changes = 0;
};

//==============================================================================
class WindowOpening : public ::testing::Test
{
protected:
    juce::Rectangle<int> openedSize()
    {
        MarnovexTemplateAudioProcessor processor;
        MarnovexTemplateAudioProcessorEditor editor (processor);
        EXPECT_EQ (sizeOf (editor.inner), size (590, 330)) << "the inner editor keeps the design size";
        return sizeOf (editor);
    }

    ScopedHome home;
};

TEST_F (WindowOpening, WithoutASettingsFileTheWindowHasItsDesignSize)
{
    EXPECT_EQ (openedSize(), size (590, 330));
    EXPECT_FALSE (home.settingsFile().exists()) << "opening the window writes nothing";
}

TEST_F (WindowOpening, TheStoredZoomIsLimitedToItsRange)
{
    const std::pair<juce::String, juce::Rectangle<int>> cases[] = {
        { "1.0", size (590, 330) },
        { "1.1", size (649, 363) },               // off the 0.2 grid, accepted as it is
        { "0.999999821", size (589, 329) },       // drifted by zooming down from 2.0
        { "1.200000047683716", size (708, 396) }, // drifted by one step up from 1.0
        { "0.5", size (472, 264) },
        { "-3", size (472, 264) },
        { "2.5", size (1180, 660) },
        { "1e300", size (1180, 660) },            // beyond the float range
        { "not a number", size (472, 264) },      // reads as 0
        { "", size (472, 264) },
        { "nan", size (472, 264) },
    };

    for (const auto& [stored, expected] : cases)
    {
        home.writeStoredScale (stored);
        EXPECT_EQ (openedSize(), expected) << "stored \"" << stored << "\"";
    }
}

TEST_F (WindowOpening, AStoredZoomOffTheGridStepsFromItsOwnValue)
{
    home.writeStoredScale ("1.1");
    MarnovexTemplateAudioProcessor processor;
    MarnovexTemplateAudioProcessorEditor editor (processor);
    editor.inner.buttonClicked (&editor.inner.zoomInButton);

    EXPECT_EQ (editor.info.scale, 1.1f + 0.2f);
    EXPECT_NEAR (editor.info.scale, 1.3f, 1.0e-6f);
    EXPECT_EQ (sizeOf (editor), size ((int) (590.0f * (1.1f + 0.2f)), (int) (330.0f * (1.1f + 0.2f))));
}

TEST_F (WindowOpening, OtherButtonsChangeNothing)
{
    MarnovexTemplateAudioProcessor processor;
    MarnovexTemplateAudioProcessorEditor editor (processor);
    juce::TextButton stranger;
    editor.inner.buttonClicked (&stranger);
    editor.inner.buttonClicked (&editor.inner.presetController.nextButton);
    editor.inner.buttonClicked (nullptr);

    EXPECT_EQ (editor.info.scale, 1.0f);
    EXPECT_EQ (sizeOf (editor), size (590, 330));
    EXPECT_FALSE (home.settingsFile().exists());
}

//==============================================================================
// Clicks go through the window's peer to the zoom glyphs, which sit at the
// design's corners and move with the zoom.
class WindowZoom : public DisplayTest
{
protected:
    enum Direction { out, in };

    struct Step
    {
        Direction direction;
        float scale;
        juce::Rectangle<int> size;
    };

    void clickZoom (MarnovexTemplateAudioProcessorEditor& editor, Direction direction)
    {
        const auto designPoint = direction == in ? juce::Point<float> (580.0f, 320.0f) : juce::Point<float> (10.0f, 10.0f);
        clickThroughPeer (editor, atZoom (editor, designPoint));
    }

    // Opens a window at the stored zoom, clicks through `steps` and checks the
    // scale, the size and the stored number after every click, then reopens.
    void runPath (const juce::String& storedStart, std::initializer_list<Step> steps)
    {
        if (storedStart.isNotEmpty())
            home.writeStoredScale (storedStart);

        juce::Rectangle<int> lastSize;
        {
            MarnovexTemplateAudioProcessor processor;
            MarnovexTemplateAudioProcessorEditor editor (processor);
            editor.addToDesktop (0);
            editor.setVisible (true);
            VisibilityCounter visibility (editor);

            int click = 0;
            for (const auto& step : steps)
            {
                SCOPED_TRACE ("from " + storedStart + ", click " + juce::String (++click));
                clickZoom (editor, step.direction);

                EXPECT_EQ (editor.info.scale, step.scale);
                EXPECT_EQ (sizeOf (editor), step.size);
                EXPECT_EQ (sizeOf (editor.inner), size (590, 330));
                EXPECT_EQ (editor.inner.getTransform(), juce::AffineTransform::scale (step.scale));
                EXPECT_EQ (visibility.changes, 2 * click) << "hidden and shown again, even at a bound";
                EXPECT_TRUE (editor.isVisible());
                expectStored (step.scale);
            }
            lastSize = sizeOf (editor);

            // A later window of the same instance opens where this one ended.
            MarnovexTemplateAudioProcessorEditor again (processor);
            EXPECT_EQ (sizeOf (again), lastSize);
        }

        // So does a new instance, reading the file.
        MarnovexTemplateAudioProcessor processor;
        MarnovexTemplateAudioProcessorEditor reopened (processor);
        EXPECT_EQ (sizeOf (reopened), lastSize) << "reopened from " << storedStart;
    }

    // The framework writes doubles with 16 digits, so the drifted float comes
    // back as a nearby double: compare as numbers, close enough to tell
    // 1.2000000476837158 from 1.2.
    void expectStored (float scale)
    {
        const auto text = home.storedScaleText();
        ASSERT_TRUE (text.has_value()) << "nothing stored";
        const auto stored = text->getDoubleValue();
        EXPECT_EQ ((float) stored, scale) << "stored \"" << *text << "\"";
        EXPECT_NEAR (stored, (double) scale, 1.0e-13) << "stored \"" << *text << "\"";
    }

    ScopedHome home;
};

TEST_F (WindowZoom, UpFromDesignSizeToTheLargestZoom)
{
    runPath ({}, { { in, 1.20000005f, size (708, 396) },
                   { in, 1.40000010f, size (826, 462) },
                   { in, 1.60000014f, size (944, 528) },
                   { in, 1.80000019f, size (1062, 594) },
                   { in, 2.0f, size (1180, 660) },
                   { in, 2.0f, size (1180, 660) } });
}

TEST_F (WindowZoom, DownFromTheLargestZoomDriftsBelowDesignSize)
{
    runPath ("2.0", { { out, 1.79999995f, size (1062, 594) },
                      { out, 1.59999990f, size (943, 527) },
                      { out, 1.39999986f, size (825, 461) },
                      { out, 1.19999981f, size (707, 395) },
                      { out, 0.999999821f, size (589, 329) } });
}

TEST_F (WindowZoom, TheDriftedValueIsKeptOnTheWayBackUp)
{
    runPath ("0.999999821", { { in, 1.19999981f, size (707, 395) },
                              { in, 1.39999986f, size (825, 461) },
                              { in, 1.59999990f, size (943, 527) },
                              { in, 1.79999995f, size (1062, 594) },
                              { in, 2.0f, size (1180, 660) } });
}

TEST_F (WindowZoom, TheSmallestZoomIsABoundBothWays)
{
    runPath ("0.999999821", { { out, 0.8f, size (472, 264) },
                              { out, 0.8f, size (472, 264) },
                              { in, 1.0f, size (590, 330) },
                              { in, 1.20000005f, size (708, 396) } });
}

TEST_F (WindowZoom, AnUnreadableSettingsFileLeavesTheZoomUnremembered)
{
    // The store refuses this file (see the preference store's tests); the
    // window must follow that decision, not read the entry itself.
    const juce::String unreadable = "<?xml version=\"1.0\"?>\n<SETTINGS><VALUE name=\"EditorScale\" val=\"1.6\"/></SETTINGS>\n";
    home.writeSettings (unreadable);
    {
        MarnovexTemplateAudioProcessor processor;
        MarnovexTemplateAudioProcessorEditor editor (processor);
        EXPECT_EQ (sizeOf (editor), size (590, 330));

        editor.addToDesktop (0);
        editor.setVisible (true);
        clickZoom (editor, in);
        EXPECT_EQ (sizeOf (editor), size (708, 396)) << "the open window still zooms";

        MarnovexTemplateAudioProcessorEditor again (processor);
        EXPECT_EQ (sizeOf (again), size (590, 330));
    }

    MarnovexTemplateAudioProcessor processor;
    MarnovexTemplateAudioProcessorEditor reopened (processor);
    EXPECT_EQ (sizeOf (reopened), size (590, 330));
    EXPECT_EQ (home.settingsFile().loadFileAsString(), unreadable);
}
} // namespace
