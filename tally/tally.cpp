#include "tally.h"

#include "columns.h"
#include "step.h"

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

// count_rune for the block path's exact step, without a branch on the rune: in text of bytes at
// random, no test on a rune's class is predictable.
inline void count_rune_at_random(tally_counts *c, rune16 r, bool *between_words) {
    const bool bad = r == RUNE_BAD, newline = r == TEXTLIB_NEWLINE;
    const bool separator = newline | textlib_is_blank(r);
    c->runes++;
    c->broken += bad;
    c->lines += newline;
    c->words += !bad & !separator & *between_words;
    *between_words = bad ? *between_words : separator;
}

// The exact step where text is not plain, every rune on its own; says where it stopped.
textlib_step_kind count_runes(const char **p, const char *end, bool at_eof, tally_counts *c,
                              bool *between_words) {
    textlib_step step = textlib_step_start(*p, end, at_eof);
    for (;;) {
        const textlib_step_kind kind = textlib_step_next_rune(&step);
        switch (kind) {
        case TEXTLIB_RUNE: count_rune_at_random(c, step.rune, between_words); break;
        case TEXTLIB_STRETCH:
        case TEXTLIB_MORE:
        case TEXTLIB_PLAIN: *p = step.next; return kind;
        }
    }
}

} // namespace

tally_counts tally_blocks(textlib_input *in) {
    tally_counts c{};
    textlib_counts plain{};
    bool between_words = true;
    textlib_each_block(in, [&](const char *start, const char *end, bool at_eof) {
        const char *p = start;
        while (p < end) {
            p = textlib_count(p, end, &plain, &between_words);
            if (count_runes(&p, end, at_eof, &c, &between_words) == TEXTLIB_MORE) break;
        }
        c.bytes += static_cast<std::uint64_t>(p - start);
        return p;
    });
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
