#include "Marnovex_Fonts.h"

#include <BinaryData.h>

namespace marnovex
{
namespace
{
juce::Font fontFromMemory (const char* data, int size)
{
    return juce::Font (juce::Typeface::createSystemTypefaceFor (data, (size_t) size));
}
} // namespace

const juce::Font& Fonts::DINosaur()
{
    static const auto font = fontFromMemory (BinaryData::InterBook_otf, BinaryData::InterBook_otfSize);
    return font;
}

const juce::Font& Fonts::DINosaurBold()
{
    static const auto font = fontFromMemory (BinaryData::InterBold_otf, BinaryData::InterBold_otfSize);
    return font;
}

// The sized fonts share their base font's typeface object.
const juce::Font& Fonts::bigger()
{
    static const auto font = DINosaur().withPointHeight (12.0f);
    return font;
}

const juce::Font& Fonts::label()
{
    static const auto font = DINosaur().withPointHeight (10.0f);
    return font;
}

const juce::Font& Fonts::toggle()
{
    static const auto font = DINosaur().withPointHeight (13.0f);
    return font;
}

const juce::Font& Fonts::title()
{
    static const auto font = DINosaur().withPointHeight (13.0f);
    return font;
}

const juce::Font& Fonts::time()
{
    static const auto font = DINosaurBold().withPointHeight (14.0f);
    return font;
}

const juce::Font& Fonts::group()
{
    static const auto font = DINosaur().withPointHeight (16.0f);
    return font;
}
} // namespace marnovex
