// Opens the built plug-in's editor the way a VST3 host does, with JUCE's own VST3 hosting, and
// keeps a picture of what the plug-in drew into the host's window.
#include <juce_audio_processors/juce_audio_processors.h>
#include <juce_gui_extra/juce_gui_extra.h>

#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace
{
int ignoreXError (Display*, XErrorEvent*)
{
    return 0;
}

// Reads back what the X server shows in a window, child windows of the plug-in included.
juce::Image grabWindow (unsigned long window, int width, int height)
{
    juce::Image result;
    if (auto* display = XOpenDisplay (nullptr))
    {
        XSync (display, False);
        if (auto* xImage =
                XGetImage (display, (Window) window, 0, 0, (unsigned) width, (unsigned) height, AllPlanes, ZPixmap))
        {
            result = juce::Image (juce::Image::RGB, width, height, false);
            for (int y = 0; y < height; ++y)
                for (int x = 0; x < width; ++x)
                {
                    const auto pixel = XGetPixel (xImage, x, y);
                    result.setPixelAt (x, y, juce::Colour ((juce::uint32) (0xff000000u | (pixel & 0xffffffu))));
                }
            XDestroyImage (xImage);
        }
        XCloseDisplay (display);
    }
    return result;
}

bool writePng (const juce::Image& image, const juce::File& file)
{
    file.deleteFile();
    juce::FileOutputStream out (file);
    juce::PNGImageFormat png;
    return out.openedOk() && png.writeImageToStream (image, out);
}
}

TEST (EditorInHost, OpensAt640x470AndDrawsTheEditor)
{
    const juce::File bundle (QUOLBANE_VST3_BUNDLE);
    ASSERT_TRUE (bundle.exists()) << bundle.getFullPathName();

    juce::VST3PluginFormat format;
    juce::OwnedArray<juce::PluginDescription> types;
    format.findAllTypesForFile (types, bundle.getFullPathName());
    ASSERT_EQ (types.size(), 1);
    EXPECT_EQ (types[0]->name, "Quolbane");

    juce::String error;
    auto instance = format.createInstanceFromDescription (*types[0], 44100.0, 512, error);
    ASSERT_NE (instance, nullptr) << error;
    ASSERT_TRUE (instance->hasEditor());

    std::unique_ptr<juce::AudioProcessorEditor> editor (instance->createEditorIfNeeded());
    ASSERT_NE (editor, nullptr);
    EXPECT_EQ (editor->getWidth(), 640);
    EXPECT_EQ (editor->getHeight(), 470);

    // In a window of its own, as a host shows it; the plug-in attaches its view and paints.
    editor->addToDesktop (0);
    editor->setTopLeftPosition (0, 0);
    editor->setVisible (true);
    juce::MessageManager::getInstance()->runDispatchLoopUntil (2000);

    EXPECT_EQ (editor->getWidth(), 640);
    EXPECT_EQ (editor->getHeight(), 470);

    const juce::File folder (QUOLBANE_HOST_PICTURE_DIR);
    ASSERT_TRUE (folder.createDirectory());
    // The host's own component only frames the plug-in's window, so the picture is read from the
    // X server, where the plug-in's pixels are.
    auto* peer = editor->getPeer();
    ASSERT_NE (peer, nullptr);
    const auto picture = grabWindow ((unsigned long) (juce::pointer_sized_uint) peer->getNativeHandle(), 640, 470);
    ASSERT_TRUE (picture.isValid());
    EXPECT_TRUE (writePng (picture, folder.getChildFile ("editor-in-host.png")));

    // A new instance is at "Hall": its background fills the corners and the header strip's gaps.
    for (auto p :
         { juce::Point<int> (2, 2), juce::Point<int> (637, 2), juce::Point<int> (2, 467), juce::Point<int> (320, 140) })
        EXPECT_EQ (picture.getPixelAt (p.x, p.y).getARGB(), 0xffe4eefau) << p.toString();

    // Something other than background is drawn in the title and the knob grid.
    int drawn = 0;
    for (int y = 44; y < 450; ++y)
        for (int x = 24; x < 616; ++x)
            drawn += picture.getPixelAt (x, y).getARGB() != 0xffe4eefau ? 1 : 0;
    EXPECT_GT (drawn, 5000);

    editor.reset();
    instance.reset();
}

int main (int argc, char** argv)
{
    XSetErrorHandler (ignoreXError);
    juce::ScopedJuceInitialiser_GUI juceRuntime;
    ::testing::InitGoogleTest (&argc, argv);
    return RUN_ALL_TESTS();
}
