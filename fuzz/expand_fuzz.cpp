// expand's rules of the check kit over fuzzed text, tab widths and lists, --display-width,
// --keep-bytes and block sizes. The first bytes are the options: the block size, then the settings.
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    fuzz_bytes options{data, size};
    const std::size_t block = take_block_size(&options);
    // Every tab rune, the overlong forms included, ends in the byte 09 or 89: an upper bound.
    const run_settings settings = take_settings(&options, bytes_among(options, "\x09\x89"));
    fuzz_check(expand_holds(text_of(options), settings, block));
    return 0;
}
