// Every kernel level this machine runs against the scalar reference: the first bytes choose the
// stops, the starting column, the limit and where in a 64-byte line the text starts; the rest is
// the text, in a heap block of exactly its size so that a read past it is a report.
#include "fuzz_support.h"

#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    fuzz_bytes options = {data, size};
    const unsigned stops = take_byte(&options) % 32;
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

    static const std::vector<const textlib_level *> levels = runnable_levels();
    textlib_use_level(*levels.front());
    const auto reference = kernel_finds(p, end, stops, column, limit, between);
    for (const textlib_level *level : levels) {
        textlib_use_level(*level);
        const std::string difference =
            kernel_difference(reference, kernel_finds(p, end, stops, column, limit, between));
        if (!difference.empty())
            fuzz_fail((std::string(level->name) + ": " + difference).c_str(), 0);
    }
    return 0;
}
