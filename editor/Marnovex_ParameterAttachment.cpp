#include "Marnovex_ParameterAttachment.h"

#include <cmath>
#include <limits>

namespace marnovex
{
namespace
{
// Equal within the smallest normal float, or within one float epsilon of the
// larger magnitude. The framework's own attachment compares exactly in some
// versions and approximately in others; the host must see the same edits in all.
bool sameNormalisedValue (float a, float b) noexcept
{
    const auto difference = std::abs (a - b);
    return difference <= std::numeric_limits<float>::min()
           || difference <= std::numeric_limits<float>::epsilon() * std::max (std::abs (a), std::abs (b));
}
} // namespace

Marnovex_ParameterAttachment::Marnovex_ParameterAttachment (juce::AudioProcessorValueTreeState& state, juce::String parameterID)
    : parameter (state.getParameter (parameterID))
{
    if (parameter != nullptr)
        attachment = std::make_unique<juce::ParameterAttachment> (
            *parameter, [this] (float value) { parameterChangeCallback (value); }, nullptr);
}

Marnovex_ParameterAttachment::~Marnovex_ParameterAttachment()
{
    attachment.reset();
    listener = nullptr;
}

void Marnovex_ParameterAttachment::setListener (Marnovex_ParameterListener* newListener)
{
    listener = newListener;

    if (isBound())
        attachment->sendInitialUpdate();
}

void Marnovex_ParameterAttachment::parameterChangeCallback (float denormalisedValue)
{
    if (listener != nullptr)
        listener->parameterChanged (parameter, denormalisedValue);
}

void Marnovex_ParameterAttachment::sendBeginGesture()
{
    if (isBound())
        attachment->beginGesture();
}

void Marnovex_ParameterAttachment::setNormalisedValue (float normalisedValue)
{
    if (! isBound())
        return;

    const auto denormalised = parameter->convertFrom0to1 (normalisedValue);
    const auto snapped = parameter->convertTo0to1 (denormalised);

    if (! sameNormalisedValue (parameter->getValue(), snapped))
        attachment->setValueAsPartOfGesture (denormalised);
}

void Marnovex_ParameterAttachment::recallDefault()
{
    if (isBound())
        setNormalisedValue (parameter->getDefaultValue());
}

void Marnovex_ParameterAttachment::sendEndGesture()
{
    if (isBound())
        attachment->endGesture();
}
} // namespace marnovex
