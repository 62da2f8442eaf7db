// textlib internals: the display width of runes, from the Unicode Character Database 15.0.0.
#ifndef TEXTLIB_WIDTH_H
#define TEXTLIB_WIDTH_H

#include "textlib.h"

// The columns r takes on a terminal: 0 for combining marks, format characters but the soft
// hyphen, and Hangul medial vowels and final consonants, 2 for wide and fullwidth runes, 1 for
// every other (controls, tab, RUNE_BAD and unassigned runes included). No locale is consulted;
// tools/width-differences.txt lists where the C library's wcwidth differs, and why.
int textlib_display_width(rune16 r);

#endif
