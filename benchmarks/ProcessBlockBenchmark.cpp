// Throughput of the audio callback against a plain interpolating delay line.
//
// Both benchmarks process the same stereo 48 kHz stream in blocks of 512
// samples and report "xRealTime": seconds of audio processed per second of
// CPU time. Run by hand, never from ctest:
//   VornBenchmarks --benchmark_repetitions=5 --benchmark_report_aggregates_only=true

#include <benchmark/benchmark.h>
#include <juce_dsp/juce_dsp.h>

#include "Marnovex_ParameterIDs.h"
#include "PluginProcessor.h"

#include <cmath>
#include <cstdint>

namespace
{
constexpr double kSampleRate = 48000.0;
constexpr int kBlockSize = 512;
constexpr int kNumChannels = 2;

// A sine on the left, white noise on the right, precomputed for a little over
// a second and played in a loop so the timed loops only copy it in.
class TestSignal
{
public:
    static constexpr int kNumBlocks = 97;

    TestSignal()
    {
        auto* l = source.getWritePointer (0);
        auto* r = source.getWritePointer (1);
        uint32_t noise = 0x12345678u;
        for (int i = 0; i < source.getNumSamples(); ++i)
        {
            l[i] = 0.5f * (float) std::sin (2.0 * 3.141592653589793 * 220.0 * i / kSampleRate);
            noise = noise * 1664525u + 1013904223u;
            r[i] = 0.25f * ((float) (noise >> 8) * (1.0f / 8388608.0f) - 1.0f);
        }
    }

    void copyNextBlock (juce::AudioBuffer<float>& buffer) noexcept
    {
        for (int ch = 0; ch < kNumChannels; ++ch)
            buffer.copyFrom (ch, 0, source, ch, block * kBlockSize, kBlockSize);
        block = block + 1 == kNumBlocks ? 0 : block + 1;
    }

private:
    juce::AudioBuffer<float> source { kNumChannels, kNumBlocks * kBlockSize };
    int block = 0;
};

void setParameter (MarnovexTemplateAudioProcessor& processor, const juce::String& id, float plainValue)
{
    auto* parameter = processor.parameters.getParameter (id);
    parameter->setValueNotifyingHost (parameter->convertTo0to1 (plainValue));
}

void reportRealTimeFactor (benchmark::State& state)
{
    // kIsRate divides by the measured CPU time: audio seconds per CPU second.
    const double audioSeconds = (double) state.iterations() * kBlockSize / kSampleRate;
    state.counters["xRealTime"] = benchmark::Counter (audioSeconds, benchmark::Counter::kIsRate);
}

// The whole callback with every head busy: Time 1/4 at 120 BPM (no play head,
// so the processor's default tempo), Overlap at its maximum of 50 %,
// Feedback 50 %, Intensity 100 %, one of the two sine curves.
void BM_ProcessBlock (benchmark::State& state)
{
    MarnovexTemplateAudioProcessor processor;
    processor.setPlayConfigDetails (kNumChannels, kNumChannels, kSampleRate, kBlockSize);
    setParameter (processor, marnovex::kParameter_TimeN, 1.0f);
    setParameter (processor, marnovex::kParameter_TimeD, 4.0f);
    setParameter (processor, marnovex::kParameter_Overlap, 50.0f);
    setParameter (processor, marnovex::kParameter_Feedback, 50.0f);
    setParameter (processor, marnovex::kParameter_Intensity, 100.0f);
    setParameter (processor, marnovex::kParameter_Curve, (float) state.range (0));
    processor.prepareToPlay (kSampleRate, kBlockSize);
    processor.reset();

    TestSignal signal;
    juce::AudioBuffer<float> buffer (kNumChannels, kBlockSize);
    juce::MidiBuffer midi;

    // Run two segments first so both heads and the feedback tap read recorded audio.
    for (int i = 0; i < 2 * 24000 / kBlockSize + 1; ++i)
    {
        signal.copyNextBlock (buffer);
        processor.processBlock (buffer, midi);
    }

    for (auto _ : state)
    {
        signal.copyNextBlock (buffer);
        processor.processBlock (buffer, midi);
        benchmark::DoNotOptimize (buffer.getReadPointer (0));
        benchmark::ClobberMemory();
    }
    reportRealTimeFactor (state);
}

// Baseline: the framework's third-order Lagrange delay line on the same
// stream, with a fractional delay of a quarter note at 120 BPM plus half a sample.
void BM_LagrangeDelayBaseline (benchmark::State& state)
{
    juce::dsp::DelayLine<float, juce::dsp::DelayLineInterpolationTypes::Lagrange3rd> delay (96000);
    delay.prepare ({ kSampleRate, (juce::uint32) kBlockSize, (juce::uint32) kNumChannels });
    delay.setDelay (24000.5f);

    TestSignal signal;
    juce::AudioBuffer<float> buffer (kNumChannels, kBlockSize);

    for (auto _ : state)
    {
        signal.copyNextBlock (buffer);
        juce::dsp::AudioBlock<float> block (buffer);
        delay.process (juce::dsp::ProcessContextReplacing<float> (block));
        benchmark::DoNotOptimize (buffer.getReadPointer (0));
        benchmark::ClobberMemory();
    }
    reportRealTimeFactor (state);
}
} // namespace

BENCHMARK (BM_ProcessBlock)->ArgName ("curve")->Arg (0)->Arg (1);
BENCHMARK (BM_LagrangeDelayBaseline);

int main (int argc, char** argv)
{
    juce::ScopedJuceInitialiser_GUI juceInitialiser;
    benchmark::Initialize (&argc, argv);
    if (benchmark::ReportUnrecognizedArguments (argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
