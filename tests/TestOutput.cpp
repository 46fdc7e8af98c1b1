#include "TestOutput.h"

#include <juce_gui_basics/juce_gui_basics.h>

namespace vorn::test
{
juce::File testOutputFolder()
{
    const juce::File folder (VORN_TEST_OUTPUT_DIR);
    folder.createDirectory();
    return folder;
}

bool writeTestImage (const juce::Image& image, const juce::String& name)
{
    const auto file = testOutputFolder().getChildFile (name + ".png");
    file.deleteFile();

    juce::FileOutputStream stream (file);
    juce::PNGImageFormat png;
    return stream.openedOk() && png.writeImageToStream (image, stream);
}

juce::Image renderComponent (juce::Component& component)
{
    juce::Image image (juce::Image::ARGB, juce::jmax (1, component.getWidth()), juce::jmax (1, component.getHeight()), true);
    juce::Graphics g (image);
    component.paintEntireComponent (g, true);
    return image;
}
} // namespace vorn::test
