#pragma once

#include <juce_audio_processors/juce_audio_processors.h>

#include "Marnovex_Editor.h"

class MarnovexTemplateAudioProcessor;

// The framework's editor component: paints the background and shows the inner
// editor, drawn at its design size and scaled as a whole by the zoom, which
// it reads from the user's preferences when it opens.
class MarnovexTemplateAudioProcessorEditor : public juce::AudioProcessorEditor
{
public:
    explicit MarnovexTemplateAudioProcessorEditor (MarnovexTemplateAudioProcessor& processor);
    ~MarnovexTemplateAudioProcessorEditor() override;

    void paint (juce::Graphics& g) override;

    // Applies the zoom to the inner editor whenever the size changes.
    void resized() override;

    MarnovexTemplateAudioProcessor& processor;

    // Declared before `inner`, which keeps a reference to it.
    marnovex::Marnovex_EditorInfo info;
    marnovex::Marnovex_Editor inner;

    JUCE_DECLARE_NON_COPYABLE (MarnovexTemplateAudioProcessorEditor)
};
