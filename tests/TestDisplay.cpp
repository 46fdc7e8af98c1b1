#include "TestDisplay.h"

#include <X11/Xlib.h>
#include <X11/Xproto.h>

#include <chrono>
#include <mutex>
#include <thread>

namespace vorn::test
{
namespace
{
// Atoms JUCE reads with "only if exists"; without them it sends requests
// naming atom 0, which the server answers with errors.
const char* const kWindowManagerAtoms[] = { "WM_PROTOCOLS", "WM_TAKE_FOCUS",  "WM_DELETE_WINDOW",    "_NET_WM_PING",
                                            "WM_CHANGE_STATE", "WM_STATE",     "_NET_WM_WINDOW_TYPE", "_NET_WM_STATE",
                                            "_NET_WM_STATE_HIDDEN" };

struct OwnConnection
{
    OwnConnection()
    {
        if (std::getenv ("DISPLAY") == nullptr)
            return;

        // A server that just lost its last client may be resetting: retry briefly.
        for (int attempt = 0; attempt < 50 && display == nullptr; ++attempt)
        {
            display = XOpenDisplay (nullptr);
            if (display == nullptr)
                std::this_thread::sleep_for (std::chrono::milliseconds (20));
        }
        if (display == nullptr)
            return;

        for (auto* name : kWindowManagerAtoms)
            XInternAtom (display, name, False);
        XSync (display, False);
    }

    // Left open on purpose: closing it at exit, after JUCE has shut its own
    // connection, could let the server reset while another test still runs.
    ::Display* display = nullptr;
};

// Opened during static initialisation, before main creates any JUCE object.
const OwnConnection& ownConnection()
{
    static OwnConnection connection;
    return connection;
}
[[maybe_unused]] const auto& openedAtStartUp = ownConnection();

std::mutex errorLock;
juce::StringArray recordedErrors;
XErrorHandler previousHandler = nullptr;

int recordError (::Display* display, XErrorEvent* event)
{
    // JUCE walks the window tree from timers; a window destroyed a moment
    // earlier (a dismissed box) answers that walk with BadWindow. Harmless.
    if (event->error_code == BadWindow && event->request_code == X_QueryTree)
        return 0;

    char text[128] = {};
    XGetErrorText (display, event->error_code, text, (int) sizeof (text));
    std::lock_guard<std::mutex> lock (errorLock);
    recordedErrors.add (juce::String (text) + " (request " + juce::String ((int) event->request_code) + ")");
    return 0;
}
} // namespace

bool testDisplayAvailable() { return ownConnection().display != nullptr; }

bool testDisplayRequired()
{
    const auto* value = std::getenv ("VORN_REQUIRE_DISPLAY");
    return value != nullptr && juce::String (value) == "1";
}

XErrorRecorder::XErrorRecorder()
{
    // JUCE installs its own handler when it first connects; make sure that has
    // happened so ours is not replaced behind our back.
    juce::Desktop::getInstance().getDisplays();

    std::lock_guard<std::mutex> lock (errorLock);
    recordedErrors.clear();
    previousHandler = XSetErrorHandler (recordError);
}

XErrorRecorder::~XErrorRecorder()
{
    XSetErrorHandler (previousHandler);
}

juce::StringArray XErrorRecorder::errors() const
{
    std::lock_guard<std::mutex> lock (errorLock);
    return recordedErrors;
}

void DisplayTest::SetUp()
{
    if (! testDisplayAvailable())
    {
        if (testDisplayRequired())
            FAIL() << "No X display, but VORN_REQUIRE_DISPLAY=1 requires one (run under xvfb-run -a)";
        GTEST_SKIP() << "No X display available";
    }
    xErrors = std::make_unique<XErrorRecorder>();
}

void DisplayTest::TearDown()
{
    if (xErrors == nullptr)
        return;

    dismissAlertWindows();
    EXPECT_TRUE (xErrors->errors().isEmpty()) << xErrors->errors().joinIntoString ("\n");
    xErrors.reset();
}

juce::Array<juce::AlertWindow*> modalAlertWindows()
{
    juce::Array<juce::AlertWindow*> alerts;
    for (int i = 0; i < juce::TopLevelWindow::getNumTopLevelWindows(); ++i)
        if (auto* alert = dynamic_cast<juce::AlertWindow*> (juce::TopLevelWindow::getTopLevelWindow (i)))
            if (alert->isCurrentlyModal (false) && alert->isOnDesktop())
                alerts.add (alert);
    return alerts;
}

void dismissAlertWindows()
{
    // Dismissed boxes delete themselves from the message loop.
    for (auto* alert : modalAlertWindows())
        alert->exitModalState (0);

    for (int i = 0; i < 200 && juce::TopLevelWindow::getNumTopLevelWindows() > 0; ++i)
        juce::MessageManager::getInstance()->runDispatchLoopUntil (5);
}
} // namespace vorn::test
