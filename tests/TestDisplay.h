#pragma once

// X display support for tests that put windows on screen (message boxes,
// editors on the desktop). Such tests skip when no X display can be opened,
// and fail instead when the environment sets VORN_REQUIRE_DISPLAY=1.

#include <gtest/gtest.h>
#include <juce_gui_basics/juce_gui_basics.h>

namespace vorn::test
{
// True when an X display was reachable at start-up. A connection of our own
// stays open for the whole run: it creates the window-manager atoms that JUCE
// only looks up (a bare X server without a window manager has none of them),
// and keeps the server from resetting and dropping them again.
bool testDisplayAvailable();

bool testDisplayRequired();

// Replaces the process's X error handler by one that records every error,
// until the guard ends. Errors are read back with `errors()`.
class XErrorRecorder
{
public:
    XErrorRecorder();
    ~XErrorRecorder();

    juce::StringArray errors() const;

    JUCE_DECLARE_NON_COPYABLE (XErrorRecorder)
};

// Fixture for tests needing a display: skips or fails in SetUp when there is
// none, records X errors for the test's duration and fails the test on any.
class DisplayTest : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    std::unique_ptr<XErrorRecorder> xErrors;
};

// Every modal AlertWindow currently on the desktop.
juce::Array<juce::AlertWindow*> modalAlertWindows();

// Dismisses every modal AlertWindow and lets the message loop delete them.
void dismissAlertWindows();
} // namespace vorn::test
