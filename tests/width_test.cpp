#include "width.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <fstream>
#include <vector>
#include <wchar.h>

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
    // Above U+FFFF: emoji and their modifiers, ideographs of planes 2 and 3 (reserved ones too),
    // Tangut; marks, tags and variation selectors; letters, regional indicators, private use,
    // unassigned.
    const std::pair<int, std::vector<std::uint32_t>> characters[] = {
        {2,
         {0x1F44B, 0x1F600, 0x1F3FB, 0x1F004, 0x20000, 0x2A6DF, 0x2FFFD, 0x3134A, 0x3FFFD,
          0x17000}},
        {0, {0x101FD, 0x1D167, 0x110BD, 0xE0001, 0xE007F, 0xE0100, 0xE01EF}},
        {1, {0x10000, 0x10400, 0x1F1E6, 0x2FFFE, 0x3FFFE, 0x40000, 0xF0000, 0x10FFFF}},
    };
    for (const auto &[width, group] : characters) {
        for (const std::uint32_t c : group)
            EXPECT_EQ(textlib_supplementary_width(c), width) << "U+" << std::hex << c;
    }
}

// Every rune whose width differs from wcwidth's in C.UTF-8, one "RUNE TABLE WCWIDTH" line each,
// against those tools/width-differences.txt keeps. wcwidth's -1, no width known (controls,
// surrogates, unassigned), counts as 1: the tools give such runes one column.
TEST(Width, DiffersFromTheCLibraryOnlyWhereListed) {
    if (setlocale(LC_CTYPE, "C.UTF-8") == nullptr) GTEST_SKIP() << "no C.UTF-8 locale";
    const auto row = [](unsigned r, int ours, int theirs) {
        char line[32];
        std::snprintf(line, sizeof line, "%04X %d %d\n", r, ours, theirs);
        return std::string(line);
    };
    std::string found, listed;
    for (unsigned r = 0; r < 0x110000; r++) {
        const int ours = r < 0x10000 ? textlib_display_width(static_cast<rune16>(r))
                                     : textlib_supplementary_width(r);
        const int known = wcwidth(static_cast<wchar_t>(r));
        if (ours != (known == -1 ? 1 : known)) found += row(r, ours, known == -1 ? 1 : known);
    }
    setlocale(LC_CTYPE, "C");
    std::ifstream in(std::string(SOURCE_DIR) + "/tools/width-differences.txt");
    ASSERT_TRUE(in.is_open());
    for (std::string line; std::getline(in, line);) {
        unsigned first = 0, last = 0;
        int ours = 0, theirs = 0;
        if (line.empty() || line[0] == '#') continue;
        if (std::sscanf(line.c_str(), "%x..%x %d %d", &first, &last, &ours, &theirs) != 4) {
            ASSERT_EQ(std::sscanf(line.c_str(), "%x %d %d", &first, &ours, &theirs), 3) << line;
            last = first;
        }
        for (unsigned r = first; r <= last; r++)
            listed += row(r, ours, theirs);
    }
    // Tens of thousands of lines: where they part says enough.
    const auto part = std::mismatch(found.begin(), found.end(), listed.begin(), listed.end());
    EXPECT_TRUE(found == listed) << "found " << std::string(part.first, found.end()).substr(0, 60)
                                 << "\nlisted "
                                 << std::string(part.second, listed.end()).substr(0, 60);
}

} // namespace
