// textlib internals: the display width of runes, from the Unicode Character Database 15.0.0.
#ifndef TEXTLIB_WIDTH_H
#define TEXTLIB_WIDTH_H

#include "textlib.h"

#include <cstdint>

// The columns r takes on a terminal: 0 for combining marks, format characters but the soft
// hyphen, and Hangul medial vowels and final consonants, 2 for wide and fullwidth runes, 1 for
// every other (controls, tab, RUNE_BAD and unassigned runes included). No locale is consulted;
// tools/width-differences.txt lists where the C library's wcwidth differs, and why.
int textlib_display_width(rune16 r);
// The same for a character from U+10000 to U+10FFFF, which no rune holds: a four-byte sequence
// that --keep-bytes keeps whole.
int textlib_supplementary_width(std::uint32_t c);

#endif
