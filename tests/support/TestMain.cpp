#include <gtest/gtest.h>
#include <juce_events/juce_events.h>

// The test thread is JUCE's message thread, so timers and async updates
// run whenever a test pumps the dispatch loop.
int main (int argc, char** argv)
{
    testing::InitGoogleTest (&argc, argv);
    juce::ScopedJuceInitialiser_GUI juceInitialiser;
    return RUN_ALL_TESTS();
}
