// Every kernel level this machine runs against the scalar reference: the first bytes choose the
// stops, the starting column, the limit and where in a 64-byte line the text starts; the rest is
// the text, placed in a heap block of exactly its size so that a read past it is a report.
#include "fuzz_support.h"

#include <cstring>
#include <vector>

namespace {

using skip_routine = const char *(*)(const char *, const char *, unsigned, std::uint64_t *,
                                     std::uint64_t);
using count_routine = const char *(*)(const char *, const char *, textlib_counts *, bool *);

struct level_routines {
    textlib_level level;
    skip_routine skip;
    count_routine count;
};

const level_routines LEVELS[] = {
    {TEXTLIB_SSE2, textlib_levels::skip_sse2, textlib_levels::count_sse2},
    {TEXTLIB_AVX2, textlib_levels::skip_avx2, textlib_levels::count_avx2},
    {TEXTLIB_AVX512, textlib_levels::skip_avx512, textlib_levels::count_avx512},
};

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

    std::uint64_t want_column = column;
    const char *const want_stop = textlib_levels::skip_scalar(p, end, stops, &want_column, limit);
    textlib_counts want_counts{};
    bool want_between = between;
    const char *const want_plain =
        textlib_levels::count_scalar(p, end, &want_counts, &want_between);

    for (const level_routines &l : LEVELS) {
        if (!textlib_level_supported(l.level)) continue;
        std::uint64_t got_column = column;
        if (l.skip(p, end, stops, &got_column, limit) != want_stop || got_column != want_column)
            fuzz_fail("every level skips as the reference",
                      static_cast<std::size_t>(want_stop - p));
        textlib_counts got_counts{};
        bool got_between = between;
        if (l.count(p, end, &got_counts, &got_between) != want_plain ||
            got_counts.lines != want_counts.lines || got_counts.words != want_counts.words ||
            got_counts.runes != want_counts.runes || got_between != want_between)
            fuzz_fail("every level counts as the reference",
                      static_cast<std::size_t>(want_plain - p));
    }
    return 0;
}
