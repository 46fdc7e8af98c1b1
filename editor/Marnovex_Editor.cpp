#include "Marnovex_Editor.h"

#include "Marnovex_Colours.h"
#include "Marnovex_Fonts.h"
#include "Marnovex_ParameterIDs.h"
#include "Marnovex_ProductStrings.h"
#include "PluginProcessor.h"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace marnovex
{
namespace
{
// Design sizes scale in 32-bit float and truncate, so a drifted zoom such as
// 0.999999821 gives 589, not 590: the stored value reproduces the same size.
int scaledLength (int length, float scale) noexcept
{
    return (int) ((float) length * scale);
}

// Positions written with a decimal constant in the design: converted to float,
// offset in float, truncated.
int offsetPosition (int position, float offset) noexcept
{
    return (int) ((float) position + offset);
}

// The control row: every knob is 62 x 62 on the same line, its name and its
// readout 62 x 20 below it, overlapping as the stacking order decides.
constexpr int kKnobSize = 62;
constexpr int kLabelHeight = 20;
constexpr int kControlSpacing = 68;
constexpr int kFirstControlX = 28;
} // namespace

float limitScale (float scale, const Marnovex_EditorInfo& info) noexcept
{
    if (scale < info.minScale || std::isnan (scale))
        return info.minScale;
    if (scale > info.maxScale)
        return info.maxScale;
    return scale;
}

void applyScale (const Marnovex_EditorInfo& info)
{
    auto& editor = *info.editor;
    editor.setVisible (false);
    editor.setBounds (editor.getX(), editor.getY(), scaledLength (info.width, info.scale), scaledLength (info.height, info.scale));
    editor.setVisible (true);
}

//==============================================================================
Marnovex_Editor::Marnovex_Editor (MarnovexTemplateAudioProcessor& p, Marnovex_EditorInfo& editorInfo)
    : state (p.parameters),
      preferences (p.preferenceManager),
      processor (p),
      info (editorInfo),
      canvas (state),
      presetController (*this, p.presetManager, editorInfo.width),
      timeKnob (state),
      overlapKnob (state, kParameter_Overlap),
      curveKnob (state, kParameter_Curve),
      intensityKnob (state, kParameter_Intensity),
      feedbackKnob (state, kParameter_Feedback),
      sendKnob (state, kParameter_Send),
      returnKnob (state, kParameter_Return),
      mixKnob (state, kParameter_Mix),
      overlapValue (state, kParameter_Overlap),
      curveValue (state, kParameter_Curve),
      intensityValue (state, kParameter_Intensity),
      feedbackValue (state, kParameter_Feedback),
      sendValue (state, kParameter_Send),
      returnValue (state, kParameter_Return),
      mixValue (state, kParameter_Mix),
      curveIcon (state)
{
    const int w = info.width;
    const int h = info.height;

    // Add order is stacking order: each child lies over everything added before.
    addZoomButton (zoomOutButton, { 0, 0, 20, 20 }, 0);
    addZoomButton (zoomInButton, { offsetPosition (w, -20.0f), offsetPosition (h, -20.0f), 20, 20 }, 1);
    addTitle();
    addCanvas();

    auto x = kFirstControlX;
    addTimeKnob (x, Colours::blue);
    addName (timeName, timeKnob, "Time", Colours::blue);
    addTempoReadout (timeKnob, Colours::blue);

    addControl (overlapKnob, overlapName, overlapValue, x += kControlSpacing, "Overlap", Colours::blue);
    // Under the curve knob's ring, so presses on the icon reach the knob.
    addCurveIcon();
    addControl (curveKnob, curveName, curveValue, x += kControlSpacing, "Curve", Colours::blue, true);
    addControl (intensityKnob, intensityName, intensityValue, x += kControlSpacing, "Intensity", Colours::blue);
    addControl (feedbackKnob, feedbackName, feedbackValue, x += kControlSpacing, "Feedback", Colours::blue);
    addControl (sendKnob, sendName, sendValue, x += kControlSpacing, "Send", Colours::red);
    addControl (returnKnob, returnName, returnValue, x += kControlSpacing, "Return", Colours::red);
    addControl (mixKnob, mixName, mixValue, x += kControlSpacing, "Mix", Colours::red);

    startTimer (33);
}

Marnovex_Editor::~Marnovex_Editor()
{
    stopTimer();
    zoomInButton.removeListener (this);
    zoomOutButton.removeListener (this);
}

//==============================================================================
void Marnovex_Editor::addZoomButton (Marnovex_ShapeButton& button, juce::Rectangle<int> bounds, int shape)
{
    button.setBounds (bounds);
    button.setShape (shape);
    button.setColour (Marnovex_ShapeButton::foregroundColourId, Colours::grey);
    button.setColour (Marnovex_ShapeButton::pressedColourId, Colours::white);
    button.addListener (this);
    addAndMakeVisible (button);
}

void Marnovex_Editor::addTitle()
{
    titleLabel.setText ("Vorn " + kProductVersion, juce::dontSendNotification);
    titleLabel.setFont (Fonts::title());
    // Wider than its text on purpose: it covers the left end of the preset
    // name, whose presses would otherwise open the load dialog there.
    titleLabel.setBounds (15, 15, 150, 20);
    titleLabel.setJustificationType (juce::Justification::left);
    titleLabel.setColour (juce::Label::textColourId, Colours::grey);
    addAndMakeVisible (titleLabel);
}

void Marnovex_Editor::addCanvas()
{
    canvas.setBounds (5, 43, offsetPosition (info.width, -10.0f), 160);
    canvas.setColour (Marnovex_Canvas::curveColourId, Colours::blue);
    addAndMakeVisible (canvas);
}

void Marnovex_Editor::addKnob (Marnovex_Knob& knob, int x, juce::Colour accent, bool ringOnly)
{
    knob.setBounds (x, offsetPosition (info.height, -118.0f), kKnobSize, kKnobSize);
    if (ringOnly)
        knob.ringOnly = true;
    knob.setColour (Marnovex_Knob::bodyColourId, accent);
    knob.setColour (Marnovex_Knob::pointerColourId, Colours::background);
    addAndMakeVisible (knob);
}

void Marnovex_Editor::addTimeKnob (int x, juce::Colour accent)
{
    // The fraction control draws no pointer, so it takes only the body colour.
    timeKnob.setBounds (x, offsetPosition (info.height, -118.0f), kKnobSize, kKnobSize);
    timeKnob.setColour (Marnovex_RatioKnob::bodyColourId, accent);
    addAndMakeVisible (timeKnob);
}

void Marnovex_Editor::addName (juce::Label& name, const juce::Component& knob, const juce::String& text, juce::Colour accent)
{
    name.setText (text, juce::dontSendNotification);
    name.setFont (Fonts::bigger());
    name.setBounds (knob.getX(), offsetPosition (knob.getY(), 60.0f), kKnobSize, kLabelHeight);
    name.setJustificationType (juce::Justification::centred);
    name.setColour (juce::Label::textColourId, accent);
    addAndMakeVisible (name);
}

void Marnovex_Editor::addValue (juce::Label& value, const juce::Component& knob, juce::Colour accent)
{
    value.setBounds (knob.getX(), offsetPosition (knob.getY(), 75.0f), kKnobSize, kLabelHeight);
    value.setJustificationType (juce::Justification::centred);
    value.setColour (juce::Label::textColourId, accent);
    addAndMakeVisible (value);
}

void Marnovex_Editor::addTempoReadout (const juce::Component& knob, juce::Colour accent)
{
    bpmLabel.setText ("", juce::dontSendNotification);
    bpmLabel.setFont (Fonts::label());
    addValue (bpmLabel, knob, accent);
}

void Marnovex_Editor::addControl (Marnovex_Knob& knob, juce::Label& name, Marnovex_Label& value,
                                  int x, const juce::String& text, juce::Colour accent, bool ringOnly)
{
    addKnob (knob, x, accent, ringOnly);
    addName (name, knob, text, accent);
    addValue (value, knob, accent);
}

void Marnovex_Editor::addCurveIcon()
{
    // Centred on the curve knob (164, 212, 62, 62), inside its ring.
    curveIcon.setBounds (182, offsetPosition (info.height, -100.0f), 26, 26);
    curveIcon.setColour (Marnovex_Waveform::curveColourId, Colours::blue);
    addAndMakeVisible (curveIcon);
}

//==============================================================================
void Marnovex_Editor::buttonClicked (juce::Button* button)
{
    // The scale only ever moves by float addition, never snapped to the grid:
    // the drifted value is stored and the next window opens at the same size.
    if (button == &zoomOutButton)
        zoomTo (info.scale - info.scaleStep);
    if (button == &zoomInButton)
        zoomTo (info.scaleStep + info.scale);
}

void Marnovex_Editor::zoomTo (float newScale)
{
    info.scale = limitScale (newScale, info);
    applyScale (info);
    preferences.setPreference ("EditorScale", (double) info.scale);
}

//==============================================================================
void Marnovex_Editor::timerCallback()
{
    showTempo (processor.hostBpm.load());
    pushLevel (processor.waveformLevel.load());

    // Nothing else repaints the display for new levels.
    canvas.repaint();
}

void Marnovex_Editor::showTempo (float bpm)
{
    // Exact comparison: any change of the tempo rebuilds the text, and a NaN
    // from the host never reaches the readout.
    if (bpm == displayedBpm || std::isnan (bpm) || std::isnan (displayedBpm))
        return;

    displayedBpm = bpm;
    bpmLabel.setText (juce::String ((double) bpm, 2) + " BPM", juce::dontSendNotification);
}

void Marnovex_Editor::pushLevel (float level) noexcept
{
    // A sliding window, oldest first: the newest level is always the last entry.
    const auto n = juce::jmin (canvas.historySize, (int) std::size (canvas.history));
    if (n <= 0)
        return;

    auto* history = std::data (canvas.history);
    if (n > 1)
        std::copy (history + 1, history + n, history);
    history[n - 1] = level;
}
} // namespace marnovex
