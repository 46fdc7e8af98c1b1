#pragma once

// Helpers shared by the state, preset, preference and fuzz tests.

#include <gtest/gtest.h>

#include "PluginProcessor.h"

#include <cstdlib>
#include <functional>
#include <optional>
#include <string>

namespace vorn::test
{
// A fresh, empty folder under the system's temporary folder, deleted with
// everything in it. Named uniquely: test processes run side by side.
struct TempFolder
{
    TempFolder()
        : folder (juce::File::getSpecialLocation (juce::File::tempDirectory).getChildFile ("vorn-test-" + juce::Uuid().toString()))
    {
        EXPECT_TRUE (folder.createDirectory().wasOk() && folder.getNumberOfChildFiles (juce::File::findFilesAndDirectories) == 0);
    }

    ~TempFolder() { folder.deleteRecursively(); }

    juce::File operator/ (const juce::String& relativePath) const { return folder.getChildFile (relativePath); }

    juce::File folder;

    JUCE_DECLARE_NON_COPYABLE (TempFolder)
};

// Points HOME at an empty temporary folder while it lives, so the window's
// settings file is a private one: the framework expands "~" from HOME each
// time it builds a settings path, and the processor opens its settings only
// when its first editor asks for them.
class ScopedHome
{
public:
    ScopedHome()
    {
        if (const auto* old = std::getenv ("HOME"))
            previous = old;
        setenv ("HOME", home.folder.getFullPathName().toRawUTF8(), 1);
    }

    ~ScopedHome()
    {
        if (previous.has_value())
            setenv ("HOME", previous->c_str(), 1);
        else
            unsetenv ("HOME");
    }

    juce::File settingsFile() const { return home / "Library/Application Support/Marnovex/Vorn v2/Vorn v2.settings"; }

    void writeSettings (const juce::String& text) const
    {
        ASSERT_TRUE (settingsFile().getParentDirectory().createDirectory());
        ASSERT_TRUE (settingsFile().replaceWithText (text, false, false, nullptr));
    }

    // A settings file in the framework's own format holding one zoom entry.
    void writeStoredScale (const juce::String& value) const
    {
        writeSettings ("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<PROPERTIES>\n  <VALUE name=\"EditorScale\" val=\""
                       + value + "\"/>\n</PROPERTIES>\n");
    }

    // The zoom entry's text as written to the file, or nothing.
    std::optional<juce::String> storedScaleText() const
    {
        auto xml = juce::parseXMLIfTagMatches (settingsFile(), "PROPERTIES");
        if (xml != nullptr)
            for (auto* e : xml->getChildWithTagNameIterator ("VALUE"))
                if (e->getStringAttribute ("name") == "EditorScale")
                    return e->getStringAttribute ("val");
        return {};
    }

    TempFolder home;

private:
    std::optional<std::string> previous;

    JUCE_DECLARE_NON_COPYABLE (ScopedHome)
};

// Runs the message loop until everything posted before this call has been
// delivered: a marker posted last is dispatched after all earlier messages.
inline void deliverPendingMessages()
{
    bool reached = false;
    juce::MessageManager::callAsync ([&reached] { reached = true; });

    // The bound only stops a broken message loop from hanging the run.
    for (int i = 0; i < 2000 && ! reached; ++i)
        juce::MessageManager::getInstance()->runDispatchLoopUntil (5);

    ASSERT_TRUE (reached) << "the message loop did not deliver a posted message";
}

// Runs the message loop until `done` holds, with a generous bound.
inline bool runMessageLoopUntil (const std::function<bool()>& done, int maxMilliseconds = 10000)
{
    const auto end = juce::Time::getMillisecondCounter() + (juce::uint32) maxMilliseconds;
    while (! done())
    {
        if (juce::Time::getMillisecondCounter() > end)
            return false;
        juce::MessageManager::getInstance()->runDispatchLoopUntil (10);
    }
    return true;
}

struct ChangeCounter : juce::ChangeListener
{
    explicit ChangeCounter (juce::ChangeBroadcaster& b) : broadcaster (b) { broadcaster.addChangeListener (this); }
    ~ChangeCounter() override { broadcaster.removeChangeListener (this); }

    void changeListenerCallback (juce::ChangeBroadcaster*) override { ++count; }

    juce::ChangeBroadcaster& broadcaster;
    int count = 0;
};

inline float valueOf (MarnovexTemplateAudioProcessor& p, const juce::String& id)
{
    return p.parameters.getRawParameterValue (id)->load();
}

inline void setValue (MarnovexTemplateAudioProcessor& p, const juce::String& id, float value)
{
    auto* parameter = p.parameters.getParameter (id);
    parameter->setValueNotifyingHost (parameter->convertTo0to1 (value));
}

// The state block as saved once the framework's timer has copied the current
// parameter values into the tree (copyState performs the same flush at once).
inline juce::MemoryBlock flushedState (MarnovexTemplateAudioProcessor& p)
{
    p.parameters.copyState();
    juce::MemoryBlock block;
    p.getStateInformation (block);
    return block;
}

inline juce::String xmlTextOf (const juce::MemoryBlock& block)
{
    if (block.getSize() < 9)
        return {};
    return juce::String::fromUTF8 (static_cast<const char*> (block.getData()) + 8, (int) block.getSize() - 9);
}

// A state block around `xmlText`: magic, length field (the text's byte count
// unless given), the text, one zero byte.
inline juce::MemoryBlock makeStateBlock (const std::string& utf8, std::optional<juce::int32> lengthField = {})
{
    juce::MemoryOutputStream out;
    out.writeInt (0x21324356);
    out.writeInt (lengthField.value_or ((juce::int32) utf8.size()));
    out.write (utf8.data(), utf8.size());
    out.writeByte (0);
    return out.getMemoryBlock();
}

inline juce::MemoryBlock makeStateBlock (const juce::String& xmlText, std::optional<juce::int32> lengthField = {})
{
    return makeStateBlock (xmlText.toStdString(), lengthField);
}

inline juce::String stateText (const juce::String& rootAttributesAndChildren)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?> " + rootAttributesAndChildren;
}

inline void restore (MarnovexTemplateAudioProcessor& p, const juce::MemoryBlock& block)
{
    p.setStateInformation (block.getData(), (int) block.getSize());
}
} // namespace vorn::test
