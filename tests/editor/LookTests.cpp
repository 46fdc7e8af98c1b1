// The palette and the embedded fonts.

#include <gtest/gtest.h>

#include "Marnovex_Colours.h"
#include "Marnovex_Fonts.h"

#include <BinaryData.h>

namespace
{
using marnovex::Fonts;

TEST (Fonts, SizedFontsShareTheTypefaceMadeFromTheEmbeddedFiles)
{
    const auto book = Fonts::DINosaur().getTypefacePtr();
    const auto bold = Fonts::DINosaurBold().getTypefacePtr();
    ASSERT_NE (book, nullptr);
    ASSERT_NE (bold, nullptr);
    EXPECT_NE (book.get(), bold.get());

    // The typefaces really come from the embedded files: their names are the
    // families inside those files, whatever the machine has installed.
    EXPECT_EQ (book->getName(), bold->getName());
    EXPECT_TRUE (book->getName().isNotEmpty());

    struct Row { const juce::Font& font; const juce::Typeface* typeface; float pointHeight; };
    const Row rows[] = {
        { Fonts::bigger(), book.get(), 12.0f },
        { Fonts::label(), book.get(), 10.0f },
        { Fonts::toggle(), book.get(), 13.0f },
        { Fonts::title(), book.get(), 13.0f },
        { Fonts::time(), bold.get(), 14.0f },
        { Fonts::group(), book.get(), 16.0f },
    };

    for (const auto& row : rows)
    {
        EXPECT_EQ (row.font.getTypefacePtr().get(), row.typeface) << row.pointHeight;
        EXPECT_NEAR (row.font.getHeightInPoints(), row.pointHeight, 1.0e-4f);
    }
}

TEST (Fonts, BoldIsTheHeavierOfTheTwoFiles)
{
    // The two embedded files are easily swapped; the bold one sets the same
    // text wider at the same size.
    const auto book = Fonts::DINosaur().withPointHeight (14.0f);
    const auto bold = Fonts::DINosaurBold().withPointHeight (14.0f);
    EXPECT_GT (bold.getStringWidthFloat ("Marnovex 1/16"), book.getStringWidthFloat ("Marnovex 1/16") * 1.03f);
}

TEST (Colours, DarkColoursAreTheirBaseAtAlpha0x20)
{
    using marnovex::Colours;
    const std::pair<juce::Colour, juce::Colour> pairs[] = {
        { Colours::red, Colours::darkRed },       { Colours::orange, Colours::darkOrange },
        { Colours::yellow, Colours::darkYellow }, { Colours::green, Colours::darkGreen },
        { Colours::blue, Colours::darkBlue },
    };

    for (const auto& [base, dark] : pairs)
        EXPECT_EQ (dark.getARGB(), (base.getARGB() & 0x00FFFFFFu) | 0x20000000u);
}
} // namespace
