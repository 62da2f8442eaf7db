// tabsqueeze's rules of the check kit over fuzzed text, tab widths, -a and block sizes. The first
// five bytes are the options: the block size, the flags (bit 0 is -a), then the tab width.
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    fuzz_bytes options{data, size};
    const std::size_t block = take_block_size(&options);
    const unsigned flags = take_byte(&options);
    const unsigned low = take_byte(&options);
    const unsigned mid = take_byte(&options);
    const unsigned high = take_byte(&options);
    run_settings settings;
    settings.all_blanks = (flags & 1) != 0;
    // Every blank rune, the overlong forms included, ends in one of the bytes 09, 89, 20 or A0;
    // the squeezed text holds no more tabs than the input holds blanks.
    settings.tabs = std::to_string(
        budgeted_tab_width(low, mid, high, bytes_among(options, "\x09\x89\x20\xa0")));
    fuzz_check(tabsqueeze_holds(text_of(options), settings, block));
    return 0;
}
