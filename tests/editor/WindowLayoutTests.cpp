// The plug-in window's content: where every control lands, in which colour,
// and which widget a press reaches where widgets overlap.

#include "WindowTestSupport.h"

#include "Marnovex_Colours.h"
#include "TestDisplay.h"
#include "TestOutput.h"
#include "WidgetTestSupport.h"

#include <cmath>

using namespace vorn::test;
using marnovex::Colours;

namespace
{
struct ColourOffset
{
    float r, g, b;

    explicit ColourOffset (juce::Colour c)
        : r ((float) c.getRed() - (float) Colours::background.getRed()),
          g ((float) c.getGreen() - (float) Colours::background.getGreen()),
          b ((float) c.getBlue() - (float) Colours::background.getBlue()) {}

    float length() const { return std::sqrt (r * r + g * g + b * b); }
    float dot (const ColourOffset& o) const { return r * o.r + g * o.g + b * o.b; }
};

// Anti-aliased text and strokes blend their colour into the background, so a
// drawn pixel lies on the line from the background towards the ink. The
// pixel furthest from the background tells the ink's direction (its hue).
juce::Colour strongestInk (const juce::Image& image, juce::Rectangle<int> area)
{
    auto best = Colours::background;
    for (int y = area.getY(); y < area.getBottom(); ++y)
        for (int x = area.getX(); x < area.getRight(); ++x)
            if (ColourOffset (image.getPixelAt (x, y)).length() > ColourOffset (best).length())
                best = image.getPixelAt (x, y);
    return best;
}

// True when `area` holds ink of `accent`'s hue, at least half as strong as
// the accent itself and never stronger.
::testing::AssertionResult inkOf (const juce::Image& image, juce::Rectangle<int> area, juce::Colour accent)
{
    const ColourOffset ink (strongestInk (image, area)), expected (accent);
    if (ink.length() < 0.5f * expected.length() || ink.length() > expected.length() + 8.0f)
        return ::testing::AssertionFailure() << "ink strength " << ink.length() << " for accent strength " << expected.length()
                                             << " in " << area.toString();
    const auto cosine = ink.dot (expected) / (ink.length() * expected.length());
    if (cosine < 0.99f)
        return ::testing::AssertionFailure() << "ink hue off by cosine " << cosine << " in " << area.toString();
    return ::testing::AssertionSuccess();
}

// Text or strokes in a grey-free neutral ink brighter than the palette's grey.
::testing::AssertionResult brighterNeutralThanGrey (const juce::Image& image, juce::Rectangle<int> area)
{
    const auto ink = strongestInk (image, area);
    const auto spread = juce::jmax (ink.getRed(), ink.getGreen(), ink.getBlue()) - juce::jmin (ink.getRed(), ink.getGreen(), ink.getBlue());
    if (spread <= 4 && ColourOffset (ink).length() > ColourOffset (Colours::grey).length())
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "strongest ink " << ink.toDisplayString (true) << " in " << area.toString();
}

::testing::AssertionResult pixelIs (const juce::Image& image, int x, int y, juce::Colour expected, int tolerance = 6)
{
    const auto actual = image.getPixelAt (x, y);
    const auto off = [] (juce::uint8 a, juce::uint8 b) { return std::abs ((int) a - (int) b); };
    if (off (actual.getRed(), expected.getRed()) <= tolerance && off (actual.getGreen(), expected.getGreen()) <= tolerance
        && off (actual.getBlue(), expected.getBlue()) <= tolerance && actual.getAlpha() == 0xFF)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "pixel (" << x << ", " << y << ") is " << actual.toDisplayString (true)
                                         << ", expected " << expected.toDisplayString (true);
}

class WindowLayout : public ::testing::Test
{
protected:
    ScopedHome home;
    MarnovexTemplateAudioProcessor processor;
    MarnovexTemplateAudioProcessorEditor editor { processor };
    marnovex::Marnovex_Editor& inner = editor.inner;
};

struct Control
{
    juce::Component& knob;
    juce::Label& name;
    juce::Label& value;
    juce::Colour accent;
};

std::vector<Control> controlRow (marnovex::Marnovex_Editor& e)
{
    return { { e.timeKnob, e.timeName, e.bpmLabel, Colours::blue },
             { e.overlapKnob, e.overlapName, e.overlapValue, Colours::blue },
             { e.curveKnob, e.curveName, e.curveValue, Colours::blue },
             { e.intensityKnob, e.intensityName, e.intensityValue, Colours::blue },
             { e.feedbackKnob, e.feedbackName, e.feedbackValue, Colours::blue },
             { e.sendKnob, e.sendName, e.sendValue, Colours::red },
             { e.returnKnob, e.returnName, e.returnValue, Colours::red },
             { e.mixKnob, e.mixName, e.mixValue, Colours::red } };
}
} // namespace

TEST_F (WindowLayout, ChildrenAreStackedAndPlacedAsDesigned)
{
    EXPECT_EQ (editor.getBounds(), juce::Rectangle<int> (0, 0, 590, 330));
    EXPECT_EQ (inner.getBounds(), juce::Rectangle<int> (0, 0, 590, 330));

    // Lowest first: the preset bar's widgets, then everything the window adds.
    auto& e = inner;
    auto& bar = e.presetController;
    using R = juce::Rectangle<int>;
    const std::pair<const juce::Component*, R> expected[] = {
        { &bar.presetName, R (150, 15, 290, 20) }, { &bar.previousButton, R (479, 16, 20, 20) },
        { &bar.nextButton, R (504, 16, 20, 20) },  { &bar.loadButton, R (529, 16, 20, 20) },
        { &bar.saveButton, R (556, 16, 20, 20) },  { &e.zoomOutButton, R (0, 0, 20, 20) },
        { &e.zoomInButton, R (570, 310, 20, 20) }, { &e.titleLabel, R (15, 15, 150, 20) },
        { &e.canvas, R (5, 43, 580, 160) },
        { &e.timeKnob, R (28, 212, 62, 62) },       { &e.timeName, R (28, 272, 62, 20) },       { &e.bpmLabel, R (28, 287, 62, 20) },
        { &e.overlapKnob, R (96, 212, 62, 62) },    { &e.overlapName, R (96, 272, 62, 20) },    { &e.overlapValue, R (96, 287, 62, 20) },
        { &e.curveIcon, R (182, 230, 26, 26) },
        { &e.curveKnob, R (164, 212, 62, 62) },     { &e.curveName, R (164, 272, 62, 20) },     { &e.curveValue, R (164, 287, 62, 20) },
        { &e.intensityKnob, R (232, 212, 62, 62) }, { &e.intensityName, R (232, 272, 62, 20) }, { &e.intensityValue, R (232, 287, 62, 20) },
        { &e.feedbackKnob, R (300, 212, 62, 62) },  { &e.feedbackName, R (300, 272, 62, 20) },  { &e.feedbackValue, R (300, 287, 62, 20) },
        { &e.sendKnob, R (368, 212, 62, 62) },      { &e.sendName, R (368, 272, 62, 20) },      { &e.sendValue, R (368, 287, 62, 20) },
        { &e.returnKnob, R (436, 212, 62, 62) },    { &e.returnName, R (436, 272, 62, 20) },    { &e.returnValue, R (436, 287, 62, 20) },
        { &e.mixKnob, R (504, 212, 62, 62) },       { &e.mixName, R (504, 272, 62, 20) },       { &e.mixValue, R (504, 287, 62, 20) },
    };

    ASSERT_EQ (e.getNumChildComponents(), (int) std::size (expected));
    for (int z = 0; z < e.getNumChildComponents(); ++z)
    {
        EXPECT_EQ (e.getChildComponent (z), expected[z].first) << "stacking position " << z + 1;
        EXPECT_EQ (expected[z].first->getBounds(), expected[z].second) << "stacking position " << z + 1;
        EXPECT_TRUE (expected[z].first->isVisible()) << "stacking position " << z + 1;
    }

    const juce::String names[] = { "Time", "Overlap", "Curve", "Intensity", "Feedback", "Send", "Return", "Mix" };
    auto row = controlRow (e);
    for (size_t i = 0; i < row.size(); ++i)
        EXPECT_EQ (row[i].name.getText(), names[i]);
    EXPECT_EQ (e.titleLabel.getText(), "Vorn 2.0.0");
    EXPECT_TRUE (e.curveKnob.ringOnly);
    EXPECT_FALSE (e.overlapKnob.ringOnly);
}

TEST_F (WindowLayout, PressesReachTheTopmostWidgetWhereWidgetsOverlap)
{
    auto& e = inner;
    struct Case { int x, y; const juce::Component* expected; const char* why; };
    std::vector<Case> cases = {
        { 0, 0, &e.zoomOutButton, "zoom out corner" },
        { 589, 329, &e.zoomInButton, "zoom in corner" },
        { 165, 25, &e.presetController.presetName, "preset name right of the title" },
        { 439, 34, &e.presetController.presetName, "preset name's last pixel" },
        { 195, 243, &e.curveKnob, "the curve icon lies under the ring-only knob" },
        { 183, 231, &e.curveKnob, "the icon's corner" },
        { 300, 120, &e.canvas, "curve display" },
    };
    for (int x = 150; x <= 164; ++x)
        for (int y : { 15, 25, 34 })
            cases.push_back ({ x, y, &e.titleLabel, "the title covers the preset name's left end" });

    for (const auto& control : controlRow (e))
    {
        const auto centreX = control.knob.getX() + 31;
        cases.push_back ({ centreX, 271, &control.knob, "the knob's last row of its own" });
        cases.push_back ({ centreX, 272, &control.name, "the name covers the knob's bottom two rows" });
        cases.push_back ({ centreX, 273, &control.name, "the name covers the knob's bottom two rows" });
        cases.push_back ({ centreX, 286, &control.name, "the name's last row of its own" });
        cases.push_back ({ centreX, 287, &control.value, "the readout covers the name's bottom five rows" });
    }

    for (const auto& c : cases)
        EXPECT_EQ (e.getComponentAt (c.x, c.y), c.expected) << c.why << " at (" << c.x << ", " << c.y << ")";
}

TEST_F (WindowLayout, RenderedWindowShowsEachControlInItsColour)
{
    inner.timerCallback(); // the tempo readout, as after the first tick
    const auto image = renderComponent (editor);
    ASSERT_TRUE (writeTestImage (image, "window-zoom-1.0"));
    ASSERT_EQ (image.getBounds(), juce::Rectangle<int> (0, 0, 590, 330));

    // Background wherever no widget draws, inside the curve knob's ring too.
    for (auto p : { juce::Point<int> (100, 5), juce::Point<int> (450, 38), juce::Point<int> (2, 250),
                    juce::Point<int> (300, 320), juce::Point<int> (195, 225), juce::Point<int> (175, 243) })
        EXPECT_TRUE (pixelIs (image, p.x, p.y, Colours::background));

    // Knob discs in their accents (the centre lies clear of the pointer dot).
    for (auto [x, accent] : { std::pair (96, Colours::blue), std::pair (232, Colours::blue), std::pair (300, Colours::blue),
                              std::pair (368, Colours::red), std::pair (436, Colours::red), std::pair (504, Colours::red) })
        EXPECT_TRUE (pixelIs (image, x + 31, 243, accent)) << "knob at x " << x;

    // The curve knob is a ring only, with the icon's stroke inside it.
    EXPECT_TRUE (inkOf (image, { 194, 217, 2, 3 }, Colours::blue));
    EXPECT_TRUE (inkOf (image, { 169, 242, 3, 2 }, Colours::blue));
    EXPECT_TRUE (inkOf (image, { 182, 230, 26, 26 }, Colours::blue));

    // The Time control: ring and fraction bar.
    EXPECT_TRUE (inkOf (image, { 58, 217, 2, 3 }, Colours::blue));
    EXPECT_TRUE (pixelIs (image, 59, 242, Colours::blue));

    // Names and readouts in their accents. Each area leaves out the rows the
    // neighbouring label covers.
    for (const auto& control : controlRow (inner))
    {
        EXPECT_TRUE (inkOf (image, control.name.getBounds().withHeight (15), control.accent)) << control.name.getText();
        EXPECT_TRUE (inkOf (image, control.value.getBounds(), control.accent)) << control.name.getText();
    }

    // Title in grey; the preset name and the preset bar's glyphs brighter.
    EXPECT_TRUE (inkOf (image, { 15, 15, 135, 20 }, Colours::grey));
    EXPECT_TRUE (brighterNeutralThanGrey (image, { 200, 15, 190, 20 }));
    for (int x : { 479, 504, 529, 556 })
        EXPECT_TRUE (brighterNeutralThanGrey (image, { x, 16, 20, 20 })) << "preset button at x " << x;

    // Zoom corners in grey.
    EXPECT_TRUE (pixelIs (image, 9, 6, Colours::grey));
    EXPECT_TRUE (pixelIs (image, 6, 9, Colours::grey));
    EXPECT_TRUE (pixelIs (image, 580, 322, Colours::grey));
    EXPECT_TRUE (pixelIs (image, 582, 319, Colours::grey));

    // The curve display: silent history is a dotted line, first dot at the
    // lower left, newest dot at the upper right (straight line, Intensity 0).
    EXPECT_TRUE (inkOf (image, { 6, 170, 2, 2 }, Colours::blue));
    EXPECT_TRUE (inkOf (image, { 582, 74, 2, 3 }, Colours::blue));
    EXPECT_TRUE (pixelIs (image, 8, 170, Colours::background));
    EXPECT_TRUE (pixelIs (image, 582, 170, Colours::background));
}

TEST_F (WindowLayout, AtZoom2TheSameDesignIsDrawnTwiceAsLarge)
{
    inner.info.scale = 2.0f;
    marnovex::applyScale (inner.info);
    inner.timerCallback();

    const auto image = renderComponent (editor);
    ASSERT_TRUE (writeTestImage (image, "window-zoom-2.0"));
    ASSERT_EQ (image.getBounds(), juce::Rectangle<int> (0, 0, 1180, 660));

    // The layout is unchanged in design coordinates; only the drawing scales.
    EXPECT_EQ (inner.mixKnob.getBounds(), juce::Rectangle<int> (504, 212, 62, 62));
    EXPECT_TRUE (pixelIs (image, 2 * 535, 2 * 243, Colours::red));
    EXPECT_TRUE (pixelIs (image, 2 * 195, 2 * 218 + 1, Colours::blue));
    EXPECT_TRUE (pixelIs (image, 2 * 300, 2 * 120, Colours::background));
    EXPECT_TRUE (inkOf (image, { 2 * 504, 2 * 272, 2 * 62, 2 * 15 }, Colours::red));
}

//==============================================================================
class WindowOnScreen : public DisplayTest
{
protected:
    ScopedHome home;
    MarnovexTemplateAudioProcessor processor;
};

TEST_F (WindowOnScreen, APressOnTheTitleOverThePresetNameOpensNoDialog)
{
    MarnovexTemplateAudioProcessorEditor editor (processor);
    editor.addToDesktop (0);
    editor.setVisible (true);
    auto& bar = editor.inner.presetController;

    for (int x = 150; x <= 164; ++x)
    {
        clickThroughPeer (editor, { (float) x, 25.0f });
        EXPECT_EQ (bar.chooser, nullptr) << "a dialog opened for a press at x " << x;
    }

    // One pixel further right the name itself is pressed, and the press opens
    // the load dialog: the pixels above are covered, not dead.
    clickThroughPeer (editor, { 165.0f, 25.0f });
    EXPECT_NE (bar.chooser, nullptr);

    bar.chooser.reset();
    deliverPendingMessages();
}

TEST_F (WindowOnScreen, AZoomCornerTurnsWhiteWhileHeld)
{
    // Each corner is held at the bound where its press leaves the zoom, and
    // so the corner, where it was.
    struct Row { const char* storedZoom; juce::Rectangle<float> corner; };
    const Row rows[] = {
        { "0.8", { 0.0f, 0.0f, 20.0f, 20.0f } },
        { "2.0", { 570.0f, 310.0f, 20.0f, 20.0f } },
    };

    for (const auto& row : rows)
    {
        home.writeStoredScale (row.storedZoom);
        MarnovexTemplateAudioProcessor freshProcessor; // reads the stored zoom anew
        MarnovexTemplateAudioProcessorEditor editor (freshProcessor);
        editor.addToDesktop (0);
        editor.setVisible (true);
        const auto scale = editor.info.scale;
        const auto corner = (row.corner * scale).getSmallestIntegerContainer();
        const auto name = juce::String ("zoom-corner-") + row.storedZoom;

        sendThroughPeer (editor, row.corner.getCentre() * scale, juce::ModifierKeys (juce::ModifierKeys::leftButtonModifier));
        const auto held = renderComponent (editor);
        writeTestImage (held.getClippedImage (corner), name + "-held");
        EXPECT_TRUE (brighterNeutralThanGrey (held, corner)) << name << " held";

        sendThroughPeer (editor, row.corner.getCentre() * scale, juce::ModifierKeys());
        const auto released = renderComponent (editor);
        writeTestImage (released.getClippedImage (corner), name + "-released");
        EXPECT_TRUE (inkOf (released, corner, Colours::grey)) << name << " released";
        EXPECT_EQ (editor.info.scale, scale);
    }
}
