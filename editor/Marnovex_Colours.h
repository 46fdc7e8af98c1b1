#pragma once

#include <juce_graphics/juce_graphics.h>

namespace marnovex
{
// The editor's palette. Each dark colour is its base colour at alpha 0x20.
struct Colours
{
    static const juce::Colour background;
    static const juce::Colour white;
    static const juce::Colour grey;
    static const juce::Colour dark;
    static const juce::Colour black;
    static const juce::Colour red;
    static const juce::Colour darkRed;
    static const juce::Colour orange;
    static const juce::Colour darkOrange;
    static const juce::Colour yellow;
    static const juce::Colour darkYellow;
    static const juce::Colour green;
    static const juce::Colour darkGreen;
    static const juce::Colour blue;
    static const juce::Colour darkBlue;
};
} // namespace marnovex
