// The curve display (level bars stacked along the selected curve, 580 x 160,
// 145 bars 4 px apart) and the curve icon (the selected curve at full
// strength, stroked 3 px thick across 26 x 26 with a 2 px margin), measured
// on rendered images at their design sizes.

#include <gtest/gtest.h>

#include "Marnovex_Canvas.h"
#include "Marnovex_Colours.h"
#include "Marnovex_ParameterIDs.h"
#include "Marnovex_Waveform.h"
#include "Reverser.h"
#include "StateTestSupport.h"
#include "TestOutput.h"
#include "WidgetTestSupport.h"

#include <cmath>
#include <limits>

namespace
{
using namespace vorn::test;
using marnovex::Marnovex_Canvas;
using marnovex::Marnovex_Waveform;
using Curve = reverser_detail::Curve;

constexpr int kWidth = 580;
constexpr int kHeight = 160;
constexpr int kBars = 145;

// A 2-wide bar of this height with corner size 1 loses (4 - pi) to its
// rounding; a 2 x 2 dot is a circle of area pi.
double barArea (double height) { return 2.0 * height - (4.0 - juce::MathConstants<double>::pi); }

// Where a bar's centre belongs for a curve height s (0 bottom line, 1 top line).
double lineY (double s) { return (0.8 - 0.6 * s) * kHeight; }

double barPosition (int index) { return (double) index / kBars; }

// What the pixels say about one bar: the ink of its two columns, with its
// coverage-weighted vertical centre and its area in pixels.
struct MeasuredBar
{
    double area = 0.0, centre = -1.0;
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
    if (bar.area > 0.0)
        bar.centre = weightedRows / bar.area;
    bar.ink = inkBounds (image, columns);
    return bar;
}

class CurveDisplay : public ::testing::Test
{
protected:
    CurveDisplay()
    {
        canvas.setSize (kWidth, kHeight);
        canvas.setColour (Marnovex_Canvas::curveColourId, marnovex::Colours::blue);
    }

    // Selects the curve and Intensity, renders, and writes the bars on the
    // editor's background for a person to look at.
    juce::Image render (int curve, float intensityPercent, const juce::String& name)
    {
        setValue (processor, marnovex::kParameter_Curve, (float) curve);
        setValue (processor, marnovex::kParameter_Intensity, intensityPercent);
        const auto image = renderComponent (canvas);

        juce::Image onBackground (juce::Image::ARGB, kWidth, kHeight, true);
        juce::Graphics g (onBackground);
        g.fillAll (marnovex::Colours::background);
        g.drawImageAt (image, 0, 0);
        EXPECT_TRUE (writeTestImage (onBackground, "CurveDisplay_" + name));
        return image;
    }

    MarnovexTemplateAudioProcessor processor;
    Marnovex_Canvas canvas { processor.parameters };
};

// Each bar is 2 wide, 0.32 H x level + 2 high (a 2 x 2 dot in silence),
// centred on the curve: the straight line from 0.8 H to 0.2 H at Intensity 0,
// else the engine's curve at the strength the control's position gives (the
// square root of its percentage). Wavy swings four times the engine's wave
// (0.1 where the engine's 0.025 would hardly show), without its tilt.
TEST_F (CurveDisplay, BarsLieOnTheCurveAndGrowWithTheLevel)
{
    constexpr float rising = -1.0f; // levels from silence at the left to full at the right
    struct Row { int curve; float intensityPercent; float level; };
    std::vector<Row> rows { { Curve::kNaturalPlus, 100, 0.0f },      { Curve::kQuadraticMinus, 0, 1.0f },
                            { Curve::kNaturalMinus, 100, rising },   { Curve::kQuadraticPlus, 25, rising },
                            { Curve::kQuadraticMinus, 100, rising }, { Curve::kHyperbolic, 64, rising },
                            { Curve::kBiCubic, 49, rising },         { Curve::kWarp, 100, rising },
                            { Curve::kWarp, 4, rising },             { Curve::kSlidePlus, 36, rising },
                            { Curve::kSlidePlus, 100, rising },      { Curve::kSlideMinus, 100, rising },
                            { Curve::kWavy4, 100, rising },          { Curve::kWavy6, 100, rising },
                            { Curve::kWavy8, 100, rising } };
    for (int curve = 0; curve < Curve::kNumCurves; ++curve)
        rows.push_back ({ curve, 0, rising });

    for (const auto& row : rows)
    {
        const auto what = "Curve" + juce::String (row.curve) + "_Intensity" + juce::String ((int) row.intensityPercent)
                          + "_Level" + juce::String (row.level);
        for (int i = 0; i < kBars; ++i)
            canvas.history[i] = row.level == rising ? (float) i / (float) (kBars - 1) : row.level;
        const auto image = render (row.curve, row.intensityPercent, what);
        const float strength = std::sqrt (row.intensityPercent / 100.0f);
        ASSERT_FLOAT_EQ (canvas.intensity, strength);

        for (int i = 0; i < kBars; ++i)
        {
            const auto e = barPosition (i);
            const auto engine = reverser_detail::warpedProgress (row.curve, e, strength);
            const auto q = row.intensityPercent == 0 ? e : row.curve >= Curve::kWavy4 ? e + 4.0 * (engine - 0.975 * e) : engine;
            const auto height = 0.32 * kHeight * canvas.history[i] + 2.0;
            const auto bar = measureBar (image, i);

            ASSERT_NEAR (bar.centre, lineY (q), 0.1) << what << ", bar " << i;
            ASSERT_NEAR (bar.area, barArea (height), 0.35) << what << ", bar " << i;
            ASSERT_EQ (bar.ink.getWidth(), 2) << what << ", bar " << i;
            ASSERT_NEAR (bar.ink.getY(), bar.centre - 0.5 * height, 1.0) << what << ", bar " << i;
            ASSERT_NEAR (bar.ink.getBottom(), bar.centre + 0.5 * height, 1.0) << what << ", bar " << i;
            ASSERT_TRUE (inkBounds (image, { 4 * i, 0, 1, kHeight }).isEmpty()) << what << ", gap before bar " << i;
            ASSERT_TRUE (inkBounds (image, { 4 * i + 3, 0, 1, kHeight }).isEmpty()) << what << ", gap after bar " << i;
        }
        if (row.level == 1.0f)
        {
            EXPECT_EQ (image.getPixelAt (281, (int) measureBar (image, 70).centre), marnovex::Colours::blue) << what;
        }
    }
}

TEST_F (CurveDisplay, PicksTheCurveByItsTruncatedIndexIgnoresOtherControlsAndDrawsSafely)
{
    // Every choice index, truncated back from index / 11, selects that same curve.
    for (int curve = 0; curve < Curve::kNumCurves; ++curve)
    {
        setValue (processor, marnovex::kParameter_Curve, (float) curve);
        EXPECT_EQ ((int) (canvas.curve * 11.0f), curve);
    }

    // A value from neither control moves neither.
    const auto intensity = canvas.intensity;
    canvas.parameterChanged (processor.parameters.getParameter (marnovex::kParameter_Mix), 0.0f);
    canvas.parameterChanged (nullptr, 0.0f);
    EXPECT_EQ (canvas.curve, 1.0f);
    EXPECT_EQ (canvas.intensity, intensity);

    // No entries draws nothing; more than the history holds draws only those held.
    std::fill (std::begin (canvas.history), std::end (canvas.history), 0.5f);
    canvas.historySize = 0;
    EXPECT_TRUE (inkBounds (renderComponent (canvas)).isEmpty());
    canvas.historySize = 10000;
    EXPECT_EQ (inkBounds (renderComponent (canvas)).getRight(), 579);
}

// ---- Curve icon ----

constexpr int kSize = 26;
constexpr float kInner = 22.0f; // between the 2 px margins

// The icon's height v (0 bottom margin, 1 top margin) and position read back from a point.
double heightOf (juce::Point<float> p) { return 1.0 - (p.y - 2.0) / kInner; }
double positionOf (juce::Point<float> p) { return (p.x - 2.0) / kInner; }

class CurveIcon : public ::testing::Test
{
protected:
    CurveIcon()
    {
        icon.setSize (kSize, kSize);
        icon.setColour (Marnovex_Waveform::curveColourId, marnovex::Colours::blue);
    }

    // The stroke's centre line for this curve, as its points.
    std::vector<juce::Point<float>> strokeCentre (int curve)
    {
        setValue (processor, marnovex::kParameter_Curve, (float) curve);
        EXPECT_EQ (icon.curveIndex, curve);
        return strokeCentre();
    }

    std::vector<juce::Point<float>> strokeCentre() const
    {
        std::vector<juce::Point<float>> points;
        const auto path = icon.curvePath ((float) kSize, (float) kSize);
        for (juce::Path::Iterator it (path); it.next();)
            points.emplace_back (it.x1, it.y1);
        return points;
    }

    MarnovexTemplateAudioProcessor processor;
    Marnovex_Waveform icon { processor.parameters };
};

// Every curve: 45 points half a pixel apart from margin to margin, stroked
// 3 px thick with rounded ends in the curve colour (the other tests check
// where the points lie). Writes all twelve icons, enlarged, onto one sheet.
TEST_F (CurveIcon, EachCurveIsAThreePixelStrokeThroughFortyFivePoints)
{
    constexpr int zoom = 8;
    juce::Image sheet (juce::Image::ARGB, Curve::kNumCurves * (kSize + 2) * zoom, kSize * zoom, true);
    juce::Graphics sheetGraphics (sheet);
    sheetGraphics.fillAll (marnovex::Colours::background);
    sheetGraphics.setImageResamplingQuality (juce::Graphics::lowResamplingQuality);

    for (int curve = 0; curve < Curve::kNumCurves; ++curve)
    {
        const auto line = strokeCentre (curve);
        ASSERT_EQ (line.size(), 45u) << "curve " << curve;
        for (size_t j = 0; j < line.size(); ++j)
            ASSERT_EQ (line[j].x, 2.0f + 0.5f * (float) j) << "curve " << curve;

        const auto image = renderComponent (icon);
        const auto expected = strokedPath (icon.curvePath ((float) kSize, (float) kSize), 3.0f, marnovex::Colours::blue, kSize, kSize);
        EXPECT_TRUE (differenceBounds (image, expected).isEmpty()) << "curve " << curve;
        sheetGraphics.drawImage (image, curve * (kSize + 2) * zoom, 0, kSize * zoom, kSize * zoom, 0, 0, kSize, kSize);
    }
    EXPECT_TRUE (writeTestImage (sheet, "CurveIcon_AllCurves"));
}

// Five curves are drawn as the engine plays them at full strength; the Wavy
// ones as the curve display's wave at full strength.
TEST_F (CurveIcon, SharedCurvesMatchTheEngineOrTheDisplayAtFullStrength)
{
    for (int curve : { (int) Curve::kNaturalPlus, (int) Curve::kNaturalMinus, (int) Curve::kHyperbolic, (int) Curve::kBiCubic,
                       (int) Curve::kWarp, (int) Curve::kWavy4, (int) Curve::kWavy6, (int) Curve::kWavy8 })
        for (const auto& point : strokeCentre (curve))
        {
            const auto e = positionOf (point);
            const auto expected = curve >= Curve::kWavy4 ? Marnovex_Canvas::curveHeight (curve, (float) e, 1.0f)
                                                         : reverser_detail::warpedProgress (curve, e, 1.0f);
            ASSERT_NEAR (heightOf (point), expected, 2.0e-6) << "curve " << curve << " at x " << point.x;
        }
}

TEST_F (CurveIcon, QuadraticPairAreQuarterCircles)
{
    // Quadratic+ bends down round the top-left corner, Quadratic- up round the bottom-right.
    const std::pair<int, juce::Point<float>> circles[] = { { Curve::kQuadraticPlus, { 2.0f, 2.0f } },
                                                           { Curve::kQuadraticMinus, { 24.0f, 24.0f } } };
    for (const auto& [curve, centre] : circles)
    {
        const auto line = strokeCentre (curve);
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
    const Spot spots[] = { { Curve::kSlideMinus, 0.5f, 0.588 }, { Curve::kSlideMinus, 1.0f, 0.994 },
                           { Curve::kSlidePlus, 0.0f, 0.033 },  { Curve::kSlidePlus, 0.5f, 0.438 } };
    for (const auto& spot : spots)
    {
        const auto point = strokeCentre (spot.curve)[(size_t) (spot.e * 44.0f)];
        EXPECT_NEAR (heightOf (point), spot.height, 0.001) << "curve " << spot.curve << " at " << spot.e;
    }

    const auto end = strokeCentre (Curve::kSlidePlus).back();
    EXPECT_EQ (end.x, 24.0f);
    EXPECT_NEAR (2.0f - end.y, 0.58, 0.005);
    // Its rounded end reaches the icon's top row; the stroke is clipped there, not beyond.
    EXPECT_GT (alphaAt (renderComponent (icon), 24, 0), 0);
}

TEST_F (CurveIcon, IgnoresIntensityAndDrawsStrangeIndexesAsNaturalPlus)
{
    strokeCentre (Curve::kWarp);
    setValue (processor, marnovex::kParameter_Intensity, 0.0f);
    const auto atZero = renderComponent (icon);
    setValue (processor, marnovex::kParameter_Intensity, 100.0f);
    EXPECT_TRUE (differenceBounds (atZero, renderComponent (icon)).isEmpty());

    const auto naturalPlus = strokeCentre (Curve::kNaturalPlus);
    for (float strange : { -1.0f, 12.0f, 1.0e12f, -1.0e12f, std::numeric_limits<float>::quiet_NaN() })
    {
        icon.parameterChanged (nullptr, strange);
        EXPECT_EQ (strokeCentre(), naturalPlus) << strange;
    }
}
} // namespace
