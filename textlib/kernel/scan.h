// The block-scanning kernel under the tools' fast paths: it passes over text that the codec would
// write back byte for byte, one column a rune, and halts where a tool must look. Internal to
// textlib and the tools; not part of the library's interface.
//
// Plain text is a run of runes each of which is a byte 01 to 7F, or a whole two- or three-byte
// sequence in its shortest form other than U+0080 (C2 80). Everything else ends plain text: the
// byte 00 (rune 0, written as C0 80), overlong forms (C0, C1, E0 80 to E0 9F), U+0080 in either
// form, F0 to FF, continuation bytes that no lead calls for, and leads without all the
// continuation bytes they call for, also where the end of the bytes given cuts them.
#ifndef TEXTLIB_SCAN_H
#define TEXTLIB_SCAN_H

#include <cstddef>
#include <cstdint>
#include <span>

// Bytes a scan halts at besides those that end plain text; they combine with |.
enum textlib_halt : unsigned {
    TEXTLIB_HALT_TAB = 1,
    TEXTLIB_HALT_NEWLINE = 2,
    TEXTLIB_HALT_SPACE = 4,
    // A space, or a newline, followed by a byte that may begin a blank or a newline: 09, 0A, 20,
    // or the leads C0 and E0 of their overlong forms.
    TEXTLIB_HALT_SPACE_RUN = 8,
    TEXTLIB_HALT_NEWLINE_RUN = 16,
};

// What tally counts; a selection of them is a combination of these flags.
enum textlib_count_flag : unsigned {
    TEXTLIB_COUNT_LINES = 1,
    TEXTLIB_COUNT_WORDS = 2,
    TEXTLIB_COUNT_RUNES = 4,
    TEXTLIB_COUNT_BROKEN = 8,
};

// Counts of runes as rune_fgetc groups them.
struct textlib_counts {
    std::uint64_t lines; // newlines, overlong forms included
    // Runes other than tab, space, newline and malformed ones, after one of the first three or
    // the start, with nothing but malformed runes between
    std::uint64_t words;
    std::uint64_t runes;
    std::uint64_t broken; // malformed runes
};

// From p, at a rune boundary, up to end: the first byte of the first rune that is not plain or is
// a stop, or of the first plain rune that would take *column past limit; end if none. *column
// grows by one a rune passed and goes back to 0 after every newline passed; a null column counts
// nothing and sets no limit.
const char *textlib_skip(const char *p, const char *end, unsigned halts, std::uint64_t *column,
                         std::uint64_t limit);

// From p, at a rune boundary (anywhere for lines alone, which need none), up to end: adds to
// *counts the counts that the flags of selection name, and only those, of the runes before end;
// *between_words, read and written only when words are counted, tells whether a word may start
// at p, and on return at the byte returned. at_end tells that no byte follows end: a sequence
// that it cuts is then one malformed rune. Else the count halts before a sequence that bytes
// after end could complete, a lead at end - 1 or a three-byte lead and a continuation byte at
// end - 2; for lines alone, before a C0 or E0 among the last two bytes, which may begin an
// overlong newline. Returns where it stopped.
const char *textlib_tally(const char *p, const char *end, bool at_end, unsigned selection,
                          textlib_counts *counts, bool *between_words);

// The runes that start in the first min(64, end - p) bytes at p, p < end, which begins one,
// grouped as rune_fgetc groups them; bit i of a mask is for byte p[i].
struct textlib_runes {
    std::uint64_t starts;                 // where runes start
    std::uint64_t plain;                  // the starts of the plain runes
    std::uint64_t tabs, newlines, spaces; // bytes 09, 0A and 20
    std::uint64_t zeros;                  // bytes 00
    // The starts of malformed runes of two bytes: a three-byte lead and one continuation byte.
    std::uint64_t cut_short;
    // How many of those bytes belong to runes that lie wholly among them: all but a sequence
    // that the 64 bytes, or end, may cut short. The masks hold these bytes alone.
    unsigned whole;
};

textlib_runes textlib_rune_starts(const char *p, const char *end);

// textlib_rune_starts's runes, and in *four_leads those among them that are bytes F0-F4,
// malformed runes but the leads of UTF-8's four-byte sequences, where continuation bytes follow
// them as far as three or to the end of the bytes looked at.
textlib_runes textlib_rune_starts_fours(const char *p, const char *end, std::uint64_t *four_leads);

// What the first min(64, end - p) bytes at p, p < end, which begins a rune, hold: bit i for
// byte i.
struct textlib_view {
    std::uint64_t tabs, newlines, spaces;
    // How many bytes from p are plain text: up to the first rune that is not plain or that those
    // bytes, or end, may cut short.
    unsigned plain_length;
};

textlib_view textlib_look(const char *p, const char *end);

// A chunk as textlib_scan_lines sees it, kept between scans of the same bytes so that each chunk
// is looked at once, however many lines it holds. Bit i is for at[i].
struct textlib_line_chunk {
    const char *at;  // null when none is kept
    unsigned usable; // the bytes from at that a scan may pass: plain text whose next byte is known
    std::uint64_t starts, separators, newlines; // rune starts; spaces and newlines; newlines
    std::uint64_t halts; // tabs, and separators before a blank, a rune that is not plain or end
};

// The offsets from p that textlib_line.newlines covers.
constexpr std::size_t TEXTLIB_LINE_NEWLINE_WINDOW = 128;

// Where the scan of one line from p stopped.
struct textlib_line {
    const char *q;
    std::uint64_t column; // at q
    // Where the whole words before q end: q when it holds a tab, space or newline, else the last
    // space or newline before q, else p; and the column there.
    const char *words_end;
    std::uint64_t words_column;
    // The newlines in [p, words_end), by their offset from p, below TEXTLIB_LINE_NEWLINE_WINDOW.
    std::uint64_t newlines[2];
};

// The most lines that one textlib_scan_lines ends.
constexpr unsigned TEXTLIB_LINES_MOST = 16;

// Where textlib_scan_lines stopped: the lines it ended at the limit, then the scan of the line
// after them. Line i holds the words from one past ends[i - 1] (from p for the first) up to
// ends[i], the separator that ends it, and newlines[i] are those among them as textlib_line has
// them; last is the scan from one past the last end, or from p.
struct textlib_lines {
    unsigned count;
    const char *ends[TEXTLIB_LINES_MOST];
    std::uint64_t newlines[TEXTLIB_LINES_MOST][2];
    textlib_line last;
};

// From p, at a rune boundary, up to end, with column at most limit: passes plain runes, one
// column each, a newline too. A line stops at a tab; at a newline when newline_halts is set; at a
// space or newline followed by a tab, space, newline, a rune that is not plain, or end; at a rune
// that is not plain; at the first rune that would take the column past limit. One that stops at
// the limit after a space or newline ends there, up to TEXTLIB_LINES_MOST of them, and the scan
// goes on from the next byte, at column opening (limit if that is less) while it has passed no
// newline and at 0 after one. *chunk keeps what was looked at from one call to the next: its at
// must be null before the first call and whenever the bytes have changed.
textlib_lines textlib_scan_lines(textlib_line_chunk *chunk, const char *p, const char *end,
                                 std::uint64_t column, std::uint64_t limit, std::uint64_t opening,
                                 bool newline_halts);

// Writes at o the n bytes at p, n at most 64, as the codec writes runes back: where bit i of
// doubled marks a rune of one byte at p[i] that is not plain, as two bytes (00 as C0 80, 80-FF as
// C2 80); nothing where drop marks one; else the byte as it is. Returns o plus n, less the bytes
// dropped, plus those doubled: a sum of the masks alone, which does not wait for the bytes. o has
// room for 128 bytes, which it may fill past that end, and it may read all 64 bytes at p.
char *textlib_reencode_bytes(char *o, const char *p, unsigned n, std::uint64_t doubled,
                             std::uint64_t drop);
// The reference, which the levels without a writer of their own share.
char *textlib_reencode_bytes_scalar(char *o, const char *p, unsigned n, std::uint64_t doubled,
                                    std::uint64_t drop);

// The set bits of x. The baseline build has no popcount instruction, and the library's would be
// a call.
inline std::uint64_t textlib_bit_count(std::uint64_t x) {
    x = x - ((x >> 1) & 0x5555555555555555);
    x = (x & 0x3333333333333333) + ((x >> 2) & 0x3333333333333333);
    x = (x + (x >> 4)) & 0x0F0F0F0F0F0F0F0F;
    return (x * 0x0101010101010101) >> 56;
}

// Bits below bit n, n at most 64.
inline std::uint64_t textlib_below(unsigned n) {
    return n >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << n) - 1;
}

// The lowest and the highest set bit of x, which has one.
inline unsigned textlib_lowest(std::uint64_t x) {
    return static_cast<unsigned>(__builtin_ctzll(x));
}

inline unsigned textlib_highest(std::uint64_t x) {
    return 63u - static_cast<unsigned>(__builtin_clzll(x));
}

// One level's implementation of the operations above.
struct textlib_kernel {
    const char *(*skip)(const char *p, const char *end, unsigned halts, std::uint64_t *column,
                        std::uint64_t limit);
    const char *(*tally)(const char *p, const char *end, bool at_end, unsigned selection,
                         textlib_counts *counts, bool *between_words);
    textlib_runes (*rune_starts)(const char *p, const char *end);
    textlib_runes (*rune_starts_fours)(const char *p, const char *end, std::uint64_t *four_leads);
    textlib_view (*look)(const char *p, const char *end);
    char *(*reencode_bytes)(char *o, const char *p, unsigned n, std::uint64_t doubled,
                            std::uint64_t drop);
    textlib_lines (*scan_lines)(textlib_line_chunk *chunk, const char *p, const char *end,
                                std::uint64_t column, std::uint64_t limit, std::uint64_t opening,
                                bool newline_halts);
};

// A level of the kernel: every one gives the same results as the scalar reference.
struct textlib_level {
    const char *name;
    bool (*runs_here)(); // whether this CPU has the instructions the level is built with
    textlib_kernel kernel;
};

// The levels this build has, slowest first, the scalar reference first of all.
std::span<const textlib_level *const> textlib_levels();
// The level in use: the last of the list that this CPU runs, chosen at start-up.
const textlib_level &textlib_level_in_use();
// For tests and benchmarks: use this level from now on; it must run here.
void textlib_use_level(const textlib_level &level);

#endif
