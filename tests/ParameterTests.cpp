#include <gtest/gtest.h>

#include "Marnovex_ParameterFunctions.h"
#include "PluginProcessor.h"

TEST (Smoke, ProcessorBuilds)
{
    MarnovexTemplateAudioProcessor processor;
    EXPECT_EQ (processor.getParameters().size(), 9);
}
