#include "tally.h"

#include "blocks.h"
#include "runes.h"
#include "scan.h"
#include "units.h"

#include <cinttypes>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

bool show_lines = false;
bool show_words = false;
bool show_runes = false;
bool show_broken = false;
bool show_bytes = false;

tally_total total_when = TOTAL_AUTO;

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

tally_counts tally_reference(FILE *in) {
    // tally has no --keep-bytes: the units are the runes as rune_fgetc groups the bytes.
    tally_counts c{};
    bool between_words = true;
    textlib_unit_reader reader = {in, 0, {}};
    textlib_unit unit;
    while (textlib_unit_fgetc(&reader, &unit) != -1) {
        count_rune(&c, unit.rune, &between_words);
        c.bytes += unit.n;
    }
    return c;
}

namespace {

tally_counts counted(const textlib_counts &c, std::uint64_t bytes) {
    return {c.lines, c.words, c.runes, c.broken, bytes};
}

} // namespace

unsigned tally_selection() {
    return (show_lines ? TEXTLIB_COUNT_LINES : 0u) | (show_words ? TEXTLIB_COUNT_WORDS : 0u) |
           (show_runes ? TEXTLIB_COUNT_RUNES : 0u) | (show_broken ? TEXTLIB_COUNT_BROKEN : 0u) |
           (show_bytes ? TALLY_BYTES : 0);
}

tally_counts tally_blocks(textlib_input *in, unsigned selection) {
    textlib_counts c{};
    std::uint64_t bytes = 0;
    bool between_words = true;
    textlib_each_block(in, [&](const char *start, const char *end, bool at_eof) {
        const char *const p = textlib_tally(start, end, at_eof, selection, &c, &between_words);
        bytes += static_cast<std::uint64_t>(p - start);
        return p;
    });
    return counted(c, bytes);
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

namespace {

// The bytes from the read position to the end of a file whose size tells them, or -1: a regular
// file with blocks of its own. Files under /proc show a size of 0 and those under /sys 4096,
// whatever they hold, and neither has blocks.
off_t trusted_bytes_left(int fd) {
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= 0 || st.st_blocks <= 0)
        return -1;
    const off_t at = lseek(fd, 0, SEEK_CUR);
    if (at < 0) return -1;
    return at < st.st_size ? st.st_size - at : 0;
}

} // namespace

void tally_file(const char *name) {
    static textlib_input in;
    FILE *const stream = input_open(name);
    const int fd = fileno(stream);
    const unsigned selection = tally_selection();
    const off_t left = selection == TALLY_BYTES ? trusted_bytes_left(fd) : -1;
    tally_counts c{};
    if (left >= 0) {
        // Known from the size; the position moves to the end as a read would move it.
        lseek(fd, left, SEEK_CUR);
        c.bytes = static_cast<std::uint64_t>(left);
        input_close(stream, name);
    } else {
        textlib_input_start(&in, stream, nullptr);
        c = tally_blocks(&in, selection);
        // A failed read ends the program here, before its partial counts reach the output.
        textlib_input_close(&in, name);
    }
    if (total_when != TOTAL_ONLY) print_counts(c.lines, c.words, c.runes, c.broken, c.bytes, name);
    total_lines += c.lines;
    total_words += c.words;
    total_runes += c.runes;
    total_broken += c.broken;
    total_bytes += c.bytes;
}

int tally_names_from(const char *list) {
    FILE *const names = input_open(list);
    char *name = nullptr;
    std::size_t room = 0;
    int count = 0;
    for (; getdelim(&name, &room, '\0', names) != -1; count++) {
        if (names == stdin && std::strcmp(name, "-") == 0) diag_fatal("unable to open %s", name);
        tally_file(name);
    }
    free(name);
    input_close(names, list);
    return count;
}

void print_total(int inputs) {
    if (total_when == TOTAL_NEVER || (total_when == TOTAL_AUTO && inputs < 2)) return;
    print_counts(total_lines, total_words, total_runes, total_broken, total_bytes, "total");
}
