// tally: lines, words, runes, malformed sequences and bytes of each input, with a total line.
#ifndef TALLY_TALLY_H
#define TALLY_TALLY_H

#include "blocks.h"

#include <cstdint>
#include <sys/types.h>

// Which counts are printed and made.
extern bool show_lines;
extern bool show_words;
extern bool show_runes;
extern bool show_broken;
extern bool show_bytes;

// When the total line is printed: after more than one input, always, never, or alone, without
// the line of each input.
enum tally_total { TOTAL_AUTO, TOTAL_ALWAYS, TOTAL_NEVER, TOTAL_ONLY };
extern tally_total total_when;

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
// tally_file for each name in the file list ("-" for standard input), each ended by a zero byte;
// returns how many. A name "-" in a list read from standard input would read the list itself, and
// cannot be opened.
int tally_names_from(const char *list);
// The total line, if total_when and the count of inputs call for it.
void print_total(int inputs);
// The byte-by-byte rules, kept as the reference that the block path is tested against.
tally_counts tally_reference(FILE *in);
// A selection of counts: the kernel's flags for lines, words, runes and malformed runes, and
// this one for bytes.
constexpr unsigned TALLY_BYTES = 16;
// The selection that the show_ flags make.
unsigned tally_selection();
// The same counts, a block at a time: those that selection names, the bytes always, and 0 for
// the rest.
tally_counts tally_blocks(textlib_input *in, unsigned selection);

#endif
