#pragma once

// Helpers shared by the editor tests: what the host sees of a processor's
// parameters, mouse gestures sent through a component's real handlers, and
// pixel checks on rendered images.

#include <gtest/gtest.h>
#include <juce_audio_processors/juce_audio_processors.h>
#include <juce_gui_basics/juce_gui_basics.h>

#include <cmath>
#include <mutex>
#include <string>
#include <vector>

namespace vorn::test
{
// Records what a host learns about a processor's parameters: gesture begins
// and ends and value changes, in order, with the parameter's ID and whether
// the call came on the message thread. Attach it the way the plug-in client
// does, as the processor's listener.
class HostRecorder : private juce::AudioProcessorListener
{
public:
    enum class Kind
    {
        begin,
        value,
        end
    };

    struct Event
    {
        Kind kind;
        juce::String parameterID;
        float normalisedValue; // for value events only
        bool onMessageThread;
    };

    explicit HostRecorder (juce::AudioProcessor& processorToWatch)
        : processor (processorToWatch)
    {
        processor.addListener (this);
    }

    ~HostRecorder() override { processor.removeListener (this); }

    std::vector<Event> events() const
    {
        std::lock_guard<std::mutex> lock (mutex);
        return recorded;
    }

    void clear()
    {
        std::lock_guard<std::mutex> lock (mutex);
        recorded.clear();
    }

    // How many events of this kind the parameter had (any parameter when the ID is empty).
    int count (Kind kind, const juce::String& parameterID = {}) const
    {
        int n = 0;
        for (const auto& event : events())
            n += (event.kind == kind && (parameterID.isEmpty() || event.parameterID == parameterID)) ? 1 : 0;
        return n;
    }

    // The events as "begin Mix", "value Mix", "end Mix", for whole-sequence checks.
    std::vector<std::string> summary() const
    {
        static const char* const names[] = { "begin ", "value ", "end " };
        std::vector<std::string> lines;
        for (const auto& event : events())
            lines.push_back (names[(int) event.kind] + event.parameterID.toStdString());
        return lines;
    }

private:
    void audioProcessorParameterChanged (juce::AudioProcessor*, int index, float newValue) override
    {
        add (Kind::value, index, newValue);
    }

    void audioProcessorParameterChangeGestureBegin (juce::AudioProcessor*, int index) override { add (Kind::begin, index, 0.0f); }
    void audioProcessorParameterChangeGestureEnd (juce::AudioProcessor*, int index) override { add (Kind::end, index, 0.0f); }
    void audioProcessorChanged (juce::AudioProcessor*, const ChangeDetails&) override {}

    void add (Kind kind, int index, float value)
    {
        juce::String id;
        if (auto* withID = dynamic_cast<juce::AudioProcessorParameterWithID*> (processor.getParameters()[index]))
            id = withID->getParameterID();

        const auto onMessageThread = juce::MessageManager::existsAndIsCurrentThread();
        std::lock_guard<std::mutex> lock (mutex);
        recorded.push_back ({ kind, id, value, onMessageThread });
    }

    juce::AudioProcessor& processor;
    mutable std::mutex mutex;
    std::vector<Event> recorded;
};

// Sends one press, its drags and its release straight to a component's
// mouse handlers, with events built from the desktop's main mouse source.
// Positions are in the component's own coordinates.
class MouseGesture
{
public:
    explicit MouseGesture (juce::Component& target)
        : component (target)
    {
    }

    void press (juce::Point<float> position, juce::ModifierKeys modifiers = {}, int numberOfClicks = 1)
    {
        downPosition = position;
        downTime = juce::Time::getCurrentTime();
        clicks = numberOfClicks;
        buttons = modifiers.withFlags (juce::ModifierKeys::leftButtonModifier);
        component.mouseDown (event (position, buttons, false));
    }

    void dragTo (juce::Point<float> position, juce::ModifierKeys keys = {})
    {
        const auto modifiers = keys.withFlags (juce::ModifierKeys::leftButtonModifier);
        component.mouseDrag (event (position, modifiers, true));
        last = position;
    }

    // Drags vertically by `totalPixels` (positive: up) in steps of `stepPixels`.
    void dragUp (float totalPixels, float stepPixels = 1.0f, juce::ModifierKeys keys = {})
    {
        auto position = last;
        const auto steps = (int) std::lround (std::abs (totalPixels) / stepPixels);
        const auto direction = totalPixels >= 0.0f ? -1.0f : 1.0f;

        for (int i = 1; i <= steps; ++i)
            dragTo ({ position.x, position.y + direction * stepPixels * (float) i }, keys);
    }

    void release()
    {
        component.mouseUp (event (last, buttons.withoutMouseButtons(), true));
    }

    // Press then release at once: one click of a (possibly multiple) click.
    void click (juce::Point<float> position, juce::ModifierKeys modifiers = {}, int numberOfClicks = 1)
    {
        press (position, modifiers, numberOfClicks);
        release();
    }

private:
    juce::MouseEvent event (juce::Point<float> position, juce::ModifierKeys modifiers, bool dragged)
    {
        if (! dragged)
            last = position;

        return juce::MouseEvent (juce::Desktop::getInstance().getMainMouseSource(),
                                 position,
                                 modifiers,
                                 juce::MouseInputSource::defaultPressure,
                                 juce::MouseInputSource::defaultOrientation,
                                 juce::MouseInputSource::defaultRotation,
                                 juce::MouseInputSource::defaultTiltX,
                                 juce::MouseInputSource::defaultTiltY,
                                 &component,
                                 &component,
                                 juce::Time::getCurrentTime(),
                                 downPosition,
                                 downTime,
                                 clicks,
                                 dragged);
    }

    juce::Component& component;
    juce::Point<float> downPosition, last;
    juce::Time downTime;
    juce::ModifierKeys buttons;
    int clicks = 1;
};

// Sends a mouse event through the component's window, as the windowing
// system would: the desktop's mouse source then really has the button down
// over the component. The component must be on the desktop.
inline void sendThroughPeer (juce::Component& component, juce::Point<float> position, juce::ModifierKeys modifiers)
{
    auto* peer = component.getPeer();
    ASSERT_NE (peer, nullptr);
    peer->handleMouseEvent (juce::MouseInputSource::InputSourceType::mouse,
                            position,
                            modifiers,
                            juce::MouseInputSource::defaultPressure,
                            juce::MouseInputSource::defaultOrientation,
                            juce::Time::currentTimeMillis());
}

// Pixel colour of a rendered image with its alpha set aside. Partly covered
// pixels lose a little precision when un-premultiplied, hence the tolerance.
inline bool hasRgbOf (const juce::Image& image, int x, int y, juce::Colour expected, int tolerance = 2)
{
    const auto pixel = image.getPixelAt (x, y);
    const auto near = [tolerance] (juce::uint8 a, juce::uint8 b) { return std::abs ((int) a - (int) b) <= tolerance; };
    return near (pixel.getRed(), expected.getRed()) && near (pixel.getGreen(), expected.getGreen())
           && near (pixel.getBlue(), expected.getBlue());
}

// True when the pixel is at least half covered and has the colour's RGB.
inline bool isInked (const juce::Image& image, int x, int y, juce::Colour expected)
{
    return image.getPixelAt (x, y).getAlpha() >= 128 && hasRgbOf (image, x, y, expected);
}

inline int alphaAt (const juce::Image& image, int x, int y)
{
    return image.getPixelAt (x, y).getAlpha();
}

// Bounds of the pixels inside `area` that `isPart` accepts (empty when none).
template <typename Predicate>
juce::Rectangle<int> boundsOfPixels (juce::Rectangle<int> area, Predicate&& isPart)
{
    juce::Rectangle<int> bounds;
    bool any = false;

    for (int y = area.getY(); y < area.getBottom(); ++y)
        for (int x = area.getX(); x < area.getRight(); ++x)
            if (isPart (x, y))
            {
                const juce::Rectangle<int> pixel (x, y, 1, 1);
                bounds = any ? bounds.getUnion (pixel) : pixel;
                any = true;
            }

    return bounds;
}

// Bounds of the pixels with any ink inside `area` (empty when none).
inline juce::Rectangle<int> inkBounds (const juce::Image& image, juce::Rectangle<int> area)
{
    return boundsOfPixels (area.getIntersection (image.getBounds()), [&image] (int x, int y) { return alphaAt (image, x, y) > 0; });
}

inline juce::Rectangle<int> inkBounds (const juce::Image& image)
{
    return inkBounds (image, image.getBounds());
}

// Bounds of the pixels where two images of the same size differ (empty when none).
inline juce::Rectangle<int> differenceBounds (const juce::Image& a, const juce::Image& b)
{
    return boundsOfPixels (a.getBounds(), [&a, &b] (int x, int y) { return a.getPixelAt (x, y) != b.getPixelAt (x, y); });
}
} // namespace vorn::test
