#pragma once

// Loads the built VST3 bundle the way a host does and drives it from tests.
//
//   auto plugin = HostedPlugin::load();            // nullptr (and a test failure) if loading fails
//   SettablePlayHead playHead;                     // tempo 120, bar start 0, ppq 0, sample 0, stopped
//   plugin->setPlayHead (&playHead);               // must outlive its use by the instance
//   plugin->setBusesLayout (...);                  // optional, before prepare
//   HostedPlugin::prepare (*plugin, 48000.0, 512); // prepareToPlay: the client's activate
//   juce::AudioBuffer<float> audio (2, 4096);      // at least max (inputs, outputs) channels
//   HostedPlugin::process (*plugin, audio, 512, &playHead);
//
// - load() returns a juce::AudioPluginInstance owned by the caller; the module
//   stays loaded while any instance lives. description() is the host's
//   juce::PluginDescription of the bundle (read once, then cached).
// - process() runs `audio` through in place, in consecutive blocks of at most
//   `blockSize` samples (never more than prepared). With a play head it calls
//   playHead->advance after every block, so a playing transport moves on as in
//   a host. With a callback, it is called before every block with the block's
//   first sample and length (to change parameters or the play head mid-run).
// - The hosted instance's parameters are the client's: the plug-in's nine in
//   host order, then "Bypass". Parameter changes made between blocks reach the
//   plug-in at the start of the next block.
// - Everything runs on the calling thread, which must be the message thread
//   (the test main's). The play head is not synchronised: change it between blocks.

#include <juce_audio_processors/juce_audio_processors.h>

#include <functional>
#include <memory>

// A transport the tests set by hand. Time in samples is always reported (VST3
// requires it); tempo, ppq and bar start are reported only while they hold a value.
class SettablePlayHead : public juce::AudioPlayHead
{
public:
    juce::Optional<double> bpm { 120.0 };
    juce::Optional<double> barStartPpq { 0.0 };
    juce::Optional<double> ppq { 0.0 };
    juce::int64 timeInSamples = 0;
    bool playing = false;

    // Quarter notes per bar, used by advance() to keep the bar start up to date.
    // 0 leaves the bar start where it is.
    double quarterNotesPerBar = 4.0;

    // false: getPosition() returns no position at all, as from a host without transport.
    bool hasPosition = true;

    juce::Optional<PositionInfo> getPosition() const override;

    // Moves the transport on by numSamples when playing (time, then ppq at the
    // current tempo, then the bar start). A stopped transport stays where it is.
    void advance (int numSamples, double sampleRate);
};

class HostedPlugin
{
public:
    using BlockCallback = std::function<void (int startSample, int numSamples)>;

    // The built bundle.
    static juce::File bundle();

    // The host's description of the bundle's single plug-in (as scanned by
    // VST3PluginFormat::findAllTypesForFile).
    static const juce::PluginDescription& description();

    // A new, unprepared instance through AudioPluginFormatManager, created on
    // this thread (JUCE sets it up at 44100 Hz until prepare() gives a rate).
    // On failure it reports a test failure with the host's error and returns nullptr.
    static std::unique_ptr<juce::AudioPluginInstance> load();

    // prepareToPlay at this rate and largest block, in real-time mode.
    static void prepare (juce::AudioProcessor& plugin, double sampleRate, int blockSize);

    // Processes `audio` in place in blocks of at most blockSize samples.
    static void process (juce::AudioProcessor& plugin,
                         juce::AudioBuffer<float>& audio,
                         int blockSize,
                         SettablePlayHead* playHead = nullptr,
                         const BlockCallback& beforeEachBlock = {});

    // The hosted parameter whose name is `name`, or nullptr.
    static juce::AudioProcessorParameter* findParameter (juce::AudioProcessor& plugin, const juce::String& name);
};
