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

unsigned tally_selection() {
    return (show_lines ? TEXTLIB_COUNT_LINES : 0u) | (show_words ? TEXTLIB_COUNT_WORDS : 0u) |
           (show_runes ? TEXTLIB_COUNT_RUNES : 0u) | (show_broken ? TEXTLIB_COUNT_BROKEN : 0u) |
           (show_bytes ? TALLY_BYTES : 0);
}

tally_counts tally_blocks(textlib_input *in, unsigned selection) {
    textlib_counts c{};
    std::uint64_t bytes = 0;
    bool between_words = true;
    while (textlib_input_fill(in)) {
        const char *const start = in->data + in->begin;
        const char *const p =
            textlib_tally(start, in->data + in->end, in->at_eof, selection, &c, &between_words);
        bytes += static_cast<std::uint64_t>(p - start);
        in->begin = static_cast<std::size_t>(p - in->data);
    }
    return {c.lines, c.words, c.runes, c.broken, bytes};
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
    const tally_counts c = tally_blocks(&in, tally_selection());
    // A failed read ends the program here, before its partial counts reach the output.
    textlib_input_close(&in, name);
    print_counts(c.lines, c.words, c.runes, c.broken, c.bytes, name);
    total_lines += c.lines;
    total_words += c.words;
    total_runes += c.runes;
    total_broken += c.broken;
    total_bytes += c.bytes;
}
