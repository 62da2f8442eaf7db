// tally: lines, words, runes, malformed sequences and bytes of each input, with a total line.
#ifndef TALLY_TALLY_H
#define TALLY_TALLY_H

#include "filter.h"

#include <cstdint>

// Which counts are printed and made.
extern bool show_lines;
extern bool show_words;
extern bool show_runes;
extern bool show_broken;
extern bool show_bytes;

// Sums over every input counted so far, for the total line.
extern std::uint64_t total_lines;
extern std::uint64_t total_words;
extern std::uint64_t total_runes;
extern std::uint64_t total_broken;
extern std::uint64_t total_bytes;

struct tally_counts {
    std::uint64_t lines;
    std::uint64_t words;
    std::uint64_t runes;
    std::uint64_t broken;
    std::uint64_t bytes;
};

// One line of the selected counts, then the name unless it is "-".
void print_counts(std::uint64_t lines, std::uint64_t words, std::uint64_t runes,
                  std::uint64_t broken, std::uint64_t bytes, const char *name);
void tally_file(const char *name);
// The byte-by-byte rules, kept as the reference that the block path is tested against.
tally_counts tally_plain(FILE *in);
// A selection of counts: the kernel's flags for lines, words, runes and malformed runes, and
// this one for bytes.
constexpr unsigned TALLY_BYTES = 16;
// The selection that the show_ flags make.
unsigned tally_selection();
// The same counts, a block at a time: those that selection names, the bytes always, and 0 for
// the rest.
tally_counts tally_blocks(textlib_input *in, unsigned selection);

#endif
