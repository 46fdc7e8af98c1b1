#include "Marnovex_PressHistory.h"

namespace marnovex
{
bool Marnovex_PressHistory::continuesMultipleClickHere (const juce::MouseEvent& pressEvent) noexcept
{
    const auto clicks = pressEvent.getNumberOfClicks();
    const auto sinceLastPress = pressEvent.eventTime - lastPressTime;
    const auto followsOwnPress = pressesInARow > 0 && clicks > 1 && sinceLastPress >= juce::RelativeTime()
                                 && sinceLastPress < juce::RelativeTime::milliseconds (juce::MouseEvent::getDoubleClickTimeout());

    pressesInARow = followsOwnPress ? pressesInARow + 1 : 1;
    lastPressTime = pressEvent.eventTime;

    // A triple-click whose first press zoomed the window puts only its last
    // two presses here; it is still not aimed at this widget.
    return clicks > 1 && pressesInARow >= clicks;
}
} // namespace marnovex
