// tally's block path against its byte-by-byte reference, and both against the runes that
// rune_fgetc reads from the same bytes. The first byte is the block size.
#include "fuzz_support.h"
#include "tally.h"

namespace {

// Counts made from rune_fgetc alone: the stream reader decides what a rune is.
tally_counts counted_by_stream(const std::uint8_t *text, std::size_t size) {
    FILE *in = memory_input(text, size);
    tally_counts c{};
    bool between_words = true;
    for (int r; (r = rune_fgetc(in)) != -1;) {
        c.runes++;
        if (r == RUNE_BAD) {
            c.broken++;
            continue;
        }
        if (r == NEWLINE) c.lines++;
        if (is_blank(r) || r == NEWLINE) {
            between_words = true;
        } else {
            c.words += between_words;
            between_words = false;
        }
    }
    fclose(in);
    c.bytes = size;
    return c;
}

tally_counts counted_plain(const std::uint8_t *text, std::size_t size) {
    FILE *in = memory_input(text, size);
    const tally_counts c = tally_plain(in);
    fclose(in);
    return c;
}

tally_counts counted_by_blocks(const std::uint8_t *text, std::size_t size, std::size_t block) {
    static block_input in;
    block_input_start(&in, file_holding(text, size), block);
    return tally_blocks(&in);
}

bool same(const tally_counts &a, const tally_counts &b) {
    return a.lines == b.lines && a.words == b.words && a.runes == b.runes && a.broken == b.broken &&
           a.bytes == b.bytes;
}

void report(const char *name, const tally_counts &c) {
    std::fprintf(
        stderr, "%s: %llu %llu %llu %llu %llu\n", name, static_cast<unsigned long long>(c.lines),
        static_cast<unsigned long long>(c.words), static_cast<unsigned long long>(c.runes),
        static_cast<unsigned long long>(c.broken), static_cast<unsigned long long>(c.bytes));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    fuzz_bytes options{data, size};
    const unsigned block_byte = take_byte(&options);
    // Small blocks put the edges everywhere; a high byte reads the text at once.
    const std::size_t block = block_byte >= 0x80 ? BLOCK_SIZE : 1 + block_byte;

    const tally_counts by_stream = counted_by_stream(options.data, options.size);
    const tally_counts plain = counted_plain(options.data, options.size);
    const tally_counts by_blocks = counted_by_blocks(options.data, options.size, block);
    if (!same(plain, by_stream)) {
        report("reference", plain);
        report("stream", by_stream);
        fuzz_fail("the reference counts the runes that rune_fgetc reads", 0);
    }
    if (!same(by_blocks, plain)) {
        report("blocks", by_blocks);
        report("reference", plain);
        std::fprintf(stderr, "block size %zu\n", block);
        fuzz_fail("the block path counts what the reference counts", 0);
    }
    return 0;
}
