// Cost of the open window on the message thread, run by hand:
//   VornEditorBenchmarks --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
//
// - BM_PaintWindow: the whole window painted into an image at zoom 1.0 and 2.0
//   (a full repaint, as after opening or zooming).
// - BM_TickAndCanvasPaint: one 33 ms timer tick (with a tempo change, so the
//   readout's text is rebuilt) plus painting the curve display it repaints,
//   at zoom 1.0: what the open window costs 30 times a second.

#include <benchmark/benchmark.h>
#include <juce_gui_basics/juce_gui_basics.h>

#include "Marnovex_ParameterIDs.h"
#include "PluginEditor.h"
#include "PluginProcessor.h"

#include <cmath>
#include <cstdlib>

namespace
{
// A window as a user sees it while sound plays: a wavy curve at full
// strength and a history of varying levels.
struct PlayingWindow
{
    explicit PlayingWindow (float scale)
    {
        setParameter (marnovex::kParameter_Curve, 9.0f);
        setParameter (marnovex::kParameter_Intensity, 100.0f);

        auto& canvas = editor.inner.canvas;
        for (int i = 0; i < canvas.historySize; ++i)
            canvas.history[i] = 0.5f + 0.5f * (float) std::sin (0.2 * i);
        processor.waveformLevel = 0.7f;

        editor.info.scale = scale;
        marnovex::applyScale (editor.info);
        editor.inner.timerCallback();
    }

    void setParameter (const juce::String& id, float plainValue)
    {
        auto* parameter = processor.parameters.getParameter (id);
        parameter->setValueNotifyingHost (parameter->convertTo0to1 (plainValue));
    }

    MarnovexTemplateAudioProcessor processor;
    MarnovexTemplateAudioProcessorEditor editor { processor };
};

void paintInto (juce::Image& image, juce::Component& component)
{
    juce::Graphics g (image);
    component.paintEntireComponent (g, true);
}

void BM_PaintWindow (benchmark::State& state)
{
    const auto scale = (float) state.range (0) / 10.0f;
    PlayingWindow window (scale);
    juce::Image image (juce::Image::ARGB, window.editor.getWidth(), window.editor.getHeight(), true);

    for (auto _ : state)
    {
        paintInto (image, window.editor);
        benchmark::DoNotOptimize (image.getPixelAt (300, 100));
    }
    state.SetLabel ((juce::String (window.editor.getWidth()) + " x " + juce::String (window.editor.getHeight())).toStdString());
}

void BM_TickAndCanvasPaint (benchmark::State& state)
{
    PlayingWindow window (1.0f);
    auto& inner = window.editor.inner;
    juce::Image image (juce::Image::ARGB, inner.canvas.getWidth(), inner.canvas.getHeight(), true);

    float bpm = 120.0f;
    for (auto _ : state)
    {
        bpm = bpm == 120.0f ? 121.0f : 120.0f;
        window.processor.hostBpm = bpm;
        inner.timerCallback();
        image.clear (image.getBounds());
        paintInto (image, inner.canvas);
        benchmark::DoNotOptimize (image.getPixelAt (290, 80));
    }
}
} // namespace

BENCHMARK (BM_PaintWindow)->ArgName ("zoomx10")->Arg (10)->Arg (20)->Unit (benchmark::kMillisecond);
BENCHMARK (BM_TickAndCanvasPaint)->Unit (benchmark::kMillisecond);

int main (int argc, char** argv)
{
    // A private, empty home: the window reads and writes no settings file of the user's.
    const auto home = juce::File::createTempFile ("vorn-editor-benchmark");
    home.createDirectory();
    setenv ("HOME", home.getFullPathName().toRawUTF8(), 1);

    int result = 0;
    {
        juce::ScopedJuceInitialiser_GUI juceInitialiser;
        benchmark::Initialize (&argc, argv);
        if (benchmark::ReportUnrecognizedArguments (argc, argv))
            result = 1;
        else
            benchmark::RunSpecifiedBenchmarks();
        benchmark::Shutdown();
    }
    home.deleteRecursively();
    return result;
}
