// The editor's view as a Linux host embeds it: a window of the host's own, the view attached to
// it, and the view outliving the component and the controller when the host tears them down first.
#include "ModuleTestSupport.h"

#include <pluginterfaces/gui/iplugview.h>

#include <gtest/gtest.h>

#include <X11/Xlib.h>

#include <chrono>
#include <thread>

using namespace moduletest;
using namespace Steinberg;

namespace
{
// A plug-in's JUCE leaves X error handling to its host. Like a host, the test ignores X errors: a
// bare virtual display has no window manager, so some window-manager atoms do not exist.
int ignoreXError (Display*, XErrorEvent*)
{
    return 0;
}

void waitForEditorTicks()
{
    // The editor's timer ticks every 33 ms on JUCE's message thread.
    std::this_thread::sleep_for (std::chrono::milliseconds (300));
}

// A top-level window of the host's, for the view to be embedded into.
struct HostWindow
{
    HostWindow() : display (XOpenDisplay (nullptr))
    {
        XSetErrorHandler (ignoreXError);
        if (display == nullptr)
            return;
        window = XCreateSimpleWindow (display, DefaultRootWindow (display), 0, 0, 640, 470, 0, 0, 0);
        XMapWindow (display, window);
        XSync (display, False);
    }
    ~HostWindow()
    {
        if (display == nullptr)
            return;
        XDestroyWindow (display, window);
        XCloseDisplay (display);
    }
    HostWindow (const HostWindow&) = delete;
    HostWindow& operator= (const HostWindow&) = delete;

    Display* display;
    Window window = 0;
};

IPlugView* attachedEditorView (Instance& instance, const HostWindow& host)
{
    auto* view = instance.controller->createView (Vst::ViewType::kEditor);
    if (view == nullptr)
        return nullptr;
    EXPECT_EQ (view->isPlatformTypeSupported (kPlatformTypeX11EmbedWindowID), kResultTrue);
    EXPECT_EQ (view->attached (reinterpret_cast<void*> (host.window), kPlatformTypeX11EmbedWindowID), kResultTrue);
    return view;
}
}

// Both orders in which hosts take an open editor down; the second is the one that breaks the
// rules: the component and the controller go first, while the view is still attached.
TEST (ModuleView, EditorSurvivesEitherTeardownOrder)
{
    const HostWindow host;
    ASSERT_NE (host.display, nullptr) << "no X display";

    for (const bool viewFirst : { true, false })
    {
        SCOPED_TRACE (viewFirst ? "view removed and released first" : "component and controller released first");
        Instance instance;
        ASSERT_TRUE (instance.isValid());
        auto* view = attachedEditorView (instance, host);
        ASSERT_NE (view, nullptr);

        ViewRect size{};
        EXPECT_EQ (view->getSize (&size), kResultTrue);
        EXPECT_EQ (size.getWidth(), 640);
        EXPECT_EQ (size.getHeight(), 470);
        EXPECT_EQ (view->queryInterface (FUnknown::iid, nullptr), kInvalidArgument);
        waitForEditorTicks();

        if (viewFirst)
        {
            EXPECT_EQ (view->removed(), kResultOk);
            view->release();
            instance.tearDown();
        }
        else
        {
            instance.tearDown();
            waitForEditorTicks();
            EXPECT_EQ (view->removed(), kResultOk);
            view->release();
        }
        waitForEditorTicks();
    }
}
