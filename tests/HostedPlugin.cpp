#include "HostedPlugin.h"

#include <gtest/gtest.h>

#include <cmath>

juce::Optional<juce::AudioPlayHead::PositionInfo> SettablePlayHead::getPosition() const
{
    if (! hasPosition)
        return {};

    PositionInfo info;
    info.setTimeInSamples (timeInSamples);
    info.setBpm (bpm);
    info.setPpqPosition (ppq);
    info.setPpqPositionOfLastBarStart (barStartPpq);
    info.setIsPlaying (playing);
    return info;
}

void SettablePlayHead::advance (int numSamples, double sampleRate)
{
    if (! playing)
        return;

    timeInSamples += numSamples;

    if (ppq.hasValue() && bpm.hasValue() && sampleRate > 0.0)
    {
        *ppq += (double) numSamples * *bpm / (60.0 * sampleRate);

        if (barStartPpq.hasValue() && quarterNotesPerBar > 0.0)
            barStartPpq = std::floor (*ppq / quarterNotesPerBar) * quarterNotesPerBar;
    }
}

//==============================================================================
juce::File HostedPlugin::bundle()
{
    return juce::File (VORN_VST3_BUNDLE);
}

const juce::PluginDescription& HostedPlugin::description()
{
    static const juce::PluginDescription scanned = []
    {
        juce::VST3PluginFormat format;
        juce::OwnedArray<juce::PluginDescription> found;
        format.findAllTypesForFile (found, bundle().getFullPathName());
        return found.size() == 1 ? *found.getFirst() : juce::PluginDescription();
    }();
    return scanned;
}

std::unique_ptr<juce::AudioPluginInstance> HostedPlugin::load()
{
    const auto& desc = description();
    if (desc.fileOrIdentifier.isEmpty())
    {
        ADD_FAILURE() << "no single VST3 plug-in found in " << bundle().getFullPathName();
        return nullptr;
    }

    juce::AudioPluginFormatManager formats;
    formats.addFormat (new juce::VST3PluginFormat());

    // The VST3 format ignores the initial rate and block size; prepare() sets them.
    juce::String error;
    auto instance = formats.createPluginInstance (desc, 44100.0, 512, error);
    if (instance == nullptr)
        ADD_FAILURE() << "could not instantiate the plug-in: " << error;
    return instance;
}

void HostedPlugin::prepare (juce::AudioProcessor& plugin, double sampleRate, int blockSize)
{
    plugin.setNonRealtime (false);
    plugin.prepareToPlay (sampleRate, blockSize);
}

void HostedPlugin::process (juce::AudioProcessor& plugin,
                            juce::AudioBuffer<float>& audio,
                            int blockSize,
                            SettablePlayHead* playHead,
                            const BlockCallback& beforeEachBlock)
{
    jassert (blockSize > 0);
    juce::MidiBuffer midi;

    for (int start = 0; start < audio.getNumSamples(); start += blockSize)
    {
        const int length = juce::jmin (blockSize, audio.getNumSamples() - start);
        if (beforeEachBlock)
            beforeEachBlock (start, length);

        // A view on this block's samples: no copy, no allocation.
        juce::AudioBuffer<float> block (audio.getArrayOfWritePointers(), audio.getNumChannels(), start, length);
        midi.clear();
        plugin.processBlock (block, midi);

        if (playHead != nullptr)
            playHead->advance (length, plugin.getSampleRate());
    }
}

juce::AudioProcessorParameter* HostedPlugin::findParameter (juce::AudioProcessor& plugin, const juce::String& name)
{
    for (auto* parameter : plugin.getParameters())
        if (parameter->getName (1024) == name)
            return parameter;
    return nullptr;
}
