#pragma once

#include <juce_audio_processors/juce_audio_processors.h>

#include "ControlSignals.h"
#include "PreferenceManager.h"
#include "PresetManager.h"
#include "Reverser.h"

#include <atomic>

class MarnovexTemplateAudioProcessor : public juce::AudioProcessor
{
public:
    MarnovexTemplateAudioProcessor();
    ~MarnovexTemplateAudioProcessor() override;

    const juce::String getName() const override;

    void prepareToPlay (double sampleRate, int samplesPerBlock) override;
    void releaseResources() override;
    void processBlock (juce::AudioBuffer<float>& buffer, juce::MidiBuffer& midiMessages) override;
    using juce::AudioProcessor::processBlock;

    double getTailLengthSeconds() const override;
    bool acceptsMidi() const override;
    bool producesMidi() const override;
    bool isMidiEffect() const override;
    void reset() override;

    juce::AudioProcessorEditor* createEditor() override;
    bool hasEditor() const override;

    int getNumPrograms() override;
    int getCurrentProgram() override;
    void setCurrentProgram (int index) override;
    const juce::String getProgramName (int index) override;
    void changeProgramName (int index, const juce::String& newName) override;

    void getStateInformation (juce::MemoryBlock& destData) override;
    void setStateInformation (const void* data, int sizeInBytes) override;

    bool isBusesLayoutSupported (const BusesLayout& layouts) const override;

    // Shared with the editor: the only values the audio thread writes for other threads.
    std::atomic<float> hostBpm { 120.0f };
    std::atomic<float> waveformLevel { 0.0f };

    juce::AudioProcessorValueTreeState parameters;
    marnovex::PresetManager presetManager;
    marnovex::PreferenceManager preferenceManager;

    // Work buffers, each `preparedBlockSize` floats, owned here.
    float* dryLeft = nullptr;
    float* dryRight = nullptr;
    float* sendLeft = nullptr;
    float* sendRight = nullptr;
    float* wetLeft = nullptr;
    float* wetRight = nullptr;
    float* outLeft = nullptr;
    float* outRight = nullptr;
    float* meterBuffer = nullptr;

    // Per-sample smoothed parameter values.
    float* overlapValues = nullptr;
    float* intensityValues = nullptr;
    float* feedbackValues = nullptr;
    float* sendValues = nullptr;
    float* returnValues = nullptr;
    float* mixValues = nullptr;

    ParameterSmoother overlapSmoother;
    ParameterSmoother intensitySmoother;
    ParameterSmoother feedbackSmoother;
    ParameterSmoother sendSmoother;
    ParameterSmoother returnSmoother;
    ParameterSmoother mixSmoother;

    Reverser reverser;
    LevelFollower levelFollower;

    // Tempo sync: when the next playing block must re-align the segment grid to the bar.
    bool needsResync = true;
    bool wasPlaying = false;
    double lastBpm = 0.0;
    double lastSegmentLength = 0.0;
    double lastTimeInSamples = 0.0;

    // Largest block the work buffers hold; 0 until prepared.
    int preparedBlockSize = 0;

private:
    struct HostPosition
    {
        double barStart = 0.0;
        double ppq = 0.0;
        double bpm = 120.0;
        juce::int64 timeInSamples = 0;
        bool playing = false;
    };

    // Each parameter's raw plain value, found once by ID after registration
    // so that the audio callback reads them without searching the state.
    struct RawValues
    {
        std::atomic<float>* timeN = nullptr;
        std::atomic<float>* timeD = nullptr;
        std::atomic<float>* overlap = nullptr;
        std::atomic<float>* curve = nullptr;
        std::atomic<float>* intensity = nullptr;
        std::atomic<float>* feedback = nullptr;
        std::atomic<float>* send = nullptr;
        std::atomic<float>* ret = nullptr;
        std::atomic<float>* mix = nullptr;
    };
    RawValues rawValues;

    void registerParameters();
    void releaseBuffers() noexcept;
    HostPosition readHostPosition() noexcept;
    double computeSegmentLength (int timeN, int timeD) const noexcept;
    void syncToHostTransport (const HostPosition& position, double segmentLength, int numSamples) noexcept;
    void mixToOutput (float* out, const float* wet, const float* dry, int numSamples) const noexcept;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (MarnovexTemplateAudioProcessor)
};
