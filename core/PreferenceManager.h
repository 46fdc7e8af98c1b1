#pragma once

#include <juce_data_structures/juce_data_structures.h>

namespace marnovex
{
// The per-user settings store. Nothing is opened until the settings are first
// asked for, so a processor whose editor never opens touches no file.
//
// macOS: "~/Library/Application Support/<maker>/<product>/<product>.settings",
// with the same file under "/Library/Application Support" as a read-only
// fallback. Linux keeps the user file at the same place under the home folder
// and reads the fallback from "/var/Library/Application Support/...".
class PreferenceManager
{
public:
    PreferenceManager (juce::String manufacturer, juce::String product);
    ~PreferenceManager();

    // Stores the value and saves at once, but only when the user settings file
    // could be read (or did not exist yet): an unreadable file is never touched.
    void setPreference (juce::String key, double value);

    // The stored value of `key` (looked up in the machine-wide fallback when the
    // user file lacks it; a stored text that is not a number reads as 0), or
    // `defaultValue` when the user settings file is not readable.
    double getPreference (juce::String key, double defaultValue);

    juce::String manufacturerName;
    juce::String productName;
    juce::ApplicationProperties applicationProperties;

    JUCE_DECLARE_NON_COPYABLE (PreferenceManager)
};
} // namespace marnovex
