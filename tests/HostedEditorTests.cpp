// The plug-in window opened the way a host opens it: through the built VST3
// module, embedded in a host window on the X display, while audio runs on a
// thread of its own.

#include "HostedPlugin.h"
#include "TestDisplay.h"
#include "editor/WindowTestSupport.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <atomic>
#include <malloc.h>
#include <cmath>
#include <unistd.h>
#include <thread>

#if defined(__SANITIZE_ADDRESS__)
 #include <sanitizer/lsan_interface.h>
 #define VORN_LEAK_CHECK 1
#else
 #define VORN_LEAK_CHECK 0
#endif

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
 #define VORN_SANITIZED 1
#else
 #define VORN_SANITIZED 0
#endif

using namespace vorn::test;

namespace
{
// A host's audio thread: plays a steady signal through the instance, block
// after block, automating "Mix" and "Curve" the way a host's automation lane
// does, until stopped. The play head belongs to this thread alone.
class AudioThread
{
public:
    explicit AudioThread (juce::AudioPluginInstance& p) : plugin (p)
    {
        playHead.playing = true;
        plugin.setPlayHead (&playHead);
        HostedPlugin::prepare (plugin, kSampleRate, kBlockSize);
        mix = HostedPlugin::findParameter (plugin, "Mix");
        curve = HostedPlugin::findParameter (plugin, "Curve");
        thread = std::thread ([this] { run(); });
    }

    ~AudioThread()
    {
        stop = true;
        thread.join();
        plugin.releaseResources();
        plugin.setPlayHead (nullptr);
    }

    std::atomic<int> blocks { 0 };

private:
    static constexpr double kSampleRate = 48000.0;
    static constexpr int kBlockSize = 512;

    void run()
    {
        juce::AudioBuffer<float> audio (2, kBlockSize);
        juce::MidiBuffer midi;
        for (int block = 0; ! stop; ++block)
        {
            for (int i = 0; i < kBlockSize; ++i)
            {
                const auto sample = 0.5f * (float) std::sin (0.05 * (double) (block * kBlockSize + i));
                audio.setSample (0, i, sample);
                audio.setSample (1, i, -sample);
            }
            if (mix != nullptr && curve != nullptr)
            {
                mix->setValue ((float) (block % 100) / 100.0f);
                curve->setValue ((float) (block / 50 % 12) / 11.0f);
            }

            midi.clear();
            plugin.processBlock (audio, midi);
            playHead.advance (kBlockSize, kSampleRate);
            ++blocks;

            // About a host's pace, leaving the message thread room to run.
            std::this_thread::sleep_for (std::chrono::milliseconds (2));
        }
    }

    juce::AudioPluginInstance& plugin;
    SettablePlayHead playHead;
    juce::AudioProcessorParameter* mix = nullptr;
    juce::AudioProcessorParameter* curve = nullptr;
    std::atomic<bool> stop { false };
    std::thread thread;
};

// The pixel the X server shows at (x, y) of a window, as 0xRRGGBB. Windows of
// tests running beside this one may cover it, so it is raised first.
juce::uint32 screenPixel (::Window window, int x, int y)
{
    auto* display = XOpenDisplay (nullptr);
    if (display == nullptr)
        return 0xFFFFFFFF;

    XRaiseWindow (display, window);
    XSync (display, False);

    juce::uint32 rgb = 0xFFFFFFFF;
    if (auto* image = XGetImage (display, window, x, y, 1, 1, AllPlanes, ZPixmap))
    {
        rgb = (juce::uint32) XGetPixel (image, 0, 0) & 0xFFFFFFu;
        XDestroyImage (image);
    }
    XCloseDisplay (display);
    return rgb;
}

int residentKilobytes()
{
    const auto fields = juce::StringArray::fromTokens (juce::File ("/proc/self/statm").loadFileAsString(), false);
    return fields.size() > 1 ? fields[1].getIntValue() * (int) (sysconf (_SC_PAGESIZE) / 1024) : 0;
}

class HostedEditor : public DisplayTest
{
protected:
    // Opens the hosted instance's editor on the desktop, as a host's window,
    // and lets both message loops settle so the plug-in has drawn.
    static std::unique_ptr<juce::AudioProcessorEditor> openEditor (juce::AudioPluginInstance& plugin)
    {
        std::unique_ptr<juce::AudioProcessorEditor> editor (plugin.createEditorIfNeeded());
        if (editor != nullptr)
        {
            editor->addToDesktop (0);
            editor->setVisible (true);
            deliverPendingMessages();
        }
        return editor;
    }

    ScopedHome home; // the module's settings file is a private one too
};

TEST_F (HostedEditor, OpensAtTheStoredZoomWithTheDesignSizeScaled)
{
    const std::pair<juce::String, juce::Rectangle<int>> cases[] = {
        { "1.1", { 649, 363 } },
        { "0.999999821", { 589, 329 } },
        { "2.5", { 1180, 660 } },
    };

    for (const auto& [stored, expected] : cases)
    {
        SCOPED_TRACE ("stored " + stored);
        home.writeStoredScale (stored);
        auto plugin = HostedPlugin::load();
        ASSERT_NE (plugin, nullptr);

        auto editor = openEditor (*plugin);
        ASSERT_NE (editor, nullptr);
        ASSERT_TRUE (runMessageLoopUntil ([&] { return editor->getLocalBounds() == expected; }, 5000))
            << "host window is " << editor->getLocalBounds().toString();

        // The plug-in's own drawing, read back from the X server: background
        // at the top, a red knob disc at the Mix knob's centre, scaled.
        const auto scale = (float) expected.getWidth() / 590.0f;
        const auto window = (::Window) editor->getPeer()->getNativeHandle();
        const auto at = [scale] (float design) { return (int) std::lround (design * scale); };
        const auto drawn = [&]
        {
            return screenPixel (window, at (535), at (243)) == 0xE65758u && screenPixel (window, at (300), at (8)) == 0x2A2A2Au;
        };
        EXPECT_TRUE (runMessageLoopUntil (drawn, 5000))
            << std::hex << screenPixel (window, at (535), at (243)) << ", " << screenPixel (window, at (300), at (8));

        // Deleted while still on the desktop, as hosts do.
        editor.reset();
    }
}

TEST_F (HostedEditor, ReopeningFiftyTimesWhileAudioRunsCrashesNothingAndKeepsNoMemory)
{
    auto plugin = HostedPlugin::load();
    ASSERT_NE (plugin, nullptr);
    AudioThread audio (*plugin);

    const auto openAndClose = [&]
    {
        auto editor = openEditor (*plugin);
        ASSERT_NE (editor, nullptr);
        EXPECT_EQ (editor->getLocalBounds(), juce::Rectangle<int> (590, 330));
        // Long enough for the window's timer to tick against the running audio.
        juce::MessageManager::getInstance()->runDispatchLoopUntil (70);
    };

    {
        // The first windows fill the caches that live as long as the module
        // and the display connection (fonts, glyphs, X resources): not leaks.
       #if VORN_LEAK_CHECK
        __lsan::ScopedDisabler cachesAreNotLeaks;
       #endif
        for (int i = 0; i < 20; ++i)
            openAndClose();
    }

    // Freed memory handed back first, so that only what stays in use counts.
    malloc_trim (0);
    const auto blocksBefore = audio.blocks.load();
    const auto residentBefore = residentKilobytes();
    for (int i = 0; i < 50; ++i)
    {
        SCOPED_TRACE ("cycle " + juce::String (i + 1));
        openAndClose();
    }
    deliverPendingMessages();

    EXPECT_GT (audio.blocks.load() - blocksBefore, 100) << "the audio thread ran alongside";

   #if VORN_LEAK_CHECK
    EXPECT_EQ (__lsan_do_recoverable_leak_check(), 0) << "LeakSanitizer reported leaks (see its report above)";
   #endif
   #if ! VORN_SANITIZED
    // Sanitizers keep freed memory aside, so only a plain build can tell. The
    // allocator's own bookkeeping still settles for a while (a few hundred kB
    // here): the bound is for memory kept per window, which adds up.
    malloc_trim (0);
    const auto grownKilobytes = residentKilobytes() - residentBefore;
    EXPECT_LT (grownKilobytes, 1024) << "resident memory grew by " << grownKilobytes << " kB over 50 windows";
   #else
    juce::ignoreUnused (residentBefore);
   #endif
}
} // namespace
