#include <juce_gui_basics/juce_gui_basics.h>

#include <gtest/gtest.h>

#include <X11/Xlib.h>

namespace
{
// A plug-in's JUCE leaves X error handling to its host. Like a host, the tests ignore X errors:
// a bare virtual display has no window manager, so some window-manager atoms do not exist.
int ignoreXError (Display*, XErrorEvent*)
{
    return 0;
}
}

// The editor needs JUCE's GUI runtime and a message thread: this thread is it for every test.
int main (int argc, char** argv)
{
    XSetErrorHandler (ignoreXError);
    juce::ScopedJuceInitialiser_GUI juceRuntime;
    ::testing::InitGoogleTest (&argc, argv);
    const int result = RUN_ALL_TESTS();
    juce::PopupMenu::dismissAllActiveMenus();
    return result;
}
