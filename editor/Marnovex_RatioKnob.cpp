#include "Marnovex_RatioKnob.h"

#include "Marnovex_Colours.h"
#include "Marnovex_Fonts.h"
#include "Marnovex_ParameterIDs.h"

namespace marnovex
{
namespace
{
constexpr float dragSensitivity = 0.004f;

float limitToUnitRange (float x) noexcept
{
    return juce::jmax (juce::jmin (x, 1.0f), 0.0f);
}

bool isBoundTo (const Marnovex_ParameterAttachment& attachment, const juce::RangedAudioParameter& parameter)
{
    return attachment.parameter != nullptr && attachment.parameter->getParameterID() == parameter.getParameterID();
}
} // namespace

Marnovex_RatioKnob::Marnovex_RatioKnob (juce::AudioProcessorValueTreeState& state)
    : numeratorAttachment (state, kParameter_TimeN),
      denominatorAttachment (state, kParameter_TimeD)
{
    setColour (bodyColourId, Colours::white);

    numeratorAttachment.setListener (this);
    denominatorAttachment.setListener (this);
}

Marnovex_RatioKnob::~Marnovex_RatioKnob()
{
    // A window closed while a half is held never sends the release: end that
    // half's gesture here, or the host would keep the parameter touched.
    if (pressOpen)
        endGestureOfDragTarget();
}

void Marnovex_RatioKnob::mouseDown (const juce::MouseEvent& event)
{
    lastDragY = event.position.y;
    const auto aimedDoubleClick = pressHistory.continuesMultipleClickHere (event);
    pressOpen = true;

    // A reset sets both parameters at once, so it belongs to neither half's
    // gesture; it is sent without one.
    if (aimedDoubleClick || event.mods.isAltDown())
    {
        resetLatch = 1.0f;
        dragTarget = dragNothing;
        numeratorAttachment.recallDefault();
        denominatorAttachment.recallDefault();
        return;
    }

    if ((double) event.position.y < 0.5 * (double) getHeight())
    {
        dragTarget = dragNumerator;
        numeratorAttachment.sendBeginGesture();
    }
    else
    {
        dragTarget = dragDenominator;
        denominatorAttachment.sendBeginGesture();
    }
}

void Marnovex_RatioKnob::mouseDrag (const juce::MouseEvent& event)
{
    if (resetLatch != 0.0f)
        return;

    const auto dy = lastDragY - event.position.y;
    lastDragY = event.position.y;

    // The half chosen at the press stays the target wherever the mouse goes.
    // A half whose parameter is missing stays put, like its text.
    if (dragTarget == dragNumerator && numeratorAttachment.isBound())
    {
        numeratorValue = limitToUnitRange (dragSensitivity * dy + numeratorValue);
        repaint();
        numeratorAttachment.setNormalisedValue (numeratorValue);
    }
    else if (dragTarget == dragDenominator && denominatorAttachment.isBound())
    {
        denominatorValue = limitToUnitRange (dragSensitivity * dy + denominatorValue);
        repaint();
        denominatorAttachment.setNormalisedValue (denominatorValue);
    }
}

void Marnovex_RatioKnob::mouseUp (const juce::MouseEvent&)
{
    resetLatch = 0.0f;
    pressOpen = false;
    endGestureOfDragTarget();
}

void Marnovex_RatioKnob::endGestureOfDragTarget()
{
    if (dragTarget == dragNumerator)
        numeratorAttachment.sendEndGesture();
    else if (dragTarget == dragDenominator)
        denominatorAttachment.sendEndGesture();
}

void Marnovex_RatioKnob::paint (juce::Graphics& g)
{
    const auto width = (float) getWidth();
    const auto height = (float) getHeight();

    g.setColour (findColour (bodyColourId));
    g.drawEllipse (7.0f, 7.0f, width - 14.0f, height - 14.0f, 2.0f);

    const auto barY = (float) (0.5 * getHeight() - 1.0);
    g.fillRoundedRectangle (20.0f, barY, (float) (getWidth() - 40), 2.0f, 1.0f);

    g.setFont (Fonts::time());
    g.drawText (numeratorText, juce::Rectangle<float> (0.0f, -11.0f, width, height), juce::Justification::centred, true);
    g.drawText (denominatorText, juce::Rectangle<float> (0.0f, 9.0f, width, height), juce::Justification::centred, true);
}

void Marnovex_RatioKnob::parameterChanged (juce::RangedAudioParameter* changedParameter, float denormalisedValue)
{
    const auto normalised = changedParameter->convertTo0to1 (denormalisedValue);

    if (isBoundTo (numeratorAttachment, *changedParameter))
    {
        numeratorValue = limitToUnitRange (normalised);
        repaint();
        numeratorText = changedParameter->getText (normalised, 100);
    }

    if (isBoundTo (denominatorAttachment, *changedParameter))
    {
        denominatorValue = limitToUnitRange (normalised);
        repaint();
        denominatorText = changedParameter->getText (normalised, 100);
    }
}
} // namespace marnovex
