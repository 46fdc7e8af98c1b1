#pragma once

// Shared by the window tests: a private home folder for the settings file,
// the window's settings, and presses delivered through a window's peer.

#include <gtest/gtest.h>

#include "PluginEditor.h"
#include "PluginProcessor.h"
#include "StateTestSupport.h"

#include <cstdlib>
#include <optional>
#include <string>

namespace vorn::test
{
// Presses and releases the left button at `position` (in the top-level
// component's coordinates) through the component's peer, as the windowing
// system would: the press reaches whatever lies on top at that point.
inline void clickThroughPeer (juce::Component& topLevel, juce::Point<float> position)
{
    auto* peer = topLevel.getPeer();
    ASSERT_NE (peer, nullptr);

    // Far apart in time, so consecutive clicks never count as a double-click.
    static juce::int64 time = 0;
    time += 10000;

    using Source = juce::MouseInputSource;
    peer->handleMouseEvent (Source::InputSourceType::mouse, position, juce::ModifierKeys::leftButtonModifier,
                            Source::defaultPressure, Source::defaultOrientation, time);
    peer->handleMouseEvent (Source::InputSourceType::mouse, position, juce::ModifierKeys(),
                            Source::defaultPressure, Source::defaultOrientation, time + 50);
}

// A design point of the window (590 x 330 coordinates) at the window's zoom.
inline juce::Point<float> atZoom (const MarnovexTemplateAudioProcessorEditor& editor, juce::Point<float> designPoint)
{
    return designPoint * editor.info.scale;
}
} // namespace vorn::test
