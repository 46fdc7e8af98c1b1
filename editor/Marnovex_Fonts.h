#pragma once

#include <juce_graphics/juce_graphics.h>

namespace marnovex
{
// The editor's fonts. Both typefaces are made from font files compiled into
// the module, so the editor looks the same whatever fonts the machine has.
// Sizes are point heights, not the framework's font heights.
//
// Each font is built on first use (on the message thread) and kept until the
// module unloads. They cannot be built while the module's statics are set up:
// the framework's own font machinery is not ready then.
struct Fonts
{
    static const juce::Font& DINosaur();     // book weight
    static const juce::Font& DINosaurBold(); // bold weight

    static const juce::Font& bigger(); // control names
    static const juce::Font& label();  // value readouts and the tempo readout
    static const juce::Font& toggle();
    static const juce::Font& title();  // title and preset name
    static const juce::Font& time();   // the Time control's fraction
    static const juce::Font& group();
};
} // namespace marnovex
