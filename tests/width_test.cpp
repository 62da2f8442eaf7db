#include "width.h"

#include <gtest/gtest.h>
#include <vector>

namespace {

struct width_group {
    int width;
    std::vector<rune16> runes;
};

// Widths from the Unicode Character Database 15.0.0 by the rules in tools/make-width-table,
// written out by hand.
TEST(Width, RunesTakeTheColumnsOfTheirUnicodeProperties) {
    const width_group groups[] = {
        // Ideographs, Hangul, kana, radicals, fullwidth forms.
        {2,
         {0x4E00, 0x9FA5, 0xAC00, 0xD7A3, 0x1100, 0x115F, 0xA960, 0x3042, 0x30A2, 0x3000, 0xFF01,
          0xFF21, 0xFFE0, 0x2E80, 0x2F00, 0x303E}},
        // Halfwidth, ambiguous and neutral runes beside the wide ones.
        {1, {0xFF76, 0xFF61, 0x303F, 0x4DC0, 0x1200, 0x2010, 0x0903, 0x00AD}},
        // Marks, wide ones too, and one new in 15.0.0; format characters: zero-width, bidi
        // controls, prepended concatenation marks, annotation marks; Hangul medials and finals.
        {0, {0x0300, 0x0301, 0x20DD, 0xFE0F, 0x3099, 0x302A, 0x0ECE, 0x200B, 0x200D,
             0x200F, 0x2060, 0x2064, 0xFEFF, 0x061C, 0x180E, 0x202A, 0x202E, 0x2066,
             0x206F, 0x0600, 0x08E2, 0xFFF9, 0xFFFB, 0x1160, 0x11FF}},
        // Latin, Greek, Cyrillic, controls, RUNE_BAD, surrogates, private use, specials.
        {1,
         {'A', ' ', '~', 0, '\t', 0x1B, 0x7F, RUNE_BAD, 0x00E9, 0x02FF, 0x03B1, 0x0416, 0xD800,
          0xE000, 0xFFFD, 0xFFFF}},
        // Unassigned: wide in the CJK ideograph blocks, as the database defaults them there.
        {2, {0xFA6E, 0xFADA}},
        {1, {0x3040, 0xD7A4}},
    };
    for (const width_group &group : groups) {
        for (const rune16 r : group.runes) {
            EXPECT_EQ(textlib_display_width(r), group.width) << "U+" << std::hex << r;
        }
    }
}

} // namespace
