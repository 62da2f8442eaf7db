// tabsqueeze's rules of the check kit over fuzzed text, tab widths and lists, -a,
// --display-width, --keep-bytes and block sizes. The first bytes are the options: the block size,
// then the settings.
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    fuzz_bytes options{data, size};
    const std::size_t block = take_block_size(&options);
    // Every blank rune, the overlong forms included, ends in one of the bytes 09, 89, 20 or A0;
    // the squeezed text holds no more tabs than the input holds blanks.
    const run_settings settings = take_settings(&options, bytes_among(options, "\x09\x89\x20\xa0"));
    fuzz_check(tabsqueeze_holds(text_of(options), settings, block));
    return 0;
}
