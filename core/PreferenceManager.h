#pragma once

#include <juce_data_structures/juce_data_structures.h>

#include <memory>

namespace marnovex
{
// The per-user settings store. Nothing is opened until the settings are first
// asked for, so a processor whose editor never opens touches no file.
//
// macOS: "~/Library/Application Support/<maker>/<product>/<product>.settings",
// with the same file under "/Library/Application Support" as a read-only
// fallback. Linux keeps the user file at the same place under the home folder
// and reads the fallback from "/var/Library/Application Support/...".
//
// Both files are checked with the plug-in's own XML reader before the
// framework reads them: the framework's settings reader parses them with an
// XML parser that can hang or read out of bounds, and re-parses every stored
// value whenever it saves.
class PreferenceManager
{
public:
    PreferenceManager (juce::String manufacturer, juce::String product);
    ~PreferenceManager();

    // Stores the value and saves at once, but only when the user settings are
    // valid: a user file that could not be read is never touched.
    void setPreference (juce::String key, double value);

    // The stored value of `key` (looked up in the machine-wide fallback when the
    // user file lacks it; a stored text that is not a number reads as 0), or
    // `defaultValue` when the user settings are not valid.
    double getPreference (juce::String key, double defaultValue);

    // True when the user settings file was readable, or did not exist yet.
    // Opens both settings files on first use; the answer never changes after.
    bool isValid();

    // Whether the framework's settings reader may be given `settingsFile`:
    // false for anything but a missing or regular file, for text the plug-in's
    // XML reader refuses, and for a file holding a value the framework would
    // hang on when it saves. A refused file is never opened by the framework.
    static bool isSafeToOpen (const juce::File& settingsFile);

    juce::String manufacturerName;
    juce::String productName;

    // Holds the storage options. The store opens the files these options name
    // itself, after checking them; never ask this object for its settings.
    juce::ApplicationProperties applicationProperties;

private:
    void openFiles();

    std::unique_ptr<juce::PropertiesFile> userSettings, machineSettings;
    bool filesOpened = false;
    bool userSettingsValid = false;

    JUCE_DECLARE_NON_COPYABLE (PreferenceManager)
};
} // namespace marnovex
