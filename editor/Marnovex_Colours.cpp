#include "Marnovex_Colours.h"

namespace marnovex
{
const juce::Colour Colours::background { 0xFF2A2A2A };
const juce::Colour Colours::white { 0xFFDCDCDC };
const juce::Colour Colours::grey { 0xFF808080 };
const juce::Colour Colours::dark { 0xFF404040 };
const juce::Colour Colours::black { 0xFF000000 };
const juce::Colour Colours::red { 0xFFE65758 };
const juce::Colour Colours::darkRed { 0x20E65758 };
const juce::Colour Colours::orange { 0xFFF4824B };
const juce::Colour Colours::darkOrange { 0x20F4824B };
const juce::Colour Colours::yellow { 0xFFD9E360 };
const juce::Colour Colours::darkYellow { 0x20D9E360 };
const juce::Colour Colours::green { 0xFF7FEE48 };
const juce::Colour Colours::darkGreen { 0x207FEE48 };
const juce::Colour Colours::blue { 0xFF52B4EB };
const juce::Colour Colours::darkBlue { 0x2052B4EB };
} // namespace marnovex
