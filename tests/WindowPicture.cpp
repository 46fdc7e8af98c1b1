// Renders the plug-in window at zoom 1.0, as it first opens, into a PNG for
// the README. Run by hand after changing the window's look:
//   VornWindowPicture [output.png]

#include <juce_gui_basics/juce_gui_basics.h>

#include "PluginEditor.h"
#include "PluginProcessor.h"

#include <cstdlib>
#include <iostream>

int main (int argc, char** argv)
{
    juce::ScopedJuceInitialiser_GUI juce;

    // A private, empty home: the window opens at zoom 1.0 whatever the user
    // has stored, and no settings file of theirs is read.
    const auto home = juce::File::createTempFile ("vorn-window-picture");
    home.createDirectory();
    setenv ("HOME", home.getFullPathName().toRawUTF8(), 1);

    const juce::File output (argc > 1 ? juce::File::getCurrentWorkingDirectory().getChildFile (argv[1])
                                      : juce::File (VORN_WINDOW_PICTURE));
    bool written = false;
    {
        MarnovexTemplateAudioProcessor processor;
        MarnovexTemplateAudioProcessorEditor editor (processor);
        editor.inner.timerCallback(); // the tempo readout, as after the first tick

        juce::Image image (juce::Image::ARGB, editor.getWidth(), editor.getHeight(), true);
        {
            juce::Graphics g (image);
            editor.paintEntireComponent (g, true);
        }

        output.getParentDirectory().createDirectory();
        output.deleteFile();
        juce::FileOutputStream stream (output);
        juce::PNGImageFormat png;
        written = stream.openedOk() && png.writeImageToStream (image, stream);
    }
    home.deleteRecursively();

    std::cout << (written ? "wrote " : "could not write ") << output.getFullPathName() << std::endl;
    return written ? EXIT_SUCCESS : EXIT_FAILURE;
}
