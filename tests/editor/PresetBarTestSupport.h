#pragma once

// Shared by the preset bar tests: a bar on a parent component for a fresh
// processor, preset files in a temporary folder, presses on the name display
// delivered through the window's peer, and message boxes found by their text.

#include <gtest/gtest.h>

#include "PresetController.h"
#include "StateTestSupport.h"
#include "TestDisplay.h"

#include "Marnovex_ParameterIDs.h"
#include "Marnovex_ProductStrings.h"

#include <string>

namespace vorn::test
{
// A preset file as the bar writes it, with the root attributes and the "PARAM" lines given.
inline juce::String presetFileText (const juce::StringArray& paramLines,
                                    const juce::String& rootAttributes = "product=\"Vorn v2\" version=\"2.0.0\"")
{
    juce::String text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n\r\n<Marnovex " + rootAttributes + ">\r\n  <Parameters>\r\n";
    for (const auto& line : paramLines)
        text << "    " << line << "\r\n";
    return text + "  </Parameters>\r\n</Marnovex>\r\n";
}

// The bytes a saved preset must have for the values the parameter tree holds,
// built from the file layout rather than by the framework's writer. The
// framework copies values into the tree from a timer: flush them first.
inline std::string expectedPresetText (MarnovexTemplateAudioProcessor& processor)
{
    processor.parameters.copyState();
    juce::StringArray lines;
    for (const auto& param : processor.parameters.state)
        lines.add ("<PARAM id=\"" + param["id"].toString() + "\" value=\"" + param["value"].toString() + "\"/>");
    return presetFileText (lines).toStdString();
}

// A preset that sets Mix to `mix`, so a test can tell which file was loaded.
inline juce::File writePreset (const juce::File& file, float mix)
{
    EXPECT_TRUE (file.getParentDirectory().createDirectory().wasOk());
    EXPECT_TRUE (file.replaceWithText (presetFileText ({ "<PARAM id=\"Mix\" value=\"" + juce::String (mix) + "\"/>" }), false, false, nullptr));
    return file;
}

// The file's bytes, as they are.
inline std::string fileText (const juce::File& file)
{
    juce::MemoryBlock bytes;
    file.loadFileAsData (bytes);
    return { static_cast<const char*> (bytes.getData()), bytes.getSize() };
}

// The only modal box on the desktop, or a test failure.
inline juce::AlertWindow* theAlert()
{
    juce::AlertWindow* found = nullptr;
    runMessageLoopUntil ([&found] {
        const auto alerts = modalAlertWindows();
        found = alerts.size() == 1 ? alerts[0] : nullptr;
        return found != nullptr;
    }, 3000);
    EXPECT_NE (found, nullptr) << modalAlertWindows().size() << " message boxes up";
    return found;
}

// Clicks the button of that text on the only modal box, as a person would,
// and waits until the box has gone and what its callback posted has run.
inline void clickAlertButton (const juce::String& text)
{
    juce::Component::SafePointer<juce::AlertWindow> box (theAlert());
    for (auto* child : box != nullptr ? box->getChildren() : juce::Array<juce::Component*>())
        if (auto* button = dynamic_cast<juce::TextButton*> (child); button != nullptr && button->getButtonText() == text)
        {
            button->triggerClick();
            EXPECT_TRUE (runMessageLoopUntil ([&box] { return box == nullptr || ! box->isCurrentlyModal (false); }, 3000));
            deliverPendingMessages();
            deliverPendingMessages();
            return;
        }
    ADD_FAILURE() << "no button " << text << " on a box";
}

// A bar built by a parent component of the window's width, for a fresh
// processor whose current preset is "Warm.mx" (Mix 30) in a temporary folder.
template <typename Base>
class PresetBarFixture : public Base
{
protected:
    void SetUp() override
    {
        Base::SetUp();
        parent.setSize (590, 60);
        writePreset (current, 30.0f);
        processor.presetManager.currentPresetPath = current.getFullPathName();

        // Each dialog runs a copy of the callback current when it opened, so
        // wrapping them shows what every closing dialog handed back.
        bar.loadCallback = [this, load = bar.loadCallback] (const juce::FileChooser& chooser)
        {
            loadResults.add (chooser.getResult());
            load (chooser);
            namesShownAfterCallbacks.add (bar.presetName.text);
        };
        bar.saveCallback = [this, save = bar.saveCallback] (const juce::FileChooser& chooser)
        {
            saveResults.add (chooser.getResult());
            save (chooser);
            namesShownAfterCallbacks.add (bar.presetName.text);
        };
    }

    // A dialog still open closes while the test's environment is still in place.
    void TearDown() override
    {
        bar.chooser.reset();
        if (parent.isOnDesktop())
            parent.removeFromDesktop();
        Base::TearDown();
    }

    // Runs `open`, which opens a dialog, and waits until a dialog calls back.
    bool openAndWaitForCallback (const std::function<void()>& open)
    {
        const auto before = loadResults.size() + saveResults.size();
        open();
        return runMessageLoopUntil ([this, before] { return loadResults.size() + saveResults.size() > before; });
    }

    // A press on the name display (and its release), through the window's
    // peer, so that the display's own mouse listeners see it.
    void pressPresetName (juce::ModifierKeys keys, juce::ModifierKeys::Flags mouseButton = juce::ModifierKeys::leftButtonModifier)
    {
        if (! parent.isOnDesktop())
        {
            parent.addToDesktop (0);
            parent.setVisible (true);
        }
        auto* peer = parent.getPeer();
        ASSERT_NE (peer, nullptr);

        // Mouse events take their keyboard modifiers from the framework's record
        // of the keyboard, which the peer keeps up to date from the X events.
        const auto where = bar.presetName.getBounds().getCentre().toFloat();
        const auto time = juce::Time::currentTimeMillis();
        for (const auto& [modifiers, when] : { std::pair<juce::ModifierKeys, juce::int64> { keys.withFlags (mouseButton), time },
                                               { keys.withoutMouseButtons(), time + 20 } })
        {
            juce::ModifierKeys::currentModifiers = modifiers;
            peer->handleMouseEvent (juce::MouseInputSource::InputSourceType::mouse, where, modifiers,
                                    juce::MouseInputSource::defaultPressure, juce::MouseInputSource::defaultOrientation, when);
        }
        juce::ModifierKeys::currentModifiers = {};
    }

    void click (juce::Button& button)
    {
        button.triggerClick();
        deliverPendingMessages();
    }

    juce::String currentPath() const { return processor.presetManager.currentPresetPath; }

    TempFolder presets;
    const juce::File current = presets / "User/Warm.mx";
    MarnovexTemplateAudioProcessor processor;
    juce::Component parent;
    marnovex::PresetController bar { parent, processor.presetManager, 590 };
    ChangeCounter changes { processor.presetManager };
    juce::Array<juce::File> loadResults, saveResults;
    juce::StringArray namesShownAfterCallbacks; // the name display as each callback left it
};
} // namespace vorn::test
