// The curve display (level bars stacked along the selected curve, 580 x 160,
// 145 bars 4 px apart) and the curve icon (the selected curve at full
// strength, stroked 3 px thick across 26 x 26 with a 2 px margin), measured
// on rendered images at their design sizes.

#include <gtest/gtest.h>

#include "Marnovex_Canvas.h"
#include "Marnovex_Colours.h"
#include "Marnovex_ParameterIDs.h"
#include "Marnovex_Waveform.h"
#include "PluginProcessor.h"
#include "Reverser.h"
#include "TestOutput.h"

#include <cmath>
#include <limits>
#include <vector>

namespace
{
using marnovex::Marnovex_Canvas;
using marnovex::Marnovex_Waveform;
using Curve = reverser_detail::Curve;

constexpr int kWidth = 580;
constexpr int kHeight = 160;
constexpr int kBars = 145;
constexpr double kPi = 3.141592653589793;

// Area of a 2 x 2 dot with corner size 1: a circle of radius 1.
constexpr double kDotArea = kPi;
// A 2-wide bar of this height with corner size 1 loses (4 - pi) to its rounding.
double barAreaForHeight (double height) { return 2.0 * height - (4.0 - kPi); }

int alphaAt (const juce::Image& image, int x, int y)
{
    return image.getPixelAt (x, y).getAlpha();
}

// Bounds of the pixels with any ink inside `area` (empty when none).
juce::Rectangle<int> inkBounds (const juce::Image& image, juce::Rectangle<int> area)
{
    juce::Rectangle<int> bounds;
    area = area.getIntersection (image.getBounds());

    for (int y = area.getY(); y < area.getBottom(); ++y)
        for (int x = area.getX(); x < area.getRight(); ++x)
            if (alphaAt (image, x, y) > 0)
                bounds = bounds.isEmpty() ? juce::Rectangle<int> (x, y, 1, 1) : bounds.getUnion ({ x, y, 1, 1 });

    return bounds;
}

void setPlainValue (juce::AudioProcessorValueTreeState& state, const juce::String& id, float plainValue)
{
    auto* parameter = state.getParameter (id);
    ASSERT_NE (parameter, nullptr) << id;
    parameter->setValueNotifyingHost (parameter->convertTo0to1 (plainValue));
}

// What the pixels say about one bar: the ink of its two columns, with its
// coverage-weighted vertical centre and its area in pixels.
struct MeasuredBar
{
    double area = 0.0;
    double centre = 0.0;
    juce::Rectangle<int> ink;
};

MeasuredBar measureBar (const juce::Image& image, int index)
{
    MeasuredBar bar;
    double weightedRows = 0.0;
    const juce::Rectangle<int> columns (4 * index + 1, 0, 2, image.getHeight());

    for (int y = 0; y < image.getHeight(); ++y)
        for (int x = columns.getX(); x < columns.getRight(); ++x)
        {
            const double coverage = alphaAt (image, x, y) / 255.0;
            bar.area += coverage;
            weightedRows += coverage * (y + 0.5);
        }

    bar.centre = bar.area > 0.0 ? weightedRows / bar.area : -1.0;
    bar.ink = inkBounds (image, columns);
    return bar;
}

// Where a bar's centre belongs for a curve height s (0 bottom line, 1 top line).
double lineY (double s) { return (0.8 - 0.6 * s) * kHeight; }

double barPosition (int index) { return (double) index / kBars; }

class CurveDisplay : public ::testing::Test
{
protected:
    void SetUp() override
    {
        canvas = std::make_unique<Marnovex_Canvas> (processor.parameters);
        canvas->setSize (kWidth, kHeight);
        canvas->setColour (Marnovex_Canvas::curveColourId, marnovex::Colours::blue);
    }

    void select (int curveIndex, float intensityPercent)
    {
        setPlainValue (processor.parameters, marnovex::kParameter_Curve, (float) curveIndex);
        setPlainValue (processor.parameters, marnovex::kParameter_Intensity, intensityPercent);
    }

    void fillHistory (float level)
    {
        std::fill (std::begin (canvas->history), std::end (canvas->history), level);
    }

    juce::Image render() { return vorn::test::renderComponent (*canvas); }

    // The rendered bars on the editor's background, as a person sees them.
    static void writeForViewing (const juce::Image& image, const juce::String& name)
    {
        juce::Image onBackground (juce::Image::ARGB, image.getWidth(), image.getHeight(), true);
        juce::Graphics g (onBackground);
        g.fillAll (marnovex::Colours::background);
        g.drawImageAt (image, 0, 0);
        EXPECT_TRUE (vorn::test::writeTestImage (onBackground, name));
    }

    MarnovexTemplateAudioProcessor processor;
    std::unique_ptr<Marnovex_Canvas> canvas;
};

TEST_F (CurveDisplay, IntensityZeroDrawsTheStraightLineForEveryCurve)
{
    for (int curve = 0; curve < Curve::kNumCurves; ++curve)
    {
        select (curve, 0.0f);
        const auto image = render();

        for (int i = 0; i < kBars; ++i)
        {
            const auto bar = measureBar (image, i);
            ASSERT_NEAR (bar.centre, lineY (barPosition (i)), 0.1) << "curve " << curve << ", bar " << i;
        }

        // From 0.8 H at the left towards (but not reaching) 0.2 H at the right.
        EXPECT_NEAR (measureBar (image, 0).centre, 0.8 * kHeight, 0.05);
        EXPECT_NEAR (measureBar (image, kBars - 1).centre, 0.2 * kHeight + 0.6 * kHeight / kBars, 0.05);

        if (curve == Curve::kNaturalPlus)
            writeForViewing (image, "CurveDisplay_IntensityZero");
    }
}

TEST_F (CurveDisplay, SilentHistoryGivesOneTwoByTwoDotPerEntryAndNothingElse)
{
    select (Curve::kNaturalPlus, 100.0f);
    const auto image = render();
    writeForViewing (image, "CurveDisplay_Silent_NaturalPlus");

    for (int i = 0; i < kBars; ++i)
    {
        const auto bar = measureBar (image, i);
        EXPECT_NEAR (bar.area, kDotArea, 0.35) << "bar " << i;
        EXPECT_EQ (bar.ink.getWidth(), 2) << "bar " << i;
        EXPECT_LE (bar.ink.getHeight(), 3) << "bar " << i;

        // The gaps between the dots stay empty.
        EXPECT_TRUE (inkBounds (image, { 4 * i, 0, 1, kHeight }).isEmpty()) << "bar " << i;
        EXPECT_TRUE (inkBounds (image, { 4 * i + 3, 0, 1, kHeight }).isEmpty()) << "bar " << i;
    }
}

TEST_F (CurveDisplay, FullHistoryGivesBarsOfAThirdOfTheHeightCentredOnTheLine)
{
    select (Curve::kQuadraticMinus, 0.0f);
    fillHistory (1.0f);
    const auto image = render();
    writeForViewing (image, "CurveDisplay_FullHistory");

    const double expectedHeight = 0.32 * kHeight + 2.0; // 53.2

    for (int i = 0; i < kBars; ++i)
    {
        const auto bar = measureBar (image, i);
        EXPECT_NEAR (bar.area, barAreaForHeight (expectedHeight), 0.3) << "bar " << i;
        EXPECT_NEAR (bar.centre, lineY (barPosition (i)), 0.1) << "bar " << i;
        EXPECT_NEAR (bar.ink.getY(), bar.centre - 0.5 * expectedHeight, 1.0) << "bar " << i;
        EXPECT_NEAR (bar.ink.getBottom(), bar.centre + 0.5 * expectedHeight, 1.0) << "bar " << i;
    }

    EXPECT_EQ (image.getPixelAt (281, (int) measureBar (image, 70).centre).getARGB(), marnovex::Colours::blue.getARGB());
}

// The display draws the engine's curves (all but the Wavy ones) combined with
// the strength as the engine combines them. The strength is the Intensity
// control's normalised position, the square root of its percentage.
TEST_F (CurveDisplay, BarsFollowTheEngineCurveAtTheControlsPosition)
{
    struct Case { int curve; float intensityPercent; };
    const Case cases[] = {
        { Curve::kNaturalPlus, 100.0f },   { Curve::kNaturalMinus, 100.0f }, { Curve::kQuadraticPlus, 25.0f },
        { Curve::kQuadraticMinus, 100.0f }, { Curve::kHyperbolic, 100.0f },  { Curve::kBiCubic, 49.0f },
        { Curve::kWarp, 100.0f },          { Curve::kWarp, 4.0f },           { Curve::kSlidePlus, 100.0f },
        { Curve::kSlidePlus, 36.0f },      { Curve::kSlideMinus, 100.0f },   { Curve::kHyperbolic, 64.0f },
    };

    // Levels rising from silence to full, so dots and bars of every height are checked.
    for (int i = 0; i < kBars; ++i)
        canvas->history[i] = (float) i / (float) (kBars - 1);

    for (const auto& c : cases)
    {
        select (c.curve, c.intensityPercent);
        const float strength = std::sqrt (c.intensityPercent / 100.0f);
        ASSERT_FLOAT_EQ (canvas->intensity, strength);

        const auto image = render();
        writeForViewing (image, "CurveDisplay_Curve" + juce::String (c.curve) + "_Intensity" + juce::String ((int) c.intensityPercent));

        for (int i = 0; i < kBars; ++i)
        {
            const double q = reverser_detail::warpedProgress (c.curve, barPosition (i), strength);
            const double height = 0.32 * kHeight * canvas->history[i] + 2.0;
            const auto bar = measureBar (image, i);

            ASSERT_NEAR (bar.centre, lineY (q), 0.1) << "curve " << c.curve << " at " << c.intensityPercent << " %, bar " << i;
            ASSERT_NEAR (bar.area, barAreaForHeight (height), 0.35) << "curve " << c.curve << ", bar " << i;
        }
    }
}

// The display's wave is 0.1 high where the engine's is 0.025: the engine's
// wave would hardly show at this size.
TEST_F (CurveDisplay, WavySwingsFourTimesTheEngineWave)
{
    const double engineTilt = 0.975;

    for (int curve : { (int) Curve::kWavy4, (int) Curve::kWavy6, (int) Curve::kWavy8 })
    {
        select (curve, 100.0f);
        const auto image = render();
        writeForViewing (image, "CurveDisplay_Wavy" + juce::String (curve));

        double largestSwing = 0.0;

        for (int i = 0; i < kBars; ++i)
        {
            const double e = barPosition (i);
            const double engineWave = reverser_detail::warpedProgress (curve, e, 1.0f) - engineTilt * e;
            const auto bar = measureBar (image, i);
            const double drawnSwing = (lineY (e) - bar.centre) / (0.6 * kHeight);

            ASSERT_NEAR (drawnSwing, 4.0 * engineWave, 0.0015) << "curve " << curve << ", bar " << i;
            EXPECT_GE (bar.centre, 0.2 * kHeight - 1.0);
            EXPECT_LE (bar.centre, 0.8 * kHeight + 1.0);
            largestSwing = std::max (largestSwing, std::abs (drawnSwing));
        }

        EXPECT_NEAR (largestSwing, 0.1, 0.005) << "curve " << curve;
    }
}

TEST_F (CurveDisplay, TakesTheControlsValuesWhenCreatedAndFollowsThem)
{
    select (Curve::kSlideMinus, 25.0f);
    Marnovex_Canvas fresh (processor.parameters);
    EXPECT_FLOAT_EQ (fresh.curve, 8.0f / 11.0f);
    EXPECT_FLOAT_EQ (fresh.intensity, 0.5f);
    EXPECT_EQ (fresh.historySize, kBars);
    EXPECT_EQ (fresh.findColour (Marnovex_Canvas::curveColourId), marnovex::Colours::grey);

    // Every choice index, truncated back from index / 11, selects that same curve.
    for (int curve = 0; curve < Curve::kNumCurves; ++curve)
    {
        select (curve, 100.0f);
        EXPECT_EQ ((int) (fresh.curve * 11.0f), curve);
        EXPECT_FLOAT_EQ (fresh.intensity, 1.0f);
    }

    // A value that comes from neither control moves neither.
    fresh.parameterChanged (processor.parameters.getParameter (marnovex::kParameter_Mix), 0.0f);
    fresh.parameterChanged (nullptr, 0.0f);
    EXPECT_FLOAT_EQ (fresh.curve, 1.0f);
    EXPECT_FLOAT_EQ (fresh.intensity, 1.0f);
}

TEST_F (CurveDisplay, OutOfRangeCountsAndSizesDrawSafely)
{
    fillHistory (0.5f);

    canvas->historySize = 0;
    EXPECT_TRUE (inkBounds (render(), { 0, 0, kWidth, kHeight }).isEmpty());

    canvas->historySize = -3;
    EXPECT_TRUE (inkBounds (render(), { 0, 0, kWidth, kHeight }).isEmpty());

    // More entries than the history holds: only the held ones are drawn.
    canvas->historySize = 10000;
    const auto image = render();
    EXPECT_EQ (inkBounds (image, { 0, 0, kWidth, kHeight }).getRight(), 579);

    canvas->historySize = kBars;
    for (const auto& size : { juce::Point<int> (0, 0), juce::Point<int> (1, 1), juce::Point<int> (3, 160), juce::Point<int> (580, 0) })
    {
        canvas->setSize (size.x, size.y);
        render();
    }
}

// ---- Curve icon ----

constexpr int kSize = 26;
constexpr float kInner = 22.0f; // between the 2 px margins

std::vector<juce::Point<float>> vertices (const juce::Path& path)
{
    std::vector<juce::Point<float>> points;
    for (juce::Path::Iterator it (path); it.next();)
        points.emplace_back (it.x1, it.y1);
    return points;
}

double distanceToPolyline (juce::Point<float> p, const std::vector<juce::Point<float>>& line)
{
    double nearest = line.empty() ? 1.0e9 : (double) p.getDistanceFrom (line.front());
    for (size_t j = 1; j < line.size(); ++j)
    {
        const juce::Line<float> segment (line[j - 1], line[j]);
        juce::Point<float> pointOnSegment;
        nearest = std::min (nearest, (double) segment.getDistanceFromPoint (p, pointOnSegment));
    }
    return nearest;
}

// The icon's height v (0 bottom margin, 1 top margin) read back from a point.
double heightOf (juce::Point<float> p) { return 1.0 - (p.y - 2.0) / kInner; }
double positionOf (juce::Point<float> p) { return (p.x - 2.0) / kInner; }

class CurveIcon : public ::testing::Test
{
protected:
    void SetUp() override
    {
        icon = std::make_unique<Marnovex_Waveform> (processor.parameters);
        icon->setSize (kSize, kSize);
        icon->setColour (Marnovex_Waveform::curveColourId, marnovex::Colours::blue);
    }

    void select (int curveIndex)
    {
        setPlainValue (processor.parameters, marnovex::kParameter_Curve, (float) curveIndex);
        ASSERT_EQ (icon->curveIndex, curveIndex);
    }

    std::vector<juce::Point<float>> strokeCentre() const { return vertices (icon->curvePath ((float) kSize, (float) kSize)); }

    juce::Image render() { return vorn::test::renderComponent (*icon); }

    MarnovexTemplateAudioProcessor processor;
    std::unique_ptr<Marnovex_Waveform> icon;
};

// Every curve: 45 points half a pixel apart from margin to margin, and the
// pixels show a 3 px stroke along exactly that line (the other tests check
// where the points lie). Writes all twelve icons, enlarged, onto one sheet
// for a person to look at.
TEST_F (CurveIcon, EachCurveIsAThreePixelStrokeThroughFortyFivePoints)
{
    constexpr int zoom = 8;
    juce::Image sheet (juce::Image::ARGB, Curve::kNumCurves * (kSize + 2) * zoom, kSize * zoom, true);
    juce::Graphics sheetGraphics (sheet);
    sheetGraphics.fillAll (marnovex::Colours::background);
    sheetGraphics.setImageResamplingQuality (juce::Graphics::lowResamplingQuality);

    for (int curve = 0; curve < Curve::kNumCurves; ++curve)
    {
        select (curve);
        const auto line = strokeCentre();
        ASSERT_EQ (line.size(), 45u) << "curve " << curve;

        for (size_t j = 0; j < line.size(); ++j)
            ASSERT_EQ (line[j].x, 2.0f + 0.5f * (float) j) << "curve " << curve;

        const auto image = render();
        for (int y = 0; y < kSize; ++y)
            for (int x = 0; x < kSize; ++x)
            {
                const auto distance = distanceToPolyline ({ x + 0.5f, y + 0.5f }, line);
                const auto alpha = alphaAt (image, x, y);

                if (distance < 0.75)
                {
                    EXPECT_GE (alpha, 240) << "curve " << curve << " at " << x << ", " << y;
                }
                else if (distance > 2.3)
                {
                    EXPECT_EQ (alpha, 0) << "curve " << curve << " at " << x << ", " << y;
                }
            }

        sheetGraphics.drawImage (image, curve * (kSize + 2) * zoom, 0, kSize * zoom, kSize * zoom, 0, 0, kSize, kSize);
    }

    EXPECT_TRUE (vorn::test::writeTestImage (sheet, "CurveIcon_AllCurves"));
}

// These five are drawn as the engine plays them at full strength.
TEST_F (CurveIcon, SharedCurvesMatchTheEngineAtFullStrength)
{
    for (int curve : { (int) Curve::kNaturalPlus, (int) Curve::kNaturalMinus, (int) Curve::kHyperbolic,
                       (int) Curve::kBiCubic, (int) Curve::kWarp })
    {
        select (curve);
        for (const auto& point : strokeCentre())
        {
            const double engine = reverser_detail::warpedProgress (curve, positionOf (point), 1.0f);
            ASSERT_NEAR (heightOf (point), engine, 2.0e-6) << "curve " << curve << " at x " << point.x;
        }
    }
}

TEST_F (CurveIcon, QuadraticPairAreQuarterCircles)
{
    // Quadratic+ bends down round the top-left corner, Quadratic- up round the bottom-right.
    const std::pair<int, juce::Point<float>> circles[] = {
        { Curve::kQuadraticPlus, { 2.0f, 2.0f } },
        { Curve::kQuadraticMinus, { 24.0f, 24.0f } },
    };

    for (const auto& [curve, centre] : circles)
    {
        select (curve);
        const auto line = strokeCentre();
        for (const auto& point : line)
            ASSERT_NEAR (point.getDistanceFrom (centre), kInner, 1.0e-4) << "curve " << curve << " at x " << point.x;

        // A quarter: from straight below or beside the centre round to the other side.
        EXPECT_NEAR (std::abs (line.front().x - centre.x) + std::abs (line.back().x - centre.x), kInner, 1.0e-4);
        EXPECT_NEAR (std::abs (line.front().y - centre.y) + std::abs (line.back().y - centre.y), kInner, 1.0e-4);
    }
}

// The slides are stretched by 1 / 0.85 to fill the icon; Slide+ is also moved
// down by 0.15 and so ends just above the top margin.
TEST_F (CurveIcon, SlidesAreStretchedAndSlidePlusEndsAboveTheMargin)
{
    struct Spot { int curve; float e; double height; };
    const Spot spots[] = {
        { Curve::kSlideMinus, 0.0f, 0.0 },    { Curve::kSlideMinus, 0.5f, 0.588 }, { Curve::kSlideMinus, 0.75f, 0.882 },
        { Curve::kSlideMinus, 1.0f, 0.994 },  { Curve::kSlidePlus, 0.0f, 0.033 },  { Curve::kSlidePlus, 0.25f, 0.144 },
        { Curve::kSlidePlus, 0.5f, 0.438 },   { Curve::kSlidePlus, 1.0f, 1.026 },
    };

    for (const auto& spot : spots)
    {
        select (spot.curve);
        const auto line = strokeCentre();
        const auto point = line[(size_t) (spot.e * 44.0f)];
        ASSERT_EQ (positionOf (point), (double) spot.e);
        EXPECT_NEAR (heightOf (point), spot.height, 0.001) << "curve " << spot.curve << " at " << spot.e;
    }

    select (Curve::kSlidePlus);
    const auto end = strokeCentre().back();
    EXPECT_EQ (end.x, 24.0f);
    EXPECT_NEAR (2.0f - end.y, 0.58, 0.005);

    // Its rounded end reaches the icon's top row; the stroke is clipped there, not beyond.
    const auto image = render();
    EXPECT_GT (alphaAt (image, 24, 0), 0);
}

// Wavy is the curve display's wave at full strength: 4, 6 and 8 half-waves.
TEST_F (CurveIcon, WavyShowsItsHalfWavesAtTheDisplaysAmplitude)
{
    const std::pair<int, int> halfWaves[] = { { Curve::kWavy4, 4 }, { Curve::kWavy6, 6 }, { Curve::kWavy8, 8 } };

    for (const auto& [curve, expectedHalfWaves] : halfWaves)
    {
        select (curve);
        int signChanges = 0, lastSign = 0;
        double largestSwing = 0.0;

        for (const auto& point : strokeCentre())
        {
            const auto e = (float) positionOf (point);
            EXPECT_NEAR (heightOf (point), marnovex::Marnovex_Canvas::curveHeight (curve, e, 1.0f), 2.0e-6);

            const double swing = heightOf (point) - e;
            largestSwing = std::max (largestSwing, std::abs (swing));
            if (std::abs (swing) < 0.01)
                continue;

            const int sign = swing > 0.0 ? 1 : -1;
            signChanges += (lastSign != 0 && sign != lastSign) ? 1 : 0;
            lastSign = sign;
        }

        EXPECT_EQ (signChanges + 1, expectedHalfWaves) << "curve " << curve;
        EXPECT_NEAR (largestSwing, 0.1, 0.005) << "curve " << curve;
    }
}

TEST_F (CurveIcon, FollowsTheCurveControlAndIgnoresIntensity)
{
    setPlainValue (processor.parameters, marnovex::kParameter_Curve, 5.0f);
    Marnovex_Waveform fresh (processor.parameters);
    EXPECT_EQ (fresh.curveIndex, 5);
    EXPECT_EQ (fresh.findColour (Marnovex_Waveform::curveColourId), marnovex::Colours::grey);

    select (Curve::kWarp);
    setPlainValue (processor.parameters, marnovex::kParameter_Intensity, 0.0f);
    const auto atZero = render();
    setPlainValue (processor.parameters, marnovex::kParameter_Intensity, 100.0f);
    const auto atFull = render();

    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x)
            ASSERT_EQ (atZero.getPixelAt (x, y), atFull.getPixelAt (x, y)) << x << ", " << y;
}

TEST_F (CurveIcon, NarrowIconsDrawNothingAndStrangeIndexesDrawNaturalPlus)
{
    for (int width = 0; width <= 4; ++width)
    {
        icon->setSize (width, kSize);
        EXPECT_TRUE (inkBounds (render(), { 0, 0, kSize, kSize }).isEmpty()) << "width " << width;
    }

    icon->setSize (5, kSize);
    EXPECT_FALSE (inkBounds (render(), { 0, 0, kSize, kSize }).isEmpty());

    icon->setSize (kSize, kSize);
    select (Curve::kNaturalPlus);
    const auto naturalPlus = strokeCentre();

    for (float strange : { -1.0f, 12.0f, 1.0e12f, -1.0e12f, std::numeric_limits<float>::quiet_NaN() })
    {
        icon->parameterChanged (nullptr, strange);
        const auto line = strokeCentre();
        ASSERT_EQ (line.size(), naturalPlus.size());
        for (size_t j = 0; j < line.size(); ++j)
            EXPECT_EQ (line[j], naturalPlus[j]) << strange;
    }
}
} // namespace
