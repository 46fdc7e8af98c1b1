// Host state through the built VST3 module: what a host stores for an
// instance brings a fresh instance back to the same parameters, preset path
// and bypass. The host keeps the component's bytes (the plug-in's own block
// followed by the client's trailer) base64-encoded in its wrapper XML.

#include "HostedPlugin.h"
#include "StateTestSupport.h"

#include <cstring>
#include <stdexcept>

using namespace vorn::test;

namespace
{
const char* const kTrailerMagic = "JUCEPrivateData";

// The component bytes inside a hosted instance's stored state.
juce::MemoryBlock componentBytes (const juce::MemoryBlock& hostState)
{
    juce::MemoryBlock bytes;
    const auto xml = juce::AudioProcessor::getXmlFromBinary (hostState.getData(), (int) hostState.getSize());
    if (xml != nullptr && xml->hasTagName ("VST3PluginState"))
        if (auto* component = xml->getChildByName ("IComponent"))
            bytes.fromBase64Encoding (component->getAllSubText());
    return bytes;
}

juce::MemoryBlock withComponentBytes (const juce::MemoryBlock& hostState, const juce::MemoryBlock& component)
{
    auto xml = juce::AudioProcessor::getXmlFromBinary (hostState.getData(), (int) hostState.getSize());
    auto* element = xml->getChildByName ("IComponent");
    element->deleteAllChildElements();
    element->addTextElement (component.toBase64Encoding());
    juce::MemoryBlock result;
    juce::AudioProcessor::copyXmlToBinary (*xml, result);
    return result;
}

// The component's bytes split into the plug-in's block and the client's trailer.
struct ComponentState
{
    explicit ComponentState (const juce::MemoryBlock& component)
    {
        const auto* bytes = static_cast<const char*> (component.getData());
        if (component.getSize() < 9 || std::memcmp (bytes, "VC2!", 4) != 0)
            return;
        const auto blockSize = (size_t) juce::ByteOrder::littleEndianInt (bytes + 4) + 9;
        if (blockSize > component.getSize())
            return;
        pluginBlock = juce::MemoryBlock (bytes, blockSize);
        trailer = juce::MemoryBlock (bytes + blockSize, component.getSize() - blockSize);
    }

    juce::MemoryBlock joined() const
    {
        auto all = pluginBlock;
        all.append (trailer.getData(), trailer.getSize());
        return all;
    }

    std::unique_ptr<juce::XmlElement> xml() const
    {
        return juce::AudioProcessor::getXmlFromBinary (pluginBlock.getData(), (int) pluginBlock.getSize());
    }

    juce::String paramValue (const juce::String& id) const
    {
        if (auto root = xml())
            if (auto* tree = root->getFirstChildElement())
                if (auto* param = tree->getChildByAttribute ("id", id))
                    return param->getStringAttribute ("value");
        return {};
    }

    juce::MemoryBlock pluginBlock, trailer;
};

juce::AudioProcessorParameter& parameter (juce::AudioProcessor& plugin, const juce::String& name)
{
    auto* p = HostedPlugin::findParameter (plugin, name);
    if (p == nullptr)
        throw std::runtime_error (("no hosted parameter " + name).toStdString());
    return *p;
}

void processOneBlock (juce::AudioProcessor& plugin)
{
    juce::AudioBuffer<float> audio (2, 512);
    audio.clear();
    HostedPlugin::process (plugin, audio, 512);
}

juce::MemoryBlock hostStateOf (juce::AudioProcessor& plugin)
{
    juce::MemoryBlock state;
    plugin.getStateInformation (state);
    return state;
}
} // namespace

TEST (HostedState, AStoredStateRestoresParametersPresetPathAndBypass)
{
    auto original = HostedPlugin::load();
    ASSERT_NE (original, nullptr);
    HostedPlugin::prepare (*original, 48000.0, 512);

    // Normalised host values: 3 of 1..16, choice 5 of 12, linear 25 %, quadratic 25 %.
    parameter (*original, "Time Numerator").setValueNotifyingHost (2.0f / 15.0f);
    parameter (*original, "Curve").setValueNotifyingHost (5.0f / 11.0f);
    parameter (*original, "Mix").setValueNotifyingHost (0.25f);
    parameter (*original, "Send").setValueNotifyingHost (0.5f);
    parameter (*original, "Bypass").setValueNotifyingHost (1.0f);
    processOneBlock (*original);

    // The plug-in's framework copies the values into its tree on its own timer,
    // one parameter after another: wait until every changed one has arrived.
    juce::MemoryBlock stored;
    ASSERT_TRUE (runMessageLoopUntil ([&] {
        stored = hostStateOf (*original);
        const ComponentState state (componentBytes (stored));
        return state.paramValue ("Mix") == "25.0" && state.paramValue ("Send") == "25.0"
            && state.paramValue ("Curve") == "5.0" && state.paramValue ("TimeNumerator") == "3.0";
    }));

    const ComponentState component (componentBytes (stored));
    ASSERT_FALSE (component.pluginBlock.isEmpty());
    EXPECT_EQ (component.paramValue ("TimeNumerator"), "3.0");
    EXPECT_EQ (component.paramValue ("Curve"), "5.0");
    EXPECT_EQ (component.paramValue ("Send"), "25.0");
    EXPECT_EQ (component.xml()->getStringAttribute ("presetPath"), "/Library/Audio/Presets/Marnovex/Vorn v2/Factory/Default.mx");

    // After the plug-in's block: the client's trailer, ending in its magic,
    // with the bypass in its private tree after eight zero bytes.
    const auto& trailer = component.trailer;
    const auto* t = static_cast<const char*> (trailer.getData());
    const auto magicLength = std::strlen (kTrailerMagic);
    ASSERT_GT (trailer.getSize(), 16 + magicLength);
    EXPECT_EQ (std::string (t + trailer.getSize() - magicLength, magicLength), kTrailerMagic);
    EXPECT_TRUE ((bool) juce::ValueTree::readFromData (t + 8, trailer.getSize() - 16 - magicLength).getProperty ("Bypass"));

    // As the project would hold it after a preset had been loaded: another preset path.
    auto root = component.xml();
    root->setAttribute ("presetPath", "/Users/test/Presets/User/Hosted Preset.mx");
    ComponentState edited (component.joined());
    juce::AudioProcessor::copyXmlToBinary (*root, edited.pluginBlock);
    stored = withComponentBytes (stored, edited.joined());

    auto restored = HostedPlugin::load();
    ASSERT_NE (restored, nullptr);
    restored->setStateInformation (stored.getData(), (int) stored.getSize());

    for (auto* name : { "Time Numerator", "Time Denominator", "Overlap", "Feedback", "Curve", "Intensity", "Send", "Return", "Mix", "Bypass" })
        EXPECT_NEAR (parameter (*restored, name).getValue(), parameter (*original, name).getValue(), 1.0e-6) << name;

    const ComponentState restoredComponent (componentBytes (hostStateOf (*restored)));
    EXPECT_EQ (restoredComponent.xml()->getStringAttribute ("presetPath"), "/Users/test/Presets/User/Hosted Preset.mx");
    EXPECT_EQ (restoredComponent.paramValue ("Mix"), "25.0");
    EXPECT_EQ (restoredComponent.paramValue ("Curve"), "5.0");
    EXPECT_EQ (restoredComponent.trailer, component.trailer);
}

TEST (HostedState, ADamagedPluginBlockChangesNothingButTheBypass)
{
    auto plugin = HostedPlugin::load();
    ASSERT_NE (plugin, nullptr);
    HostedPlugin::prepare (*plugin, 48000.0, 512);
    const auto stored = hostStateOf (*plugin);
    const ComponentState fresh (componentBytes (stored));
    ASSERT_FALSE (fresh.pluginBlock.isEmpty());

    // The trailer of a bypassed instance after plug-in bytes the plug-in refuses.
    auto source = HostedPlugin::load();
    ASSERT_NE (source, nullptr);
    HostedPlugin::prepare (*source, 48000.0, 512);
    parameter (*source, "Bypass").setValueNotifyingHost (1.0f);
    processOneBlock (*source);
    const ComponentState bypassed (componentBytes (hostStateOf (*source)));

    for (const juce::String damage : { "magic", "root", "empty" })
    {
        ComponentState damaged (fresh.joined());
        damaged.trailer = bypassed.trailer;
        auto* bytes = static_cast<char*> (damaged.pluginBlock.getData());
        if (damage == "magic")
            bytes[0] = 'X';
        else if (damage == "root")
            damaged.pluginBlock = makeStateBlock (stateText ("<marnovex presetPath=\"/x.mx\"><Parameters><PARAM id=\"Mix\" value=\"1.0\"/>"
                                                             "</Parameters></marnovex>"));
        else
            damaged.pluginBlock.reset(); // nothing before the trailer: the plug-in is not called at all

        parameter (*plugin, "Bypass").setValueNotifyingHost (0.0f);
        processOneBlock (*plugin);
        const auto before = ComponentState (componentBytes (hostStateOf (*plugin))).pluginBlock;
        const auto damagedState = withComponentBytes (stored, damaged.joined());
        plugin->setStateInformation (damagedState.getData(), (int) damagedState.getSize());

        EXPECT_EQ (ComponentState (componentBytes (hostStateOf (*plugin))).pluginBlock, before) << damage;
        EXPECT_EQ (parameter (*plugin, "Bypass").getValue(), 1.0f) << damage;
    }
}
