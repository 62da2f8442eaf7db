// tabsqueeze's block path against its rune-by-rune reference, over fuzzed text, tab widths, -a and
// block sizes, with and without --keep-bytes; and the squeezed text, once expanded, is the input
// expanded. The first five bytes are the options: the block size, the flags (bit 0 is -a), then
// the tab width.
#include "expand.h"
#include "fuzz_support.h"
#include "tabsqueeze.h"

namespace {

// Every blank rune, the overlong forms included, ends in one of the bytes 09, 89, 20 or A0; the
// squeezed text holds no more tabs than the input holds blanks.
std::uint64_t blanks_at_most(const std::uint8_t *text, std::size_t size) {
    std::uint64_t blanks = 0;
    for (std::size_t i = 0; i < size; i++) {
        const std::uint8_t low7 = text[i] & 0x7F;
        blanks += low7 == 0x09 || low7 == 0x20;
    }
    return blanks;
}

const std::uint8_t *bytes_of(const std::string &s) {
    return reinterpret_cast<const std::uint8_t *>(s.data());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    fuzz_bytes options{data, size};
    const std::size_t block = take_block_size(&options);
    const unsigned flags = take_byte(&options);
    const unsigned low = take_byte(&options);
    const unsigned mid = take_byte(&options);
    const unsigned high = take_byte(&options);
    const std::uint8_t *const text = options.data;
    const std::size_t text_size = options.size;

    all_blanks = (flags & 1) != 0;
    tab_width = budgeted_tab_width(low, mid, high, blanks_at_most(text, text_size));

    for (const bool keep : {false, true}) {
        keep_bytes = keep;
        const std::string by_blocks = run_by_blocks(tabsqueeze_blocks, text, text_size, block);
        if (by_blocks != run_by_runes(tabsqueeze_plain, text, text_size)) {
            std::fprintf(stderr, "tab width %d, -a %d, block size %zu, keep bytes %d\n", tab_width,
                         all_blanks, block, keep);
            fuzz_fail("the block path writes what the rune rules write", 0);
        }
        if (run_by_runes(expand_plain, bytes_of(by_blocks), by_blocks.size()) !=
            run_by_runes(expand_plain, text, text_size)) {
            std::fprintf(stderr, "tab width %d, -a %d, keep bytes %d\n", tab_width, all_blanks,
                         keep);
            fuzz_fail("expanding the squeezed text gives the input expanded", 0);
        }
    }
    return 0;
}
