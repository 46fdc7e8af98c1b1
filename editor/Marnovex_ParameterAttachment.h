#pragma once

#include <juce_audio_processors/juce_audio_processors.h>

#include <memory>

namespace marnovex
{
// Implemented by every widget that shows a parameter. Called on the message
// thread with the parameter's value in its own units (a whole number or
// choice index as a float for the stepped parameters).
class Marnovex_ParameterListener
{
public:
    virtual ~Marnovex_ParameterListener() = default;
    virtual void parameterChanged (juce::RangedAudioParameter* parameter, float denormalisedValue) = 0;
};

// Binds one widget to one parameter, found by ID. Deliveries arrive on the
// message thread: at once for changes made there, otherwise asynchronously
// with the latest value only. An ID that names no parameter leaves the
// attachment unbound, and then every operation does nothing.
//
// Held by value in its widget and never moved: the framework's callback
// holds this object's address.
class Marnovex_ParameterAttachment
{
public:
    Marnovex_ParameterAttachment (juce::AudioProcessorValueTreeState& state, juce::String parameterID);
    ~Marnovex_ParameterAttachment();

    // Called by the owning widget at the end of its constructor: sets the
    // listener and delivers the parameter's current value to it at once.
    void setListener (Marnovex_ParameterListener* newListener);

    void parameterChangeCallback (float denormalisedValue);

    void sendBeginGesture();

    // Sets the parameter, within the open gesture, to the legal value nearest
    // `normalisedValue` (clamped to 0..1), but only when that differs from the
    // current value: an edit that changes nothing must not reach the host.
    void setNormalisedValue (float normalisedValue);

    // setNormalisedValue with the parameter's default.
    void recallDefault();

    void sendEndGesture();

    bool isBound() const noexcept { return attachment != nullptr; }

    juce::RangedAudioParameter* parameter = nullptr;
    std::unique_ptr<juce::ParameterAttachment> attachment;
    Marnovex_ParameterListener* listener = nullptr;

    JUCE_DECLARE_NON_COPYABLE (Marnovex_ParameterAttachment)
};
} // namespace marnovex
