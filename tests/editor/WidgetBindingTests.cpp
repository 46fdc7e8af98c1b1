// Binding widgets to parameters: what an edit sends to the host, what comes
// back to the widgets and on which thread, the value readout, and IDs that
// name no parameter.

#include <gtest/gtest.h>

#include "Marnovex_Colours.h"
#include "Marnovex_Fonts.h"
#include "Marnovex_Knob.h"
#include "Marnovex_Label.h"
#include "Marnovex_ParameterIDs.h"
#include "StateTestSupport.h"
#include "WidgetTestSupport.h"

#include <cmath>
#include <thread>

namespace
{
using namespace vorn::test;
using namespace marnovex;

// The smallest bound widget: it remembers what it was told, and checks that
// it was told on the message thread about its own parameter.
struct RecordingWidget : Marnovex_ParameterListener
{
    RecordingWidget (juce::AudioProcessorValueTreeState& state, const juce::String& id)
        : attachment (state, id)
    {
        attachment.setListener (this);
    }

    void parameterChanged (juce::RangedAudioParameter* parameter, float denormalisedValue) override
    {
        EXPECT_TRUE (juce::MessageManager::existsAndIsCurrentThread());
        EXPECT_EQ (parameter, attachment.parameter);
        values.push_back (denormalisedValue);
    }

    Marnovex_ParameterAttachment attachment;
    std::vector<float> values;
};

TEST (ParameterAttachment, SendsTheSnappedValueOnlyWhenItReallyChanges)
{
    // One float step below the maximum survives the round trip through the
    // range, so an exact comparison would send it; the host must not see it.
    const auto belowOne = std::nextafter (1.0f, 0.0f);
    MarnovexTemplateAudioProcessor probe;
    auto& probeMix = *probe.parameters.getParameter (kParameter_Mix);
    ASSERT_NE (probeMix.convertTo0to1 (probeMix.convertFrom0to1 (belowOne)), 1.0f) << "the float-step row tests nothing";

    constexpr float recall = -100.0f; // marks rows that recall the default instead
    struct Row { const char* name; juce::String id; float start, normalisedInput, expected; bool sent; };
    const Row rows[] = {
        { "one float step away", kParameter_Mix, 100, belowOne, 100, false },
        { "snaps to the current whole number", kParameter_TimeN, 4, 0.2f + 0.03f, 4, false },
        { "passes the midpoint to the next number", kParameter_TimeN, 4, 0.2f + 0.04f, 5, true },
        { "snaps to the current choice", kParameter_Curve, 0, 0.04f, 0, false },
        { "the last choice", kParameter_Curve, 3, 1.0f, 11, true },
        { "default, away from it", kParameter_Mix, 80, recall, 50, true },
        { "default, already there", kParameter_Mix, 50, recall, 50, false },
        { "default of a whole number", kParameter_TimeN, 9, recall, 4, true },
    };

    for (const auto& row : rows)
    {
        MarnovexTemplateAudioProcessor processor;
        setValue (processor, row.id, row.start);
        RecordingWidget widget (processor.parameters, row.id);
        widget.values.clear();
        HostRecorder host (processor);

        widget.attachment.sendBeginGesture();
        if (row.normalisedInput == recall)
            widget.attachment.recallDefault();
        else
            widget.attachment.setNormalisedValue (row.normalisedInput);
        widget.attachment.sendEndGesture();

        EXPECT_EQ (valueOf (processor, row.id), row.expected) << row.name;
        EXPECT_EQ (host.log, oneGesture (row.id, row.sent ? 1 : 0)) << row.name;
        EXPECT_EQ (widget.values, row.sent ? std::vector<float> { row.expected } : std::vector<float>()) << row.name;
    }
}

TEST (ParameterAttachment, ChangesFromAnotherThreadArriveOnTheMessageThreadAsTheLatestOnly)
{
    MarnovexTemplateAudioProcessor processor;
    setValue (processor, kParameter_Mix, 30.0f);
    auto& mix = *processor.parameters.getParameter (kParameter_Mix);
    RecordingWidget widget (processor.parameters, kParameter_Mix);
    Marnovex_Label readout (processor.parameters, kParameter_Mix);
    Marnovex_Knob knob (processor.parameters, kParameter_Mix);
    ASSERT_EQ (widget.values.size(), 1u) << "registration delivers the current value at once";
    EXPECT_NEAR (widget.values[0], 30.0f, 1.0e-4f);

    // The readout shows the parameter's own text, a choice's name too, before it is ever painted.
    setValue (processor, kParameter_Curve, 4.0f);
    EXPECT_EQ (Marnovex_Label (processor.parameters, kParameter_Curve).getText(), "Hyperbolic");
    EXPECT_EQ (readout.getFont().getTypefacePtr(), Fonts::label().getTypefacePtr());
    EXPECT_EQ (readout.getFont().getHeightInPoints(), Fonts::label().getHeightInPoints());
    EXPECT_EQ (readout.findColour (juce::Label::textColourId), Colours::white);
    EXPECT_EQ (readout.getJustificationType(), juce::Justification (juce::Justification::centred));

    // Host automation at a high rate from its audio thread.
    std::thread automation ([&mix] {
        for (int step = 1; step <= 9; ++step)
            mix.setValueNotifyingHost ((float) step / 10.0f);
    });
    automation.join();
    EXPECT_EQ (widget.values.size(), 1u) << "delivered on the automating thread";
    EXPECT_EQ (readout.getText(), "30.0 %");

    deliverPendingMessages();
    ASSERT_EQ (widget.values.size(), 2u) << "intermediate values were delivered";
    EXPECT_NEAR (widget.values[1], 90.0f, 1.0e-4f);
    EXPECT_EQ (readout.getText(), "90.0 %");
    EXPECT_NEAR (knob.value, 0.9f, 1.0e-6f);

    // A change made on the message thread is delivered inside the call.
    setValue (processor, kParameter_Mix, 12.0f);
    EXPECT_EQ (readout.getText(), "12.0 %");

    // A delivery still pending when its widget goes is dropped.
    auto shortLived = std::make_unique<Marnovex_Label> (processor.parameters, kParameter_Mix);
    std::thread ([&mix] { mix.setValueNotifyingHost (0.75f); }).join();
    shortLived.reset();
    deliverPendingMessages();
    EXPECT_EQ (readout.getText(), "75.0 %");
}

TEST (ParameterAttachment, UnknownIDLeavesTheWidgetInert)
{
    // Parameter IDs match exactly: a different case names no parameter.
    for (const juce::String id : { "NoSuchParameter", "mix", "" })
    {
        MarnovexTemplateAudioProcessor processor;
        HostRecorder host (processor);
        RecordingWidget widget (processor.parameters, id);
        Marnovex_Label readout (processor.parameters, id);
        EXPECT_FALSE (widget.attachment.isBound()) << id;

        widget.attachment.sendBeginGesture();
        widget.attachment.setNormalisedValue (0.9f);
        widget.attachment.recallDefault();
        widget.attachment.sendEndGesture();
        setValue (processor, kParameter_Mix, 10.0f);

        EXPECT_TRUE (widget.values.empty()) << id;
        EXPECT_EQ (readout.getText(), "") << id;
        EXPECT_EQ (host.log, HostLog { "value Mix" }) << id << ": only the automation";
    }
}
} // namespace
