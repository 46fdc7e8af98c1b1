#include "PresetManager.h"

#include "Marnovex_ProductStrings.h"

namespace marnovex
{
PresetManager::PresetManager (juce::AudioProcessorValueTreeState& parameterState)
    : parameters (parameterState),
      currentPresetPath (kDefaultPresetPath)
{
}

PresetManager::~PresetManager() = default;

void PresetManager::loadPreset (juce::File file)
{
    // Only a regular file is read: a FIFO or device would block or never end.
    const auto root = readXmlFile (file).root;
    if (root == nullptr)
        return;

    if (root->getTagName() != kManufacturer || root->getStringAttribute ("product") != kProductName)
    {
        showAlertForPreset (file.getFileNameWithoutExtension());
        return;
    }

    const auto* stored = findChildIgnoringCase (*root, parameters.state.getType().toString());
    if (stored == nullptr)
        return;

    parameters.replaceState (parameterTreeFromXml (parameters, *stored));
    currentPresetPath = file.getFullPathName();
    sendChangeMessage();
}

void PresetManager::showAlertForPreset (juce::String name)
{
    juce::NativeMessageBox::showMessageBoxAsync (juce::MessageBoxIconType::WarningIcon,
                                                 kManufacturer + " " + kProductName,
                                                 "Unable to read data from preset \"" + name
                                                     + "\": incompatible format. Please remove this file from the preset folder.");
}

juce::Array<juce::File> PresetManager::getPresetList()
{
    juce::Array<juce::File> presets;

    // A path restored from a foreign host state may be relative; it names no folder.
    if (! juce::File::isAbsolutePath (currentPresetPath))
        return presets;

    const auto folder = juce::File (currentPresetPath).getParentDirectory();
    if (! folder.isDirectory())
        return presets;

    // The directory iterator matches wildcards case-sensitively where file names
    // are; preset names match in any case everywhere, so filter here. It also
    // counts everything that is not a folder as a file: FIFOs, devices and
    // dangling links are left out by their type, which is read without opening them.
    for (const auto& entry : juce::RangedDirectoryIterator (folder, false, "*", juce::File::findFiles))
        if (entry.getFile().getFileName().matchesWildcard (kPresetExtension, true) && isRegularFile (entry.getFile()))
            presets.add (entry.getFile());

    return presets;
}
} // namespace marnovex
