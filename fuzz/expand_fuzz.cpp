// expand's rules of the check kit over fuzzed text, tab widths and block sizes. The first four
// bytes are the options: the block size, then the tab width.
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    fuzz_bytes options{data, size};
    const std::size_t block = take_block_size(&options);
    const unsigned low = take_byte(&options);
    const unsigned mid = take_byte(&options);
    const unsigned high = take_byte(&options);
    run_settings settings;
    // Every tab rune, the overlong forms included, ends in the byte 09 or 89: an upper bound.
    settings.tabs =
        std::to_string(budgeted_tab_width(low, mid, high, bytes_among(options, "\x09\x89")));
    fuzz_check(expand_holds(text_of(options), settings, block));
    return 0;
}
