// expand: tabs to spaces up to the next tab stop, columns counted in runes.
#ifndef EXPAND_EXPAND_H
#define EXPAND_EXPAND_H

#include "blocks.h"

extern int tab_width;

void expand_file(const char *name);
// The rune-by-rune rules, kept as the reference that the block path is tested against.
void expand_reference(FILE *in, FILE *out);
// The same output, a block at a time.
void expand_blocks(textlib_input *in, textlib_output *out);

#endif
