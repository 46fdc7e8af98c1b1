#include <gtest/gtest.h>
#include <juce_events/juce_events.h>

// JUCE stays initialised for the whole run: message manager, fonts, timers.
int main (int argc, char** argv)
{
    ::testing::InitGoogleTest (&argc, argv);
    juce::ScopedJuceInitialiser_GUI juce;
    return RUN_ALL_TESTS();
}
