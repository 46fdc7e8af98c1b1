// Binding widgets to parameters: what an edit sends to the host, what comes
// back to the widgets and on which thread, the value readout, and IDs that
// name no parameter.

#include <gtest/gtest.h>

#include "Marnovex_Colours.h"
#include "Marnovex_Fonts.h"
#include "Marnovex_Knob.h"
#include "Marnovex_Label.h"
#include "Marnovex_ParameterAttachment.h"
#include "Marnovex_ParameterIDs.h"
#include "PluginProcessor.h"
#include "StateTestSupport.h"
#include "WidgetTestSupport.h"

#include <cmath>
#include <thread>

namespace
{
using Kind = vorn::test::HostRecorder::Kind;

struct Delivery
{
    juce::RangedAudioParameter* parameter;
    float denormalisedValue;
    bool onMessageThread;
};

// The smallest bound widget: it only remembers what it was told.
struct RecordingWidget : marnovex::Marnovex_ParameterListener
{
    RecordingWidget (juce::AudioProcessorValueTreeState& state, const juce::String& id)
        : attachment (state, id)
    {
        attachment.setListener (this);
    }

    void parameterChanged (juce::RangedAudioParameter* parameter, float denormalisedValue) override
    {
        deliveries.push_back ({ parameter, denormalisedValue, juce::MessageManager::existsAndIsCurrentThread() });
    }

    marnovex::Marnovex_ParameterAttachment attachment;
    std::vector<Delivery> deliveries;
};

struct Fixture
{
    juce::RangedAudioParameter& parameter (const juce::String& id) { return *processor.parameters.getParameter (id); }

    void automate (const juce::String& id, float plainValue)
    {
        parameter (id).setValueNotifyingHost (parameter (id).convertTo0to1 (plainValue));
    }

    float plainValue (const juce::String& id) { return parameter (id).convertFrom0to1 (parameter (id).getValue()); }

    MarnovexTemplateAudioProcessor processor;
    vorn::test::HostRecorder host { processor };
};

TEST (ParameterAttachment, RegistrationDeliversTheCurrentValueAtOnce)
{
    Fixture fixture;
    fixture.automate (marnovex::kParameter_Feedback, 37.0f);

    RecordingWidget widget (fixture.processor.parameters, marnovex::kParameter_Feedback);
    ASSERT_EQ (widget.deliveries.size(), 1u);
    EXPECT_EQ (widget.deliveries[0].parameter, &fixture.parameter (marnovex::kParameter_Feedback));
    EXPECT_NEAR (widget.deliveries[0].denormalisedValue, 37.0f, 1.0e-4f);
    EXPECT_TRUE (widget.deliveries[0].onMessageThread);
}

TEST (ParameterAttachment, SetsTheSnappedValueOnlyWhenItReallyChanges)
{
    const auto timeN = marnovex::kParameter_TimeN;
    const auto mix = marnovex::kParameter_Mix;
    const auto curve = marnovex::kParameter_Curve;
    constexpr float recallDefault = -100.0f; // marks rows that recall the default instead

    struct Row { const char* name; juce::String id; float start; float normalisedInput; float expected; bool sent; };
    const Row rows[] = {
        { "below 0 gives the minimum", mix, 50.0f, -0.5f, 0.0f, true },
        { "above 1 gives the maximum", mix, 50.0f, 1.5f, 100.0f, true },
        // One float step below the maximum survives the round trip through the
        // range, so an exact comparison would send it; the host must not see it.
        { "one float step away", mix, 100.0f, std::nextafter (1.0f, 0.0f), 100.0f, false },
        { "snaps to the current whole number", timeN, 4.0f, 0.2f + 0.03f, 4.0f, false },
        { "passes the midpoint to the next number", timeN, 4.0f, 0.2f + 0.04f, 5.0f, true },
        { "snaps to the current choice", curve, 0.0f, 0.04f, 0.0f, false },
        { "the last choice", curve, 3.0f, 1.0f, 11.0f, true },
        { "default, away from it", mix, 80.0f, recallDefault, 50.0f, true },
        { "default, already there", mix, 50.0f, recallDefault, 50.0f, false },
        { "default of a whole number", timeN, 9.0f, recallDefault, 4.0f, true },
    };

    for (const auto& row : rows)
    {
        Fixture fixture;
        fixture.automate (row.id, row.start);
        RecordingWidget widget (fixture.processor.parameters, row.id);
        widget.deliveries.clear();
        fixture.host.clear();

        auto& parameter = fixture.parameter (row.id);
        if (juce::String (row.name) == "one float step away")
        {
            ASSERT_NE (parameter.convertTo0to1 (parameter.convertFrom0to1 (row.normalisedInput)), parameter.getValue()) << "the row tests nothing";
        }

        widget.attachment.sendBeginGesture();
        if (row.normalisedInput == recallDefault)
            widget.attachment.recallDefault();
        else
            widget.attachment.setNormalisedValue (row.normalisedInput);
        widget.attachment.sendEndGesture();

        const auto sent = row.sent ? 1 : 0;
        EXPECT_EQ (fixture.plainValue (row.id), row.expected) << row.name;
        EXPECT_EQ (fixture.host.summary().size(), (size_t) (2 + sent)) << row.name << ": one gesture, nothing else";
        EXPECT_EQ (fixture.host.count (Kind::value, row.id), sent) << row.name;
        ASSERT_EQ ((int) widget.deliveries.size(), sent) << row.name;
        if (row.sent)
        {
            EXPECT_EQ (widget.deliveries[0].denormalisedValue, row.expected) << row.name << ": the snapped value comes back";
        }
    }
}

TEST (ParameterAttachment, ChangesFromAnotherThreadArriveOnTheMessageThreadAsTheLatestOnly)
{
    Fixture fixture;
    auto& mix = fixture.parameter (marnovex::kParameter_Mix);
    RecordingWidget widget (fixture.processor.parameters, marnovex::kParameter_Mix);
    marnovex::Marnovex_Label readout (fixture.processor.parameters, marnovex::kParameter_Mix);
    marnovex::Marnovex_Knob knob (fixture.processor.parameters, marnovex::kParameter_Mix);
    widget.deliveries.clear();

    // Host automation at a high rate from its audio thread.
    std::thread automation ([&mix] {
        for (int step = 1; step <= 9; ++step)
            mix.setValueNotifyingHost ((float) step / 10.0f);
    });
    automation.join();

    EXPECT_TRUE (widget.deliveries.empty()) << "delivered on the automating thread";
    EXPECT_EQ (readout.getText(), "50.0 %");
    EXPECT_EQ (knob.value, 0.5f);

    vorn::test::deliverPendingMessages();

    ASSERT_EQ (widget.deliveries.size(), 1u) << "intermediate values were delivered";
    EXPECT_TRUE (widget.deliveries[0].onMessageThread);
    EXPECT_NEAR (widget.deliveries[0].denormalisedValue, 90.0f, 1.0e-4f);
    EXPECT_EQ (readout.getText(), "90.0 %");
    EXPECT_NEAR (knob.value, 0.9f, 1.0e-6f);

    // A change made on the message thread is delivered inside the call.
    fixture.automate (marnovex::kParameter_Mix, 12.0f);
    EXPECT_EQ (readout.getText(), "12.0 %");
    EXPECT_EQ (widget.deliveries.size(), 2u);
}

TEST (ParameterAttachment, PendingDeliveryToADestroyedWidgetIsDropped)
{
    Fixture fixture;
    auto& mix = fixture.parameter (marnovex::kParameter_Mix);
    auto readout = std::make_unique<marnovex::Marnovex_Label> (fixture.processor.parameters, marnovex::kParameter_Mix);

    std::thread automation ([&mix] { mix.setValueNotifyingHost (0.75f); });
    automation.join();
    readout.reset(); // the editor closes before the update runs

    vorn::test::deliverPendingMessages();
    EXPECT_NEAR (fixture.plainValue (marnovex::kParameter_Mix), 75.0f, 1.0e-4f);
}

TEST (ParameterAttachment, UnknownIDLeavesTheWidgetInert)
{
    // Parameter IDs match exactly: a different case names no parameter.
    for (const juce::String id : { "NoSuchParameter", "mix", "" })
    {
        Fixture fixture;
        RecordingWidget widget (fixture.processor.parameters, id);
        marnovex::Marnovex_Label readout (fixture.processor.parameters, id);

        EXPECT_FALSE (widget.attachment.isBound()) << id;
        EXPECT_EQ (widget.attachment.parameter, nullptr) << id;

        widget.attachment.sendBeginGesture();
        widget.attachment.setNormalisedValue (0.9f);
        widget.attachment.recallDefault();
        widget.attachment.sendEndGesture();
        fixture.automate (marnovex::kParameter_Mix, 10.0f);

        EXPECT_TRUE (widget.deliveries.empty()) << id;
        EXPECT_EQ (readout.getText(), "") << id;
        EXPECT_EQ (fixture.host.count (Kind::begin) + fixture.host.count (Kind::end), 0) << id;
        EXPECT_EQ (fixture.host.count (Kind::value), 1) << id << ": only the automation";
    }
}

TEST (ValueReadout, ShowsTheParametersOwnTextFromConstructionOn)
{
    struct Row { juce::String id; float plainValue; const char* text; };
    const Row rows[] = {
        { marnovex::kParameter_Mix, 50.0f, "50.0 %" },
        { marnovex::kParameter_Send, 100.0f, "100.0 %" },
        { marnovex::kParameter_Overlap, 12.5f, "12.5 %" },
        { marnovex::kParameter_Curve, 4.0f, "Hyperbolic" },
        { marnovex::kParameter_TimeD, 16.0f, "16" },
    };

    for (const auto& row : rows)
    {
        Fixture fixture;
        fixture.automate (row.id, row.plainValue);

        // Never shown on screen: the text is there before the first paint.
        marnovex::Marnovex_Label readout (fixture.processor.parameters, row.id);
        EXPECT_EQ (readout.getText(), row.text) << row.id;

        EXPECT_EQ (readout.getFont().getTypefacePtr(), marnovex::Fonts::label().getTypefacePtr());
        EXPECT_EQ (readout.getFont().getHeightInPoints(), marnovex::Fonts::label().getHeightInPoints());
        EXPECT_EQ (readout.findColour (juce::Label::textColourId), marnovex::Colours::white);
        EXPECT_EQ (readout.getJustificationType(), juce::Justification (juce::Justification::centred));
        EXPECT_FALSE (readout.isEditableOnSingleClick() || readout.isEditableOnDoubleClick());
    }
}
} // namespace
