#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

namespace marnovex
{
// Remembers a widget's own presses, so that it can tell a double-click aimed
// at it from one that merely ends on it.
//
// The framework counts the clicks of a multiple click by place and time on
// the desktop, whichever component each press reached. When the first press
// of a double-click zooms the window, the second lands on whatever now lies
// under the pointer and arrives with a click count of 2. A widget that resets
// on a double-click must not take that second press as one aimed at it.
class Marnovex_PressHistory
{
public:
    // Call on every mouse-down. True when the press is the second or later of
    // a multiple click whose earlier presses all landed on this widget, each
    // within the framework's double-click time of the next.
    bool continuesMultipleClickHere (const juce::MouseEvent& pressEvent) noexcept;

private:
    juce::Time lastPressTime;
    int pressesInARow = 0;
};
} // namespace marnovex
