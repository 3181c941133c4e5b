// The editor's view as a Linux host embeds it: a window of the host's own, a frame that gives the
// view the host's run loop (served by the test's thread, the host's UI thread), the view attached,
// and the view outliving the component and the controller when the host tears them down first.
#include "ModuleTestSupport.h"

#include <pluginterfaces/gui/iplugview.h>

#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <poll.h>

#include <algorithm>
#include <chrono>
#include <vector>

using namespace moduletest;
using namespace Steinberg;

namespace Steinberg
{
DEF_CLASS_IID (IPlugFrame)
namespace Linux
{
DEF_CLASS_IID (IRunLoop)
}
}

namespace
{
// A plug-in's JUCE leaves X error handling to its host. Like a host, the test ignores X errors: a
// bare virtual display has no window manager, so some window-manager atoms do not exist.
int ignoreXError (Display*, XErrorEvent*)
{
    return 0;
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

// The frame a Linux host gives a view, with the host's run loop: the plug-in registers its file
// descriptors and timers, and the host's UI thread calls them back. It lives on the test's stack.
class HostFrame : public IPlugFrame, public Linux::IRunLoop
{
public:
    tresult PLUGIN_API queryInterface (const TUID iid, void** obj) override
    {
        if (FUnknownPrivate::iidEqual (iid, IPlugFrame::iid) || FUnknownPrivate::iidEqual (iid, FUnknown::iid))
            *obj = static_cast<IPlugFrame*> (this);
        else if (FUnknownPrivate::iidEqual (iid, Linux::IRunLoop::iid))
            *obj = static_cast<Linux::IRunLoop*> (this);
        else
        {
            *obj = nullptr;
            return kNoInterface;
        }
        return kResultOk;
    }
    uint32 PLUGIN_API addRef() override { return 1; }
    uint32 PLUGIN_API release() override { return 1; }

    tresult PLUGIN_API resizeView (IPlugView* view, ViewRect* newSize) override
    {
        return view != nullptr ? view->onSize (newSize) : kInvalidArgument;
    }

    tresult PLUGIN_API registerEventHandler (Linux::IEventHandler* handler, Linux::FileDescriptor fd) override
    {
        handlers.push_back ({ handler, fd });
        return kResultTrue;
    }
    tresult PLUGIN_API unregisterEventHandler (Linux::IEventHandler* handler) override
    {
        handlers.erase (std::remove_if (handlers.begin(), handlers.end(),
                                        [handler] (const auto& h) { return h.handler == handler; }),
                        handlers.end());
        return kResultTrue;
    }
    tresult PLUGIN_API registerTimer (Linux::ITimerHandler* handler, Linux::TimerInterval milliseconds) override
    {
        timers.push_back ({ handler, std::chrono::milliseconds (milliseconds), Clock::now() });
        return kResultTrue;
    }
    tresult PLUGIN_API unregisterTimer (Linux::ITimerHandler* handler) override
    {
        timers.erase (std::remove_if (timers.begin(), timers.end(), [handler] (const auto& t) { return t.handler == handler; }),
                      timers.end());
        return kResultTrue;
    }

    // Serves the run loop for a while, as the host's UI thread does; the editor's timer ticks
    // every 33 ms through it.
    void run (int milliseconds)
    {
        const auto end = Clock::now() + std::chrono::milliseconds (milliseconds);
        while (Clock::now() < end)
        {
            std::vector<pollfd> fds;
            for (const auto& h : handlers)
                fds.push_back ({ h.fd, POLLIN, 0 });
            poll (fds.data(), fds.size(), 5);

            // Callbacks may register and unregister: each runs from a copy of the lists.
            const auto servedHandlers = handlers;
            for (std::size_t i = 0; i < fds.size(); ++i)
                if ((fds[i].revents & POLLIN) != 0)
                    servedHandlers[i].handler->onFDIsSet (servedHandlers[i].fd);

            const auto servedTimers = timers;
            for (const auto& t : servedTimers)
                if (Clock::now() - t.last >= t.interval)
                {
                    for (auto& registered : timers)
                        if (registered.handler == t.handler)
                            registered.last = Clock::now();
                    t.handler->onTimer();
                }
        }
    }

private:
    using Clock = std::chrono::steady_clock;
    struct Handler
    {
        Linux::IEventHandler* handler;
        Linux::FileDescriptor fd;
    };
    struct Timer
    {
        Linux::ITimerHandler* handler;
        Clock::duration interval;
        Clock::time_point last;
    };
    std::vector<Handler> handlers;
    std::vector<Timer> timers;
};
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
        auto* view = instance.controller->createView (Vst::ViewType::kEditor);
        ASSERT_NE (view, nullptr);

        HostFrame frame;
        EXPECT_EQ (view->setFrame (&frame), kResultTrue);
        EXPECT_EQ (view->isPlatformTypeSupported (kPlatformTypeX11EmbedWindowID), kResultTrue);
        EXPECT_EQ (view->attached (reinterpret_cast<void*> (host.window), kPlatformTypeX11EmbedWindowID), kResultTrue);

        ViewRect size{};
        EXPECT_EQ (view->getSize (&size), kResultTrue);
        EXPECT_EQ (size.getWidth(), 640);
        EXPECT_EQ (size.getHeight(), 470);
        EXPECT_EQ (view->queryInterface (FUnknown::iid, nullptr), kInvalidArgument);
        frame.run (300);

        if (viewFirst)
        {
            EXPECT_EQ (view->removed(), kResultOk);
            view->setFrame (nullptr);
            view->release();
            instance.tearDown();
        }
        else
        {
            instance.tearDown();
            frame.run (300);
            EXPECT_EQ (view->removed(), kResultOk);
            view->setFrame (nullptr);
            view->release();
        }
        frame.run (100);
    }
}
