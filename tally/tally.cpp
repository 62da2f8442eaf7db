#include "tally.h"

#include <bit>
#include <cinttypes>
#include <cstring>

bool show_lines = false;
bool show_words = false;
bool show_runes = false;
bool show_broken = false;
bool show_bytes = false;

std::uint64_t total_lines = 0;
std::uint64_t total_words = 0;
std::uint64_t total_runes = 0;
std::uint64_t total_broken = 0;
std::uint64_t total_bytes = 0;

namespace {

// A malformed sequence is a rune, but it neither begins, ends nor splits a word.
inline void count_rune(tally_counts *c, rune16 r, bool *between_words) {
    c->runes++;
    if (r == RUNE_BAD) {
        c->broken++;
    } else if (r == NEWLINE) {
        c->lines++;
        *between_words = true;
    } else if (r == TAB || r == SPACE) {
        *between_words = true;
    } else {
        if (*between_words) c->words++;
        *between_words = false;
    }
}

} // namespace

tally_counts tally_plain(FILE *in) {
    // rune_fgetc decides each rune within its first U8_MAXBYTES bytes, so u8_take over a
    // window of that many groups the bytes as it does.
    tally_counts c{};
    bool between_words = true;
    char window[U8_MAXBYTES];
    std::size_t have = 0;
    bool ended = false;
    for (;;) {
        while (!ended && have < U8_MAXBYTES) {
            const int b = getc(in);
            if (b == EOF)
                ended = true;
            else
                window[have++] = static_cast<char>(b);
        }
        if (have == 0) return c;
        rune16 r;
        const auto took = static_cast<std::size_t>(u8_take(&r, window, have));
        count_rune(&c, r, &between_words);
        c.bytes += took;
        have -= took;
        std::memmove(window, window + took, have);
    }
}

namespace {

constexpr std::uint64_t ONES = 0x0101010101010101;
constexpr std::uint64_t HIGHS = 0x8080808080808080;
constexpr std::uint64_t LOWS = 0x7F7F7F7F7F7F7F7F;

// Eight bytes with the first in memory as the lowest, so that shifting left moves each byte's
// flag onto the byte after it.
inline std::uint64_t load_word(const char *p) {
    std::uint64_t x;
    std::memcpy(&x, p, sizeof x);
    if constexpr (std::endian::native == std::endian::big) x = __builtin_bswap64(x);
    return x;
}

// The high bit of each byte of x whose bit `bit` (0 to 7) is set.
inline std::uint64_t bit_of_bytes(std::uint64_t x, int bit) {
    return (x << (7 - bit)) & HIGHS;
}

// The high bit of each byte of x that is below b; every byte of x must be below 0x80.
inline std::uint64_t bytes_below(std::uint64_t x, unsigned b) {
    return ~(x + ONES * (0x80 - b)) & HIGHS;
}

// The high bit of each byte of x that is b, which must be below 0x80.
inline std::uint64_t bytes_equal(std::uint64_t x, unsigned b) {
    return bytes_below((x & LOWS) ^ (ONES * b), 1) & ~x;
}

// The bytes of x by their roles in UTF-8, as high bits.
struct word_roles {
    std::uint64_t continuation;
    std::uint64_t lead;    // C0-FF
    std::uint64_t lead2;   // C0-DF
    std::uint64_t lead3;   // E0-EF
    std::uint64_t refused; // C0-C2 (overlong ASCII and U+0080), E0 (overlong), F0-FF
};

inline word_roles roles_of(std::uint64_t x) {
    const std::uint64_t high = bit_of_bytes(x, 7);
    const std::uint64_t b6 = bit_of_bytes(x, 6);
    const std::uint64_t b5 = bit_of_bytes(x, 5);
    const std::uint64_t b4 = bit_of_bytes(x, 4);
    word_roles w;
    w.continuation = high & ~b6;
    w.lead = high & b6;
    w.lead2 = w.lead & ~b5;
    w.lead3 = w.lead & b5 & ~b4;
    w.refused = (w.lead2 & bytes_below(x & (ONES * 0x1F), 3)) |
                (w.lead3 & bytes_below(x & (ONES * 0x0F), 1)) | (w.lead & b5 & b4);
    return w;
}

// Whether x is all whole sequences that count_word may take, but for one reaching past it:
// ASCII, or a lead byte C3-DF or E1-EF with all its continuation bytes, which is surely a word
// rune.
inline bool all_plain(const word_roles &w) {
    const std::uint64_t expected = (w.lead << 8) | (w.lead3 << 16);
    return ((expected ^ w.continuation) | w.refused) == 0;
}

// The bytes of a sequence that reaches past an all_plain word: a lead byte last, or E1-EF last
// but one, never both. Two bits decide it, so the next load need not wait for the checks.
inline int reaching_past(const word_roles &w) {
    return static_cast<int>((w.lead >> 63) | (w.lead3 >> 54 & 2));
}

// How many bytes at the start of any word are whole sequences that count_word may take. The
// rest is left to the byte rules: stray continuation bytes, refused lead bytes, sequences cut
// short or reaching past the word.
inline int plain_prefix(const word_roles &w) {
    const std::uint64_t expected = (w.lead << 8) | (w.lead3 << 16);
    const std::uint64_t unfinished = (w.lead2 & ~(w.continuation >> 8)) |
                                     (w.lead3 & ~(w.continuation >> 8 & w.continuation >> 16));
    const std::uint64_t stray = w.continuation & ~expected;
    return std::countr_zero(w.refused | unfinished | stray) / 8;
}

// The number of bytes flagged in m, which holds nothing but high bits. A multiplication sums
// them in the top byte, where popcount would be a library call on baseline x86-64.
inline unsigned flagged(std::uint64_t m) {
    return static_cast<unsigned>(((m >> 7) * ONES) >> 56);
}

// Counts the first n (1 to 8) bytes of x, whole sequences that plain_prefix accepts:
// runes at the bytes that are no continuation bytes, words where one of them is no separator
// and follows one, lines at newlines.
inline void count_word(std::uint64_t x, int n, tally_counts *c, bool *between_words) {
    const std::uint64_t kept = HIGHS >> (8 * (8 - n));
    const std::uint64_t starts = ~(bit_of_bytes(x, 7) & ~bit_of_bytes(x, 6)) & kept;
    const std::uint64_t newlines = bytes_equal(x, NEWLINE) & kept;
    const std::uint64_t separators = newlines | bytes_equal(x, TAB) | bytes_equal(x, SPACE);
    const std::uint64_t after_separator = (separators << 8) | (*between_words ? 0x80 : 0);
    c->words += flagged(starts & ~separators & after_separator);
    c->lines += flagged(newlines);
    c->runes += flagged(starts);
    *between_words = (separators >> (8 * n - 1) & 1) != 0;
}

} // namespace

tally_counts tally_blocks(block_input *in) {
    tally_counts c{};
    bool between_words = true;
    while (block_input_fill(in)) {
        const char *const start = in->data + in->begin;
        const char *const end = in->data + in->end;
        // A sequence that starts before limit has all its bytes in the buffer.
        const char *const limit = in->at_eof ? end : end - (U8_MAXBYTES - 1);
        const char *p = start;
        for (;;) {
            if (end - p >= 8) {
                const std::uint64_t x = load_word(p);
                const word_roles w = roles_of(x);
                if (all_plain(w)) [[likely]] {
                    const int n = 8 - reaching_past(w);
                    count_word(x, n, &c, &between_words);
                    p += n;
                    continue;
                }
                // The plain runes before the first that needs a closer look, then that one.
                const int n = plain_prefix(w);
                if (n > 0) {
                    count_word(x, n, &c, &between_words);
                    p += n;
                }
            }
            if (p >= limit) break;
            rune16 r;
            p += u8_take(&r, p, static_cast<std::size_t>(end - p));
            count_rune(&c, r, &between_words);
        }
        c.bytes += static_cast<std::uint64_t>(p - start);
        in->begin = static_cast<std::size_t>(p - in->data);
    }
    return c;
}

void print_counts(std::uint64_t lines, std::uint64_t words, std::uint64_t runes,
                  std::uint64_t broken, std::uint64_t bytes, const char *name) {
    if (show_lines) printf(" %9" PRIu64, lines);
    if (show_words) printf(" %9" PRIu64, words);
    if (show_runes) printf(" %9" PRIu64, runes);
    if (show_broken) printf(" %9" PRIu64, broken);
    if (show_bytes) printf(" %9" PRIu64, bytes);
    if (std::strcmp(name, "-") != 0) printf(" %s", name);
    putchar('\n');
}

void tally_file(const char *name) {
    static block_input in;
    block_input_start(&in, input_open(name));
    const tally_counts c = tally_blocks(&in);
    // A failed read ends the program here, before its partial counts reach the output.
    block_input_close(&in, name);
    print_counts(c.lines, c.words, c.runes, c.broken, c.bytes, name);
    total_lines += c.lines;
    total_words += c.words;
    total_runes += c.runes;
    total_broken += c.broken;
    total_bytes += c.bytes;
}
