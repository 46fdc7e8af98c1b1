#include "PluginEditor.h"

#include "Marnovex_Colours.h"
#include "PluginProcessor.h"

#include <limits>

namespace
{
// A stored number beyond the float range would make the conversion undefined;
// clamped first it still ends at the largest zoom. NaN passes through.
float toFloatScale (double stored) noexcept
{
    constexpr auto largest = (double) std::numeric_limits<float>::max();
    return (float) juce::jlimit (-largest, largest, stored);
}
} // namespace

MarnovexTemplateAudioProcessorEditor::MarnovexTemplateAudioProcessorEditor (MarnovexTemplateAudioProcessor& p)
    : juce::AudioProcessorEditor (p),
      processor (p),
      info { this, 590, 330, 1.0f, 0.2f, 0.8f, 2.0f },
      inner (p, info)
{
    inner.setBounds (0, 0, info.width, info.height);
    addAndMakeVisible (inner);

    // The preference store decides whether its settings can be trusted; an
    // unreadable file gives the default, so the window opens at design size.
    const auto stored = processor.preferenceManager.getPreference ("EditorScale", 1.0);
    info.scale = marnovex::limitScale (toFloatScale (stored), info);
    marnovex::applyScale (info);
}

MarnovexTemplateAudioProcessorEditor::~MarnovexTemplateAudioProcessorEditor() = default;

void MarnovexTemplateAudioProcessorEditor::paint (juce::Graphics& g)
{
    g.setColour (marnovex::Colours::background);
    g.fillAll();
}

void MarnovexTemplateAudioProcessorEditor::resized()
{
    inner.setTransform (juce::AffineTransform::scale (info.scale));
}
