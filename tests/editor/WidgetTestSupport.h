#pragma once

// Helpers shared by the editor tests: what the host sees of a processor's
// parameters, mouse gestures sent through a component's real handlers, and
// pixel checks on rendered images.

#include <gtest/gtest.h>
#include <juce_audio_processors/juce_audio_processors.h>
#include <juce_gui_basics/juce_gui_basics.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

namespace vorn::test
{
using HostLog = std::vector<std::string>;

// Records what a host learns about a processor's parameters, in order, as
// "begin Mix", "value Mix", "end Mix". Attached the way the plug-in client
// attaches: as the processor's listener. Read it only while no other thread
// can change a parameter.
struct HostRecorder : private juce::AudioProcessorListener
{
    explicit HostRecorder (juce::AudioProcessor& processorToWatch) : processor (processorToWatch) { processor.addListener (this); }
    ~HostRecorder() override { processor.removeListener (this); }

    juce::AudioProcessor& processor;
    HostLog log;
    int callsOffMessageThread = 0;

private:
    void audioProcessorParameterChanged (juce::AudioProcessor*, int index, float) override { add ("value ", index); }
    void audioProcessorParameterChangeGestureBegin (juce::AudioProcessor*, int index) override { add ("begin ", index); }
    void audioProcessorParameterChangeGestureEnd (juce::AudioProcessor*, int index) override { add ("end ", index); }
    void audioProcessorChanged (juce::AudioProcessor*, const ChangeDetails&) override {}

    void add (const char* kind, int index)
    {
        callsOffMessageThread += juce::MessageManager::existsAndIsCurrentThread() ? 0 : 1;
        auto* withID = dynamic_cast<juce::AudioProcessorParameterWithID*> (processor.getParameters()[index]);
        log.push_back (kind + (withID != nullptr ? withID->getParameterID().toStdString() : std::string()));
    }
};

// What the host sees of one gesture on `parameterID` with `values` value changes inside it.
inline HostLog oneGesture (const juce::String& parameterID, int values)
{
    const auto id = parameterID.toStdString();
    HostLog lines { "begin " + id };
    lines.insert (lines.end(), (size_t) values, "value " + id);
    lines.push_back ("end " + id);
    return lines;
}

inline HostLog operator+ (HostLog first, const HostLog& second)
{
    first.insert (first.end(), second.begin(), second.end());
    return first;
}

// Sends one press, its drags and its release straight to a component's
// mouse handlers, with events built from the desktop's main mouse source.
// Positions are in the component's own coordinates. Events are stamped from
// the gesture's own clock, one millisecond apart, so a slow machine (or a
// sanitizer build) never stretches a double-click past the framework's limit.
class MouseGesture
{
public:
    explicit MouseGesture (juce::Component& target) : component (target) {}

    void press (juce::Point<float> position, juce::ModifierKeys modifiers = {}, int numberOfClicks = 1)
    {
        downPosition = last = position;
        downTime = now();
        clicks = numberOfClicks;
        buttons = modifiers.withFlags (juce::ModifierKeys::leftButtonModifier);
        component.mouseDown (event (position, buttons, false));
    }

    void dragTo (juce::Point<float> position, juce::ModifierKeys keys = {})
    {
        component.mouseDrag (event (position, keys.withFlags (juce::ModifierKeys::leftButtonModifier), true));
        last = position;
    }

    // Drags vertically by `totalPixels` (positive: up) in steps of `stepPixels`.
    void dragUp (float totalPixels, float stepPixels = 1.0f, juce::ModifierKeys keys = {})
    {
        const auto start = last;
        const auto steps = (int) std::lround (std::abs (totalPixels) / stepPixels);
        const auto direction = totalPixels >= 0.0f ? -1.0f : 1.0f;

        for (int i = 1; i <= steps; ++i)
            dragTo ({ start.x, start.y + direction * stepPixels * (float) i }, keys);
    }

    void release() { component.mouseUp (event (last, buttons.withoutMouseButtons(), true)); }

    // Lets `time` pass on the events' clock, without sleeping.
    void wait (juce::RelativeTime time) { clock += time; }

    // Press then release at once: one click of a (possibly multiple) click.
    void click (juce::Point<float> position, juce::ModifierKeys modifiers = {}, int numberOfClicks = 1)
    {
        press (position, modifiers, numberOfClicks);
        release();
    }

private:
    juce::MouseEvent event (juce::Point<float> position, juce::ModifierKeys modifiers, bool dragged)
    {
        using Source = juce::MouseInputSource;
        return juce::MouseEvent (juce::Desktop::getInstance().getMainMouseSource(), position, modifiers,
                                 Source::defaultPressure, Source::defaultOrientation, Source::defaultRotation,
                                 Source::defaultTiltX, Source::defaultTiltY, &component, &component,
                                 now(), downPosition, downTime, clicks, dragged);
    }

    juce::Time now()
    {
        clock += juce::RelativeTime::milliseconds (1);
        return clock;
    }

    juce::Component& component;
    juce::Point<float> downPosition, last;
    juce::Time downTime, clock = juce::Time::getCurrentTime();
    juce::ModifierKeys buttons;
    int clicks = 1;
};

// Presses at `from`, drags up in steps of `step` pixels as far as
// `maxPixels` and releases; returns the travel at each change of `value`.
inline std::vector<float> travelsAtChanges (MouseGesture& mouse, juce::Point<float> from, float step, float maxPixels,
                                            const std::function<float()>& value, juce::ModifierKeys keys = {})
{
    std::vector<float> travels;
    mouse.press (from, keys);
    auto last = value();
    for (int i = 1; step * (float) i <= maxPixels; ++i)
    {
        mouse.dragTo ({ from.x, from.y - step * (float) i }, keys);
        const auto now = value();
        if (now != last)
            travels.push_back (step * (float) i);
        last = now;
    }
    mouse.release();
    return travels;
}

// Sends a mouse event through the component's window, as the windowing
// system would: the desktop's mouse source then really has the button down
// over the component. The component must be on the desktop.
inline void sendThroughPeer (juce::Component& component, juce::Point<float> position, juce::ModifierKeys modifiers)
{
    auto* peer = component.getPeer();
    ASSERT_NE (peer, nullptr);
    peer->handleMouseEvent (juce::MouseInputSource::InputSourceType::mouse, position, modifiers,
                            juce::MouseInputSource::defaultPressure, juce::MouseInputSource::defaultOrientation,
                            juce::Time::currentTimeMillis());
}

inline int alphaAt (const juce::Image& image, int x, int y)
{
    return image.getPixelAt (x, y).getAlpha();
}

// True when the pixel is at least half covered and has the colour's RGB.
// Partly covered pixels lose a little precision when un-premultiplied.
inline bool isInked (const juce::Image& image, int x, int y, juce::Colour expected)
{
    const auto pixel = image.getPixelAt (x, y);
    const auto near = [] (juce::uint8 a, juce::uint8 b) { return std::abs ((int) a - (int) b) <= 2; };
    return pixel.getAlpha() >= 128 && near (pixel.getRed(), expected.getRed()) && near (pixel.getGreen(), expected.getGreen())
           && near (pixel.getBlue(), expected.getBlue());
}

// Every one of the points is inked in `colour`, or, for a transparent colour, empty.
inline ::testing::AssertionResult pixelsAre (const juce::Image& image, std::initializer_list<juce::Point<int>> points, juce::Colour colour)
{
    for (const auto& p : points)
        if (colour.isTransparent() ? alphaAt (image, p.x, p.y) != 0 : ! isInked (image, p.x, p.y, colour))
            return ::testing::AssertionFailure() << "at " << p.toString();
    return ::testing::AssertionSuccess();
}

// Every fully covered pixel has exactly this colour, and there is at least one.
inline ::testing::AssertionResult opaquePixelsHaveColour (const juce::Image& image, juce::Colour colour)
{
    int opaque = 0;
    for (int y = 0; y < image.getHeight(); ++y)
        for (int x = 0; x < image.getWidth(); ++x)
        {
            if (alphaAt (image, x, y) < 255)
                continue;
            if (image.getPixelAt (x, y) != colour.withAlpha ((juce::uint8) 255))
                return ::testing::AssertionFailure() << "pixel " << x << "," << y << " is "
                                                     << image.getPixelAt (x, y).toDisplayString (true);
            ++opaque;
        }
    return opaque > 0 ? ::testing::AssertionSuccess() : ::testing::AssertionFailure() << "nothing drawn";
}

// Bounds of the pixels inside `area` that `isPart` accepts (empty when none).
template <typename Predicate>
juce::Rectangle<int> boundsOfPixels (juce::Rectangle<int> area, Predicate&& isPart)
{
    juce::Rectangle<int> bounds;
    for (int y = area.getY(); y < area.getBottom(); ++y)
        for (int x = area.getX(); x < area.getRight(); ++x)
            if (isPart (x, y))
                bounds = bounds.isEmpty() ? juce::Rectangle<int> (x, y, 1, 1) : bounds.getUnion ({ x, y, 1, 1 });
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

// The path stroked `thickness` wide with rounded ends and joints, in `colour`,
// on a transparent image of that size.
inline juce::Image strokedPath (const juce::Path& path, float thickness, juce::Colour colour, int width, int height)
{
    juce::Image image (juce::Image::ARGB, width, height, true);
    juce::Graphics g (image);
    g.setColour (colour);
    g.strokePath (path, juce::PathStrokeType (thickness, juce::PathStrokeType::curved, juce::PathStrokeType::rounded));
    return image;
}
} // namespace vorn::test
