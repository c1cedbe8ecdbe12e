// The picture and the logo as JUCE itself reads them (only in trees built with juce_graphics).

#include "BinaryData.h"
#include "QuindervaleLogoPath.h"

#include <gtest/gtest.h>
#include <juce_graphics/juce_graphics.h>

namespace
{
TEST (BackgroundPicture, DecodesTo600By400)
{
    const auto image = juce::ImageFileFormat::loadFrom (BinaryData::temp_binary_data_3, static_cast<size_t> (BinaryData::temp_binary_data_3Size));
    ASSERT_TRUE (image.isValid());
    EXPECT_EQ (image.getWidth(), 600);
    EXPECT_EQ (image.getHeight(), 400);
}

TEST (LogoPath, LoadsWithTheProportionsTheScreenLaysOut)
{
    juce::Path logo;
    logo.loadPathFromData (quindervaleLogoPath, static_cast<size_t> (quindervaleLogoPathSize));
    ASSERT_FALSE (logo.isEmpty());
    EXPECT_TRUE (logo.isUsingNonZeroWinding());

    const auto bounds = logo.getBounds();
    ASSERT_GT (bounds.getWidth(), 0.0f);
    EXPECT_NEAR (bounds.getHeight() / bounds.getWidth(), 0.221f, 0.001f);
}
} // namespace
