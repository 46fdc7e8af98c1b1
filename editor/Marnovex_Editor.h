#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include "Marnovex_Canvas.h"
#include "Marnovex_Knob.h"
#include "Marnovex_Label.h"
#include "Marnovex_RatioKnob.h"
#include "Marnovex_ShapeButton.h"
#include "Marnovex_Waveform.h"
#include "PresetController.h"
#include "PreferenceManager.h"

class MarnovexTemplateAudioProcessor;

namespace marnovex
{
// The window's geometry and zoom, owned by the outer editor and shared with
// the inner one. Every widget stays in design coordinates (width x height);
// only `scale` changes after construction.
struct Marnovex_EditorInfo
{
    juce::Component* editor = nullptr; // the component resized by the zoom
    int width = 590;
    int height = 330;
    float scale = 1.0f;
    float scaleStep = 0.2f;
    float minScale = 0.8f;
    float maxScale = 2.0f;
};

// The zoom limited to the info's range; NaN gives the minimum.
float limitScale (float scale, const Marnovex_EditorInfo& info) noexcept;

// Hides the info's editor, gives it the design size times the info's scale
// (in 32-bit float, truncated) at its current position, and shows it again.
void applyScale (const Marnovex_EditorInfo& info);

// The window's content at design size: curve display, curve icon, the row of
// eight controls with their names and readouts, title, zoom buttons and the
// preset bar. Its 33 ms timer feeds the tempo readout and the level history.
// It draws nothing itself: the outer editor's background shows through.
class Marnovex_Editor : public juce::Component,
                        public juce::Button::Listener,
                        public juce::Timer
{
public:
    Marnovex_Editor (MarnovexTemplateAudioProcessor& processor, Marnovex_EditorInfo& info);
    ~Marnovex_Editor() override;

    // The two zoom buttons; any other button is ignored.
    void buttonClicked (juce::Button* button) override;

    void timerCallback() override;

    // Declaration order is construction order, which also puts the preset
    // bar's widgets lowest in the window's stacking.
    juce::AudioProcessorValueTreeState& state;
    PreferenceManager& preferences;
    MarnovexTemplateAudioProcessor& processor;

    // The tempo the readout last showed; 0 so that the first tick shows one.
    float displayedBpm = 0.0f;

    Marnovex_EditorInfo& info;

    Marnovex_Canvas canvas;
    Marnovex_ShapeButton zoomOutButton;
    Marnovex_ShapeButton zoomInButton;
    juce::Label titleLabel;
    PresetController presetController;

    Marnovex_RatioKnob timeKnob;
    Marnovex_Knob overlapKnob;
    Marnovex_Knob curveKnob;
    Marnovex_Knob intensityKnob;
    Marnovex_Knob feedbackKnob;
    Marnovex_Knob sendKnob;
    Marnovex_Knob returnKnob;
    Marnovex_Knob mixKnob;

    juce::Label timeName;
    juce::Label bpmLabel; // the tempo readout; only the timer writes it
    juce::Label overlapName;
    juce::Label curveName;
    juce::Label intensityName;
    juce::Label feedbackName;
    juce::Label sendName;
    juce::Label returnName;
    juce::Label mixName;

    Marnovex_Label overlapValue;
    Marnovex_Label curveValue;
    Marnovex_Label intensityValue;
    Marnovex_Label feedbackValue;
    Marnovex_Label sendValue;
    Marnovex_Label returnValue;
    Marnovex_Label mixValue;

    Marnovex_Waveform curveIcon;

private:
    void addZoomButton (Marnovex_ShapeButton& button, juce::Rectangle<int> bounds, int shape);
    void addTitle();
    void addCanvas();

    // One control of the row: knob, name and readout stacked in one column.
    void addKnob (Marnovex_Knob& knob, int x, juce::Colour accent, bool ringOnly = false);
    void addTimeKnob (int x, juce::Colour accent);
    void addName (juce::Label& name, const juce::Component& knob, const juce::String& text, juce::Colour accent);
    void addValue (juce::Label& value, const juce::Component& knob, juce::Colour accent);
    void addTempoReadout (const juce::Component& knob, juce::Colour accent);
    void addControl (Marnovex_Knob& knob, juce::Label& name, Marnovex_Label& value,
                     int x, const juce::String& text, juce::Colour accent, bool ringOnly = false);
    void addCurveIcon();

    void zoomTo (float newScale);
    void showTempo (float bpm);
    void pushLevel (float level) noexcept;

    JUCE_DECLARE_NON_COPYABLE (Marnovex_Editor)
};
} // namespace marnovex
