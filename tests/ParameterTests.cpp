#include <gtest/gtest.h>

#include "Marnovex_ParameterFunctions.h"
#include "Marnovex_ParameterIDs.h"
#include "Marnovex_ProductStrings.h"
#include "PluginProcessor.h"

#include <array>
#include <limits>
#include <stdexcept>

using namespace marnovex;

namespace
{
constexpr int kNumParameters = 9;

// Host order, as the plug-in registers them.
const std::array<const char*, kNumParameters> kHostOrderIDs { "TimeNumerator", "TimeDenominator", "Overlap",
                                                              "Feedback",      "Curve",           "Intensity",
                                                              "Send",          "Return",          "Mix" };

class ParameterSetTest : public ::testing::Test
{
protected:
    MarnovexTemplateAudioProcessor processor;

    juce::AudioProcessorParameter& at (int hostIndex) { return *processor.getParameters()[hostIndex]; }

    juce::RangedAudioParameter& byID (const juce::String& id)
    {
        auto* parameter = processor.parameters.getParameter (id);
        if (parameter == nullptr)
            throw std::runtime_error ("no parameter " + id.toStdString());
        return *parameter;
    }

    juce::String textAt (const juce::String& id, float normalised) { return byID (id).getText (normalised, 1024); }
};
} // namespace

TEST_F (ParameterSetTest, HostOrderIdsNamesAndClasses)
{
    const std::array<const char*, kNumParameters> names { "Time Numerator", "Time Denominator", "Overlap",
                                                          "Feedback",       "Curve",            "Intensity",
                                                          "Send",           "Return",           "Mix" };

    ASSERT_EQ (processor.getParameters().size(), kNumParameters);
    for (int i = 0; i < kNumParameters; ++i)
    {
        auto* ranged = dynamic_cast<juce::RangedAudioParameter*> (&at (i));
        ASSERT_NE (ranged, nullptr) << i;
        EXPECT_EQ (ranged->getParameterID(), kHostOrderIDs[(size_t) i]) << i;
        EXPECT_EQ (ranged->getName (128), names[(size_t) i]) << i;
        EXPECT_EQ (ranged->getLabel(), "") << i;
        EXPECT_TRUE (ranged->isAutomatable()) << i;
    }

    EXPECT_NE (dynamic_cast<juce::AudioParameterInt*> (&at (0)), nullptr);
    EXPECT_NE (dynamic_cast<juce::AudioParameterInt*> (&at (1)), nullptr);
    EXPECT_NE (dynamic_cast<juce::AudioParameterChoice*> (&at (4)), nullptr);
    for (int i : { 2, 3, 5, 6, 7, 8 })
        EXPECT_NE (dynamic_cast<juce::AudioParameterFloat*> (&at (i)), nullptr) << i;
}

TEST_F (ParameterSetTest, DefaultsInHostOrder)
{
    const std::array<const char*, kNumParameters> texts { "4", "4", "0.0 %", "0.0 %", "Natural+", "0.0 %", "100.0 %", "100.0 %", "50.0 %" };
    const std::array<float, kNumParameters> normalised { 0.2f, 3.0f / 31.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f, 1.0f, 0.5f };
    const std::array<float, kNumParameters> raw { 4.0f, 4.0f, 0.0f, 0.0f, 0.0f, 0.0f, 100.0f, 100.0f, 50.0f };

    for (int i = 0; i < kNumParameters; ++i)
    {
        const auto index = (size_t) i;
        EXPECT_EQ (at (i).getCurrentValueAsText(), texts[index]) << i;
        EXPECT_NEAR (at (i).getDefaultValue(), normalised[index], 1.0e-6f) << i;
        EXPECT_NEAR (at (i).getValue(), normalised[index], 1.0e-6f) << i;
        // The audio callback reads raw values: exactly the defaults, in display units.
        EXPECT_EQ (processor.parameters.getRawParameterValue (kHostOrderIDs[index])->load(), raw[index]) << i;
    }
    EXPECT_NEAR (at (1).getDefaultValue(), 0.0967742f, 1.0e-6f);
}

TEST_F (ParameterSetTest, TextsAtHalfAndFullTravel)
{
    EXPECT_EQ (textAt (kParameter_Overlap, 0.5f), "25.0 %");
    EXPECT_EQ (textAt (kParameter_Feedback, 0.5f), "50.0 %");
    EXPECT_EQ (textAt (kParameter_Mix, 0.5f), "50.0 %");
    // Quadratic travel: half way is a quarter of the range.
    for (const auto& id : { kParameter_Intensity, kParameter_Send, kParameter_Return })
    {
        EXPECT_EQ (textAt (id, 0.5f), "25.0 %") << id;
        EXPECT_EQ (textAt (id, 1.0f), "100.0 %") << id;
    }

    EXPECT_EQ (textAt (kParameter_Overlap, 1.0f), "50.0 %");
    EXPECT_EQ (textAt (kParameter_TimeN, 1.0f), "16");
    EXPECT_EQ (textAt (kParameter_TimeD, 1.0f), "32");
    EXPECT_EQ (textAt (kParameter_TimeN, 0.0f), "1");
    EXPECT_EQ (textAt (kParameter_Curve, 1.0f), "Wavy 8x");

    // Every choice, in index order: the engine selects its curve by this index.
    const juce::StringArray curves { "Natural+", "Natural-", "Quadratic+", "Quadratic-", "Hyperbolic", "Bi-Cubic",
                                     "Warp",     "Slide+",   "Slide-",     "Wavy 4x",    "Wavy 6x",    "Wavy 8x" };
    EXPECT_EQ (curveNames(), curves);
    auto& curve = byID (kParameter_Curve);
    EXPECT_EQ (curve.getNumSteps(), 12);
    for (int i = 0; i < curves.size(); ++i)
        EXPECT_EQ (curve.getText (curve.convertTo0to1 ((float) i), 1024), curves[i]) << i;
}

TEST_F (ParameterSetTest, ShortHostTextIsNeverCut)
{
    EXPECT_EQ (byID (kParameter_Send).getText (1.0f, 3), "100.0 %");
    EXPECT_EQ (byID (kParameter_Mix).getText (0.125f, 3), "12.5 %");
    EXPECT_EQ (byID (kParameter_TimeD).getText (1.0f, 1), "32");
    EXPECT_EQ (createPercentValue (100.0f, 0), "100.0 %");
    EXPECT_EQ (createTextValue (-123.0f, 2), "-123");
}

TEST_F (ParameterSetTest, TextInput)
{
    EXPECT_FLOAT_EQ (byID (kParameter_Mix).getValueForText ("12.5 %"), 0.125f);
    EXPECT_NEAR (byID (kParameter_Intensity).getValueForText ("12.5 %"), 0.3535534f, 1.0e-6f);

    auto& feedback = byID (kParameter_Feedback);
    EXPECT_FLOAT_EQ (feedback.convertFrom0to1 (feedback.getValueForText ("150")), 100.0f);
    EXPECT_FLOAT_EQ (feedback.convertFrom0to1 (feedback.getValueForText ("-5")), 0.0f);
    EXPECT_FLOAT_EQ (feedback.getValueForText ("no number"), 0.0f);

    auto& timeN = byID (kParameter_TimeN);
    EXPECT_FLOAT_EQ (timeN.convertFrom0to1 (timeN.getValueForText ("40")), 16.0f);
    EXPECT_FLOAT_EQ (timeN.convertFrom0to1 (timeN.getValueForText ("0")), 1.0f);
    EXPECT_FLOAT_EQ (timeN.convertFrom0to1 (timeN.getValueForText ("7")), 7.0f);

    // Choice names match exactly and case-sensitively; anything else is index 0.
    auto& curve = byID (kParameter_Curve);
    EXPECT_FLOAT_EQ (curve.convertFrom0to1 (curve.getValueForText ("Warp")), 6.0f);
    EXPECT_FLOAT_EQ (curve.convertFrom0to1 (curve.getValueForText ("warp")), 0.0f);
}

TEST (ParameterFunctions, ValueTexts)
{
    EXPECT_EQ (createTextValue (3.99f, 100), "3");
    EXPECT_EQ (createTextValue (-2.7f, 100), "-2");
    EXPECT_EQ (createTextValue (16.0f, 100), "16");
    EXPECT_EQ (createPercentValue (33.33f, 100), "33.3 %");
    EXPECT_EQ (createPercentValue (12.5f, 100), "12.5 %");
    EXPECT_EQ (createPercentValue (0.0f, 100), "0.0 %");
    EXPECT_EQ (createPercentValue (99.96f, 100), "100.0 %");
}

TEST (ParameterFunctions, MapAndUnmapLimits)
{
    // Linear.
    EXPECT_FLOAT_EQ (marnovexLinearMapFunction (0.0f, 50.0f, 0.5f), 25.0f);
    EXPECT_FLOAT_EQ (marnovexLinearMapFunction (10.0f, 20.0f, -0.5f), 10.0f);
    EXPECT_FLOAT_EQ (marnovexLinearMapFunction (10.0f, 20.0f, 1.5f), 20.0f);
    EXPECT_FLOAT_EQ (marnovexLinearUnMapFunction (10.0f, 20.0f, 15.0f), 0.5f);
    EXPECT_FLOAT_EQ (marnovexLinearUnMapFunction (10.0f, 20.0f, 5.0f), 0.0f);
    EXPECT_FLOAT_EQ (marnovexLinearUnMapFunction (10.0f, 20.0f, 25.0f), 1.0f);

    // Quadratic.
    EXPECT_FLOAT_EQ (marnovexQuadraticMapFunction (0.0f, 100.0f, 0.5f), 25.0f);
    EXPECT_FLOAT_EQ (marnovexQuadraticMapFunction (0.0f, 100.0f, 1.5f), 100.0f);
    EXPECT_FLOAT_EQ (marnovexQuadraticMapFunction (10.0f, 20.0f, 1.5f), 20.0f);
    EXPECT_FLOAT_EQ (marnovexQuadraticMapFunction (10.0f, 20.0f, 0.0f), 10.0f);
    EXPECT_NEAR (marnovexQuadraticUnMapFunction (0.0f, 100.0f, 50.0f), 0.7071068f, 1.0e-6f);
    EXPECT_FLOAT_EQ (marnovexQuadraticUnMapFunction (10.0f, 20.0f, 12.5f), 0.5f);
    EXPECT_FLOAT_EQ (marnovexQuadraticUnMapFunction (10.0f, 20.0f, -5.0f), 0.0f);
    EXPECT_FLOAT_EQ (marnovexQuadraticUnMapFunction (10.0f, 20.0f, 30.0f), 1.0f);

    // A normalised value that is not a number maps to the start on both kinds of range.
    const float nan = std::numeric_limits<float>::quiet_NaN();
    EXPECT_EQ (marnovexLinearMapFunction (10.0f, 20.0f, nan), 10.0f);
    EXPECT_EQ (marnovexQuadraticMapFunction (10.0f, 20.0f, nan), 10.0f);

    // Each unmap inverts its map.
    for (float x : { 0.0f, 0.1f, 0.3f, 0.7f, 1.0f })
    {
        EXPECT_NEAR (marnovexLinearUnMapFunction (0.0f, 50.0f, marnovexLinearMapFunction (0.0f, 50.0f, x)), x, 1.0e-6f);
        EXPECT_NEAR (marnovexQuadraticUnMapFunction (0.0f, 100.0f, marnovexQuadraticMapFunction (0.0f, 100.0f, x)), x, 1.0e-6f);
    }
}

TEST (SharedConstants, ProductAndPresetStrings)
{
    EXPECT_EQ (kManufacturer, "Marnovex");
    EXPECT_EQ (kProductName, "Vorn v2");
    EXPECT_EQ (kProductVersion, "2.0.0");
    EXPECT_EQ (kProductPresetPath, "/Library/Audio/Presets/Marnovex/Vorn v2");
    EXPECT_EQ (kDefaultPresetPath, "/Library/Audio/Presets/Marnovex/Vorn v2/Factory/Default.mx");
    EXPECT_TRUE (kPresetExtension.startsWithChar ('*'));
    EXPECT_EQ (kPresetExtension, "*.mx");
    EXPECT_TRUE (juce::File ("Default.mx").getFileName().matchesWildcard (kPresetExtension, true));
}
