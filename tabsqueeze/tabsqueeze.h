// tabsqueeze: runs of blanks back to the shortest tabs and spaces that reach the same column,
// at the start of each line or, with -a, everywhere.
#ifndef TABSQUEEZE_TABSQUEEZE_H
#define TABSQUEEZE_TABSQUEEZE_H

#include "blocks.h"

// tab_width, the distance between tab stops, is textlib's.
// Set by -a: every run of blanks is converted, not only a line's leading one.
extern bool all_blanks;

void tabsqueeze_file(const char *name);
// The rune-by-rune rules, kept as the reference that the block path is tested against.
void tabsqueeze_reference(FILE *in, FILE *out);
// The same output, a block at a time.
void tabsqueeze_blocks(textlib_input *in, textlib_output *out);

#endif
