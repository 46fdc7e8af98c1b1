#include "PluginProcessor.h"

#include "Marnovex_ParameterFunctions.h"
#include "Marnovex_ParameterIDs.h"
#include "Marnovex_ProductStrings.h"
#include "PluginEditor.h"

#include <cmath>

using namespace marnovex;

namespace
{
// A bar position further back than this many whole notes is reduced with one
// fmod instead of stepping forward a whole note at a time.
constexpr double kMaxWholeNotesToStepBack = 1024.0;

// The framework's binary-XML magic, "VC2!" read as a little-endian integer.
constexpr juce::uint32 kStateMagic = 0x21324356;

// The XML of a state block, read by the rules of the framework's binary-XML
// reader. The text goes through readStoredXml, which keeps text the
// framework's parser cannot be trusted with away from it.
std::unique_ptr<juce::XmlElement> readStateXml (const void* data, int sizeInBytes)
{
    if (data == nullptr || sizeInBytes <= 8 || juce::ByteOrder::littleEndianInt (data) != kStateMagic)
        return nullptr;

    const auto length = (juce::int32) juce::ByteOrder::littleEndianInt (juce::addBytesToPointer (data, 4));
    if (length <= 0)
        return nullptr;

    return readStoredXml (static_cast<const char*> (data) + 8, (size_t) juce::jmin (sizeInBytes - 8, length), StoredText::utf8).root;
}
} // namespace

MarnovexTemplateAudioProcessor::MarnovexTemplateAudioProcessor()
    : juce::AudioProcessor (BusesProperties()
                                .withInput ("Input", juce::AudioChannelSet::stereo(), true)
                                .withOutput ("Output", juce::AudioChannelSet::stereo(), true)),
      parameters (*this, nullptr),
      presetManager (parameters),
      preferenceManager (kManufacturer, kProductName)
{
    registerParameters();
    parameters.state = juce::ValueTree ("Parameters");
    waveformLevel.store (0.0f);

    rawValues.timeN = parameters.getRawParameterValue (kParameter_TimeN);
    rawValues.timeD = parameters.getRawParameterValue (kParameter_TimeD);
    rawValues.overlap = parameters.getRawParameterValue (kParameter_Overlap);
    rawValues.curve = parameters.getRawParameterValue (kParameter_Curve);
    rawValues.intensity = parameters.getRawParameterValue (kParameter_Intensity);
    rawValues.feedback = parameters.getRawParameterValue (kParameter_Feedback);
    rawValues.send = parameters.getRawParameterValue (kParameter_Send);
    rawValues.ret = parameters.getRawParameterValue (kParameter_Return);
    rawValues.mix = parameters.getRawParameterValue (kParameter_Mix);
}

MarnovexTemplateAudioProcessor::~MarnovexTemplateAudioProcessor()
{
    releaseBuffers();
}

void MarnovexTemplateAudioProcessor::registerParameters()
{
    // Created in one order, registered in host order.
    auto timeN = createIntegerParameter (kParameter_TimeN, "Time Numerator", { 1, 16 }, 4, ParameterUnit::Integer);
    auto timeD = createIntegerParameter (kParameter_TimeD, "Time Denominator", { 1, 32 }, 4, ParameterUnit::Integer);
    auto curve = std::make_unique<juce::AudioParameterChoice> (juce::ParameterID (kParameter_Curve, 0), kParameter_Curve, curveNames(), 0);
    auto intensity = createContinuousParameter (kParameter_Intensity, kParameter_Intensity, { 0.0f, 100.0f }, 0.0f, ParameterUnit::Percent, ParameterMapping::Quadratic);
    auto overlap = createContinuousParameter (kParameter_Overlap, kParameter_Overlap, { 0.0f, 50.0f }, 0.0f, ParameterUnit::Percent, ParameterMapping::Linear);
    auto feedback = createContinuousParameter (kParameter_Feedback, kParameter_Feedback, { 0.0f, 100.0f }, 0.0f, ParameterUnit::Percent, ParameterMapping::Linear);
    auto send = createContinuousParameter (kParameter_Send, kParameter_Send, { 0.0f, 100.0f }, 100.0f, ParameterUnit::Percent, ParameterMapping::Quadratic);
    auto ret = createContinuousParameter (kParameter_Return, kParameter_Return, { 0.0f, 100.0f }, 100.0f, ParameterUnit::Percent, ParameterMapping::Quadratic);
    auto mix = createContinuousParameter (kParameter_Mix, kParameter_Mix, { 0.0f, 100.0f }, 50.0f, ParameterUnit::Percent, ParameterMapping::Linear);

    parameters.createAndAddParameter (std::move (timeN));
    parameters.createAndAddParameter (std::move (timeD));
    parameters.createAndAddParameter (std::move (overlap));
    parameters.createAndAddParameter (std::move (feedback));
    parameters.createAndAddParameter (std::move (curve));
    parameters.createAndAddParameter (std::move (intensity));
    parameters.createAndAddParameter (std::move (send));
    parameters.createAndAddParameter (std::move (ret));
    parameters.createAndAddParameter (std::move (mix));
}

//==============================================================================
const juce::String MarnovexTemplateAudioProcessor::getName() const { return kProductName; }
double MarnovexTemplateAudioProcessor::getTailLengthSeconds() const { return 300.0; }
bool MarnovexTemplateAudioProcessor::acceptsMidi() const { return false; }
bool MarnovexTemplateAudioProcessor::producesMidi() const { return false; }
bool MarnovexTemplateAudioProcessor::isMidiEffect() const { return false; }
bool MarnovexTemplateAudioProcessor::hasEditor() const { return true; }

juce::AudioProcessorEditor* MarnovexTemplateAudioProcessor::createEditor()
{
    return new MarnovexTemplateAudioProcessorEditor (*this);
}

int MarnovexTemplateAudioProcessor::getNumPrograms() { return 1; }
int MarnovexTemplateAudioProcessor::getCurrentProgram() { return 0; }
void MarnovexTemplateAudioProcessor::setCurrentProgram (int) {}
const juce::String MarnovexTemplateAudioProcessor::getProgramName (int) { return {}; }
void MarnovexTemplateAudioProcessor::changeProgramName (int, const juce::String&) {}

bool MarnovexTemplateAudioProcessor::isBusesLayoutSupported (const BusesLayout& layouts) const
{
    const auto in = layouts.getMainInputChannelSet();
    const auto out = layouts.getMainOutputChannelSet();
    const auto mono = juce::AudioChannelSet::mono();
    const auto stereo = juce::AudioChannelSet::stereo();

    return (in == mono && out == mono)
        || (in == mono && out == stereo)
        || (in == stereo && out == stereo);
}

//==============================================================================
void MarnovexTemplateAudioProcessor::releaseBuffers() noexcept
{
    for (float** b : { &dryLeft, &dryRight, &sendLeft, &sendRight, &wetLeft, &wetRight, &outLeft, &outRight, &meterBuffer,
                       &overlapValues, &intensityValues, &feedbackValues, &sendValues, &returnValues, &mixValues })
    {
        delete[] *b;
        *b = nullptr;
    }
    preparedBlockSize = 0;
}

void MarnovexTemplateAudioProcessor::prepareToPlay (double sampleRate, int samplesPerBlock)
{
    releaseBuffers();
    const auto size = (size_t) juce::jmax (0, samplesPerBlock);

    for (float** b : { &dryLeft, &dryRight, &sendLeft, &sendRight, &wetLeft, &wetRight, &outLeft, &outRight, &meterBuffer })
        *b = new float[size];
    waveformLevel.store (0.0f);
    for (float** b : { &overlapValues, &intensityValues, &feedbackValues, &sendValues, &returnValues, &mixValues })
        *b = new float[size];
    preparedBlockSize = (int) size;

    const float sr = (float) sampleRate;
    for (auto* s : { &overlapSmoother, &intensitySmoother, &feedbackSmoother, &sendSmoother, &returnSmoother, &mixSmoother })
        s->prepare (sr);

    reverser.prepare (sampleRate);
    levelFollower.prepare (sr);
}

void MarnovexTemplateAudioProcessor::releaseResources()
{
    // Buffers stay until the next prepareToPlay or destruction.
}

void MarnovexTemplateAudioProcessor::reset()
{
    for (auto* s : { &overlapSmoother, &intensitySmoother, &feedbackSmoother, &sendSmoother, &returnSmoother, &mixSmoother })
        s->resetState = 0;
    reverser.clear();
    levelFollower.clear();
}

//==============================================================================
MarnovexTemplateAudioProcessor::HostPosition MarnovexTemplateAudioProcessor::readHostPosition() noexcept
{
    HostPosition position;
    auto* hostPlayHead = getPlayHead();
    if (hostPlayHead == nullptr)
        return position;

    const auto info = hostPlayHead->getPosition();
    if (! info.hasValue())
        return position;

    position.barStart = info->getPpqPositionOfLastBarStart().orFallback (0.0);
    position.ppq = info->getPpqPosition().orFallback (0.0);
    position.bpm = info->getBpm().orFallback (120.0);
    position.timeInSamples = info->getTimeInSamples().orFallback (0);
    position.playing = info->getIsPlaying();
    return position;
}

double MarnovexTemplateAudioProcessor::computeSegmentLength (int timeN, int timeD) const noexcept
{
    const float wholeNotes = (float) timeN / (float) timeD;
    return (double) wholeNotes * 240.0 * getSampleRate() / (double) hostBpm.load();
}

void MarnovexTemplateAudioProcessor::syncToHostTransport (const HostPosition& position, double segmentLength, int numSamples) noexcept
{
    const double jump = (double) position.timeInSamples - ((double) numSamples + lastTimeInSamples);
    if (! wasPlaying || position.bpm != lastBpm || segmentLength != lastSegmentLength || jump > 1.0 || ! (jump >= -1.0))
        needsResync = true;

    wasPlaying = true;
    lastBpm = position.bpm;
    lastSegmentLength = segmentLength;
    lastTimeInSamples = (double) position.timeInSamples;

    if (! needsResync)
        return;

    // A tempo that is not positive and finite, or bar positions that are not
    // finite, give no usable bar grid: keep the request for a later block.
    const double wholeNote = reverser.sampleRate * 240.0 / position.bpm;
    double p = (position.ppq - position.barStart) * 0.25 * wholeNote;
    if (! (wholeNote > 0.0) || ! std::isfinite (wholeNote) || ! std::isfinite (p))
        return;

    if (p < -kMaxWholeNotesToStepBack * wholeNote)
        p = std::fmod (p, wholeNote);
    while (p < 0.0)
        p += wholeNote;

    for (auto* channel : { &reverser.left, &reverser.right })
    {
        channel->resyncPending = true;
        channel->resyncPosition = p;
    }
    needsResync = false;
}

void MarnovexTemplateAudioProcessor::mixToOutput (float* out, const float* wet, const float* dry, int numSamples) const noexcept
{
    for (int i = 0; i < numSamples; ++i)
        out[i] = (returnValues[i] * wet[i] - dry[i]) * mixValues[i] + dry[i];
}

void MarnovexTemplateAudioProcessor::processBlock (juce::AudioBuffer<float>& buffer, juce::MidiBuffer&)
{
    juce::ScopedNoDenormals noDenormals;

    const int n = buffer.getNumSamples();
    const int ins = getTotalNumInputChannels();
    const int outs = getTotalNumOutputChannels();

    for (int ch = ins; ch < outs; ++ch)
        buffer.clear (ch, 0, n);

    // Host contract: prepared, and no block larger than prepared. A host that
    // breaks it hears the dry signal rather than memory outside the buffers.
    if (dryLeft == nullptr || n > preparedBlockSize || buffer.getNumChannels() < 1)
        return;

    std::copy_n (buffer.getReadPointer (0), n, dryLeft);
    if (ins > 1)
        std::copy_n (buffer.getReadPointer (1), n, dryRight);
    else if (outs >= 2)
        std::copy_n (dryLeft, n, dryRight);

    const int timeN = (int) rawValues.timeN->load();
    const int timeD = (int) rawValues.timeD->load();
    const float overlapTarget = 0.02f * rawValues.overlap->load();
    const int curve = (int) rawValues.curve->load();
    const float intensityTarget = 0.01f * rawValues.intensity->load();
    const float feedbackTarget = 0.01f * rawValues.feedback->load();
    const float sendTarget = 0.01f * rawValues.send->load();
    const float returnTarget = 0.01f * rawValues.ret->load();
    const float mixTarget = 0.01f * rawValues.mix->load();

    overlapSmoother.process (overlapTarget, overlapValues, n);
    intensitySmoother.process (intensityTarget, intensityValues, n);
    feedbackSmoother.process (feedbackTarget, feedbackValues, n);
    sendSmoother.process (sendTarget, sendValues, n);
    returnSmoother.process (returnTarget, returnValues, n);
    mixSmoother.process (mixTarget, mixValues, n);

    const HostPosition position = readHostPosition();
    hostBpm.store ((float) position.bpm);

    const double segmentLength = computeSegmentLength (timeN, timeD);
    if (position.playing)
        syncToHostTransport (position, segmentLength, n);

    for (int i = 0; i < n; ++i)
        sendLeft[i] = sendValues[i] * dryLeft[i];

    if (outs >= 2)
    {
        for (int i = 0; i < n; ++i)
            sendRight[i] = sendValues[i] * dryRight[i];
        // Both channels in one pass: the same result as left, then right.
        reverser.processBlock (sendLeft, sendRight, segmentLength, overlapValues, feedbackValues, curve, intensityValues,
                               wetLeft, wetRight, n);
        for (int i = 0; i < n; ++i)
            meterBuffer[i] = (wetLeft[i] + wetRight[i]) * 0.5f;
    }
    else
    {
        reverser.left.processBlock (sendLeft, segmentLength, overlapValues, feedbackValues, curve, intensityValues, wetLeft, n);
        std::copy_n (wetLeft, n, meterBuffer);
    }

    levelFollower.process (meterBuffer, n);
    if (n > 0)
        waveformLevel.store (meterBuffer[0]);

    mixToOutput (outLeft, wetLeft, dryLeft, n);
    buffer.copyFrom (0, 0, outLeft, n);
    if (outs >= 2)
    {
        mixToOutput (outRight, wetRight, dryRight, n);
        buffer.copyFrom (1, 0, outRight, n);
    }
}

//==============================================================================
void MarnovexTemplateAudioProcessor::getStateInformation (juce::MemoryBlock& destData)
{
    juce::XmlElement root (kManufacturer);
    if (auto tree = presetManager.parameters.state.createXml())
        root.addChildElement (tree.release());
    root.setAttribute ("presetPath", presetManager.currentPresetPath);
    copyXmlToBinary (root, destData);
}

void MarnovexTemplateAudioProcessor::setStateInformation (const void* data, int sizeInBytes)
{
    const auto xml = readStateXml (data, sizeInBytes);
    if (xml == nullptr || xml->getTagName() != kManufacturer)
        return;

    if (auto* stored = findChildIgnoringCase (*xml, presetManager.parameters.state.getType().toString()))
        presetManager.parameters.replaceState (parameterTreeFromXml (presetManager.parameters, *stored));

    const auto path = xml->getStringAttribute ("presetPath");
    if (path.isNotEmpty())
    {
        presetManager.currentPresetPath = path;
        presetManager.sendChangeMessage();
    }
}

//==============================================================================
// The framework's plug-in client creates every instance through this.
juce::AudioProcessor* JUCE_CALLTYPE createPluginFilter()
{
    return new MarnovexTemplateAudioProcessor();
}
