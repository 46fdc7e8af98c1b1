#include "Marnovex_Knob.h"

#include "Marnovex_Colours.h"

namespace marnovex
{
namespace
{
constexpr float dragSensitivity = 0.003f;
constexpr float fineDragSensitivity = 0.0003f;
constexpr float pointerTurn = 4.7f; // radians from value 0 to value 1

float limitToUnitRange (float x) noexcept
{
    return juce::jmax (juce::jmin (x, 1.0f), 0.0f);
}
} // namespace

Marnovex_Knob::Marnovex_Knob (juce::AudioProcessorValueTreeState& state, juce::String parameterID)
    : attachment (state, std::move (parameterID))
{
    setColour (pointerColourId, Colours::grey);
    setColour (bodyColourId, Colours::white);

    attachment.setListener (this);
}

Marnovex_Knob::~Marnovex_Knob()
{
    // A window closed while the knob is held never sends the release: end
    // the gesture here, or the host would keep the parameter touched.
    if (pressOpen)
        attachment.sendEndGesture();
}

void Marnovex_Knob::mouseDown (const juce::MouseEvent& event)
{
    lastDragY = event.position.y;
    const auto aimedDoubleClick = pressHistory.continuesMultipleClickHere (event);

    // Every press opens a gesture, a reset press too: the host then records
    // the return to the default as one edit.
    pressOpen = true;
    attachment.sendBeginGesture();

    if (aimedDoubleClick || event.mods.isAltDown())
    {
        resetLatch = 1.0f;
        attachment.recallDefault();
    }
}

void Marnovex_Knob::mouseDrag (const juce::MouseEvent& event)
{
    // An unbound knob stays where it was built: a pointer that moves while
    // nothing changes would misreport the parameter.
    if (resetLatch != 0.0f || ! attachment.isBound())
        return;

    const auto dy = lastDragY - event.position.y;
    lastDragY = event.position.y;

    // The ring-only knob shows a choice parameter; a fine mode would only
    // make its steps harder to reach.
    const auto sensitivity = (event.mods.isShiftDown() && ! ringOnly) ? fineDragSensitivity : dragSensitivity;
    value = limitToUnitRange (sensitivity * dy + value);

    repaint();
    attachment.setNormalisedValue (value);
}

void Marnovex_Knob::mouseUp (const juce::MouseEvent&)
{
    resetLatch = 0.0f;
    pressOpen = false;
    attachment.sendEndGesture();
}

void Marnovex_Knob::paint (juce::Graphics& g)
{
    const auto width = (float) getWidth();
    const auto height = (float) getHeight();

    g.setColour (findColour (bodyColourId));

    if (ringOnly)
    {
        g.drawEllipse (7.0f, 7.0f, width - 14.0f, height - 14.0f, 2.0f);
        return;
    }

    g.fillEllipse (7.0f, 7.0f, width - 14.0f, height - 14.0f);
    g.fillRoundedRectangle (9.0f, height - 13.0f, 2.0f, 2.0f, 1.0f);
    g.fillRoundedRectangle (width - 11.0f, height - 13.0f, 2.0f, 2.0f, 1.0f);

    g.setColour (findColour (pointerColourId));
    g.addTransform (juce::AffineTransform::rotation (value * pointerTurn, 0.5f * width, 0.5f * height));
    g.fillEllipse (16.0f, height - 24.0f, 8.0f, 8.0f);
}

void Marnovex_Knob::parameterChanged (juce::RangedAudioParameter* changedParameter, float denormalisedValue)
{
    value = limitToUnitRange (changedParameter->convertTo0to1 (denormalisedValue));
    repaint();
}
} // namespace marnovex
