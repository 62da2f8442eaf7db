// Helpers shared by the fuzz targets: options taken from the front of the input, the input as a
// file with a descriptor, output captured in memory, and failures that libFuzzer records.
#ifndef FUZZ_FUZZ_SUPPORT_H
#define FUZZ_FUZZ_SUPPORT_H

#include "columns.h"
#include "step.h"
#include "kernel_check.h"

#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

// The bytes not yet taken as options.
struct fuzz_bytes {
    const std::uint8_t *data;
    std::size_t size;
};

// The next byte as an option value, or 0 once the input is used up.
inline unsigned take_byte(fuzz_bytes *in) {
    if (in->size == 0) return 0;
    in->size--;
    return *in->data++;
}

// A block size for the block readers from one option byte: 1 to 128 put the block edges
// everywhere; a byte with its high bit set reads the text at once.
inline std::size_t take_block_size(fuzz_bytes *in) {
    const unsigned byte = take_byte(in);
    return byte >= 0x80 ? TEXTLIB_BLOCK : 1 + byte;
}

// A stream that reads exactly these bytes through stdio.
inline FILE *memory_input(const std::uint8_t *data, std::size_t size) {
    static std::uint8_t nothing;
    void *const bytes = size == 0 ? &nothing : const_cast<std::uint8_t *>(data);
    FILE *const stream = fmemopen(bytes, size, "r");
    if (stream == nullptr) std::abort();
    return stream;
}

// One temporary file, refilled for each input, for the readers that read(2) its descriptor. The
// stream itself is never read through stdio, so it holds no buffered bytes or end-of-file mark.
inline FILE *file_holding(const std::uint8_t *data, std::size_t size) {
    static FILE *const file = tmpfile();
    if (file == nullptr) std::abort();
    const int fd = fileno(file);
    if (ftruncate(fd, 0) != 0 || pwrite(fd, data, size, 0) != static_cast<ssize_t>(size) ||
        lseek(fd, 0, SEEK_SET) != 0) {
        std::abort();
    }
    return file;
}

// Output written to a stream, kept in memory.
struct captured {
    char *data;
    std::size_t size;
    FILE *stream;
};

inline void capture_start(captured *c) {
    c->data = nullptr;
    c->size = 0;
    c->stream = open_memstream(&c->data, &c->size);
    if (c->stream == nullptr) std::abort();
}

inline std::string capture_end(captured *c) {
    fclose(c->stream);
    std::string bytes(c->data, c->size);
    free(c->data);
    return bytes;
}

// What a plain routine (rune_fgetc in, rune_fputc out) writes for these bytes.
inline std::string run_by_runes(void (*routine)(FILE *, FILE *), const std::uint8_t *text,
                                std::size_t size) {
    FILE *in = memory_input(text, size);
    captured out;
    capture_start(&out);
    routine(in, out.stream);
    fclose(in);
    return capture_end(&out);
}

// What a block routine writes for these bytes, read `block` bytes at a time, at the next level.
inline std::string run_by_blocks(void (*routine)(textlib_input *, textlib_output *),
                                 const std::uint8_t *text, std::size_t size, std::size_t block) {
    static textlib_input in;
    static textlib_output out;
    captured bytes;
    capture_start(&bytes);
    use_next_level();
    textlib_output_start(&out, bytes.stream);
    textlib_input_start(&in, file_holding(text, size), &out, block);
    routine(&in, &out);
    textlib_output_flush(&out);
    return capture_end(&bytes);
}

// The most spaces that the tab stops of one input may stand for, so that huge widths stay quick.
constexpr std::uint64_t SPACES_BUDGET = 1 << 16;

// A tab width from three option bytes: mostly 1 to 300; with the high bit of the last byte, a
// width up to what the budget allows for text with at most `stops` tabs or blanks, and INT_MAX
// for text with none.
inline int budgeted_tab_width(unsigned low, unsigned mid, unsigned high, std::uint64_t stops) {
    if ((high & 0x80) == 0) return static_cast<int>(1 + (mid << 8 | low) % 300);
    if (stops == 0 && high == 0xFF) return INT_MAX;
    const std::uint64_t limit = stops == 0 ? INT_MAX : SPACES_BUDGET / stops;
    const std::uint64_t wanted = (high & 0x7Fu) << 16 | mid << 8 | low;
    return static_cast<int>(1 + wanted % (limit > 300 ? limit : 300));
}

// A broken rule: says which and where, then aborts so that libFuzzer keeps the input.
[[noreturn]] inline void fuzz_fail(const char *rule, std::size_t offset) {
    std::fprintf(stderr, "broken rule: %s (input offset %zu)\n", rule, offset);
    std::abort();
}

#endif
