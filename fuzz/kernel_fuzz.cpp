// Every kernel level this machine runs against the scalar reference: the first bytes choose the
// stops, the starting column, the limit and where in a 64-byte line the text starts; the rest is
// the text, in a heap block of exactly its size so that a read past it is a report.
#include "fuzz_support.h"

#include <cstring>
#include <tuple>
#include <vector>

namespace {

// What the kernel finds at p: a skip, a count, and the rune starts of the first chunk.
auto kernel_finds(const char *p, const char *end, unsigned stops, std::uint64_t column,
                  std::uint64_t limit, bool between) {
    const char *const skipped = textlib_skip(p, end, stops, &column, limit);
    textlib_counts c{};
    const char *const counted = textlib_count(p, end, &c, &between);
    std::uint64_t starts = 0, plain = 0;
    unsigned whole = 0;
    if (p < end) starts = textlib_rune_starts(p, end, &whole, &plain);
    return std::make_tuple(skipped, column, counted, c.lines, c.words, c.runes, between, starts,
                           whole, plain);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    fuzz_bytes options = {data, size};
    const unsigned stops = take_byte(&options) % 64;
    const std::uint64_t column = take_byte(&options);
    const unsigned limit_byte = take_byte(&options);
    const std::uint64_t limit = limit_byte == 0xFF ? ~std::uint64_t{0} : column + limit_byte;
    const bool between = (take_byte(&options) & 1) != 0;
    const std::size_t shift = take_byte(&options) % 64;

    std::vector<char> block(shift + options.size + 1);
    std::memcpy(block.data() + shift, options.data, options.size);
    block.pop_back();
    const char *const p = block.data() + shift;
    const char *const end = p + options.size;

    textlib_force_level(TEXTLIB_SCALAR);
    const auto reference = kernel_finds(p, end, stops, column, limit, between);
    for (const textlib_level level : {TEXTLIB_SSE2, TEXTLIB_AVX2, TEXTLIB_AVX512}) {
        if (!textlib_level_supported(level)) continue;
        textlib_force_level(level);
        if (kernel_finds(p, end, stops, column, limit, between) != reference)
            fuzz_fail(textlib_level_name(level), 0);
    }
    return 0;
}
