#include "PreferenceManager.h"

namespace marnovex
{
namespace
{
juce::String settingsFolderName (const juce::String& manufacturer, const juce::String& product)
{
    auto folder = manufacturer + "/" + product + "/";
   #if JUCE_MAC
    return folder;
   #else
    // The framework puts settings straight under the home folder here; keep the
    // macOS layout relative to it instead.
    return "Library/Application Support/" + folder;
   #endif
}
} // namespace

PreferenceManager::PreferenceManager (juce::String manufacturer, juce::String product)
    : manufacturerName (std::move (manufacturer)),
      productName (std::move (product))
{
    juce::PropertiesFile::Options options;
    options.applicationName = productName;
    options.filenameSuffix = ".settings";
    options.folderName = settingsFolderName (manufacturerName, productName);
    options.osxLibrarySubFolder = "Application Support";
    options.commonToAllUsers = false;
    options.ignoreCaseOfKeyNames = false;
    options.doNotSave = false;
    options.millisecondsBeforeSaving = 3000;
    options.storageFormat = juce::PropertiesFile::storeAsXML;
    options.processLock = nullptr;
    applicationProperties.setStorageParameters (options);
}

PreferenceManager::~PreferenceManager()
{
    applicationProperties.saveIfNeeded();
    applicationProperties.closeFiles();
}

void PreferenceManager::setPreference (juce::String key, double value)
{
    auto* settings = applicationProperties.getUserSettings();
    if (settings == nullptr || ! settings->isValidFile())
        return;

    settings->setValue (key, value);
    settings->saveIfNeeded();
}

double PreferenceManager::getPreference (juce::String key, double defaultValue)
{
    auto* settings = applicationProperties.getUserSettings();
    if (settings == nullptr || ! settings->isValidFile())
        return defaultValue;

    return settings->getDoubleValue (key, defaultValue);
}
} // namespace marnovex
