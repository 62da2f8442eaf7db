// The block-scanning kernel under the tools' fast paths: it passes over text that the codec would
// write back byte for byte, one column a rune, and stops where a tool must look. Internal to
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

// Bytes a scan stops at besides those that end plain text; they combine with |.
enum textlib_stop : unsigned {
    TEXTLIB_STOP_TAB = 1,
    TEXTLIB_STOP_NEWLINE = 2,
    TEXTLIB_STOP_SPACE = 4,
    // A space, or a newline, followed by a byte that may begin a blank or a newline: 09, 0A, 20,
    // or the leads C0 and E0 of their overlong forms.
    TEXTLIB_STOP_SPACE_RUN = 8,
    TEXTLIB_STOP_NEWLINE_RUN = 16,
    // Not a stop: a newline passed takes a column like any other rune instead of starting a line.
    TEXTLIB_NEWLINE_TAKES_COLUMN = 32,
};

// What the tools count over plain text.
struct textlib_counts {
    std::uint64_t lines; // newlines
    std::uint64_t words; // runes other than tab, space and newline that follow one or the start
    std::uint64_t runes;
};

// Implementations, slowest first; each gives the same results as the scalar reference.
enum textlib_level { TEXTLIB_SCALAR, TEXTLIB_SSE2, TEXTLIB_AVX2, TEXTLIB_AVX512 };

// From p, at a rune boundary, up to end: the first byte of the first rune that is not plain or is
// a stop, or of the first plain rune that would take *column past limit; end if none. *column
// grows by one a rune passed and goes back to 0 after every newline passed; a null column counts
// nothing and sets no limit.
const char *textlib_skip(const char *p, const char *end, unsigned stops, std::uint64_t *column,
                         std::uint64_t limit);

// From p, at a rune boundary, up to end: the first byte of the first rune that is not plain, or
// end. Adds the lines, words and runes passed to *counts; *between_words tells on entry whether a
// word may start at p, and on return at the byte returned.
const char *textlib_count(const char *p, const char *end, textlib_counts *counts,
                          bool *between_words);

// The runes that start in the first min(64, end - p) bytes at p, p < end, which begins one,
// grouped as rune_fgetc groups them: bit i is set where a rune starts at p[i]. *whole receives
// how many of those bytes belong to runes that lie wholly among them: all but a sequence that
// the 64 bytes, or end, may cut short; *plain the starts of the plain runes among them.
std::uint64_t textlib_rune_starts(const char *p, const char *end, unsigned *whole,
                                  std::uint64_t *plain);

// What the first min(64, end - p) bytes at p, p < end, which begins a rune, hold: bit i for
// byte i.
struct textlib_view {
    std::uint64_t tabs, newlines, spaces;
    // The bytes from p that are plain text: up to the first rune that is not plain or that those
    // bytes, or end, may cut short.
    unsigned plain;
};

textlib_view textlib_look(const char *p, const char *end);

// The level in use: the fastest that the CPU supports, chosen at start-up.
textlib_level textlib_scan_level();
const char *textlib_level_name(textlib_level level);
// The fastest level for a CPU with these features.
textlib_level textlib_level_for(bool sse2, bool avx2, bool avx512bw);
// Whether this CPU and build can run a level.
bool textlib_level_supported(textlib_level level);
// For tests and benchmarks: use this level from now on; it must be supported.
void textlib_force_level(textlib_level level);

// One level's implementation of the operations above.
struct textlib_kernel {
    const char *(*skip)(const char *p, const char *end, unsigned stops, std::uint64_t *column,
                        std::uint64_t limit);
    const char *(*count)(const char *p, const char *end, textlib_counts *counts,
                         bool *between_words);
    std::uint64_t (*rune_starts)(const char *p, const char *end, unsigned *whole,
                                 std::uint64_t *plain);
    textlib_view (*look)(const char *p, const char *end);
};

// The levels themselves, for the dispatch.
extern const textlib_kernel textlib_kernel_scalar;
#if defined(__x86_64__)
extern const textlib_kernel textlib_kernel_sse2;
extern const textlib_kernel textlib_kernel_avx2;
extern const textlib_kernel textlib_kernel_avx512;
#endif

#endif
