#pragma once

#include <juce_core/juce_core.h>

// Maker, product and preset vocabulary. Every including source file gets its
// own copy; the composed paths only read constants defined above them in the
// same file, so their values never depend on static initialisation order.
namespace marnovex
{
static const juce::String kManufacturer = "Marnovex";
static const juce::String kProductName = "Vorn v2";
static const juce::String kProductVersion = "2.0.0";

// A wildcard handed unchanged to file searches and dialogs; preset files end in ".mx".
static const juce::String kPresetExtension = "*.mx";

// Stored projects carry these paths, so they stay exactly as shipped.
static const juce::String kProductPresetPath = "/Library/Audio/Presets/" + kManufacturer + "/" + kProductName;
static const juce::String kDefaultPresetPath = kProductPresetPath + "/Factory/Default.mx";
} // namespace marnovex
