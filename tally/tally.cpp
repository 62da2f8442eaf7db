#include "tally.h"

#include "scan.h"

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
    } else if (r == TEXTLIB_NEWLINE) {
        c->lines++;
        *between_words = true;
    } else if (textlib_is_blank(r)) {
        *between_words = true;
    } else {
        if (*between_words) c->words++;
        *between_words = false;
    }
}

} // namespace

tally_counts tally_plain(FILE *in) {
    // rune_fgetc decides each rune within its first U8_MAXBYTES bytes, so textlib_take over a
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
        const auto took = static_cast<std::size_t>(textlib_take(&r, window, have, true));
        count_rune(&c, r, &between_words);
        c.bytes += took;
        have -= took;
        std::memmove(window, window + took, have);
    }
}

namespace {

// The bytes ahead are plain enough to hand back to the kernel: eight of 01 to 7F.
inline bool plain_ahead(const char *p, const char *end) {
    if (end - p < 8) return false;
    std::uint64_t x;
    std::memcpy(&x, p, sizeof x);
    constexpr std::uint64_t ones = 0x0101010101010101, highs = 0x8080808080808080;
    return ((x | ((x - ones) & ~x)) & highs) == 0;
}

// The exact step: rune by rune, until plain text is ahead. Returns where it stopped; *waiting
// tells that the rune there needs bytes still to come.
const char *tally_runes(const char *p, const char *end, bool at_eof, tally_counts *c,
                        bool *between_words, bool *waiting) {
    while (p < end && !plain_ahead(p, end)) {
        rune16 r;
        const int width = textlib_take(&r, p, static_cast<std::size_t>(end - p), at_eof);
        *waiting = width == 0;
        if (*waiting) break;
        count_rune(c, r, between_words);
        p += width;
    }
    return p;
}

} // namespace

tally_counts tally_blocks(textlib_input *in) {
    tally_counts c{};
    textlib_counts plain{};
    bool between_words = true;
    while (textlib_input_fill(in)) {
        const char *const start = in->data + in->begin;
        const char *const end = in->data + in->end;
        const char *p = start;
        while (p < end) {
            bool waiting = false;
            p = tally_runes(textlib_count(p, end, &plain, &between_words), end, in->at_eof, &c,
                            &between_words, &waiting);
            if (waiting) break;
        }
        c.bytes += static_cast<std::uint64_t>(p - start);
        in->begin = static_cast<std::size_t>(p - in->data);
    }
    c.lines += plain.lines;
    c.words += plain.words;
    c.runes += plain.runes;
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
    static textlib_input in;
    textlib_input_start(&in, input_open(name), nullptr);
    const tally_counts c = tally_blocks(&in);
    // A failed read ends the program here, before its partial counts reach the output.
    textlib_input_close(&in, name);
    print_counts(c.lines, c.words, c.runes, c.broken, c.bytes, name);
    total_lines += c.lines;
    total_words += c.words;
    total_runes += c.runes;
    total_broken += c.broken;
    total_bytes += c.bytes;
}
