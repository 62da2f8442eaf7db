// expand's block path against its rune-by-rune reference, over fuzzed text, tab widths and
// block sizes, with and without --keep-bytes. The first four bytes are the options: the block
// size, then the tab width.
#include "expand.h"
#include "fuzz_support.h"

#include <cstring>

namespace {

// Every tab rune, the overlong forms included, ends in the byte 09 or 89: an upper bound.
std::uint64_t tabs_at_most(const std::uint8_t *text, std::size_t size) {
    std::uint64_t tabs = 0;
    for (std::size_t i = 0; i < size; i++)
        tabs += text[i] == 0x09 || text[i] == 0x89;
    return tabs;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    fuzz_bytes options{data, size};
    const std::size_t block = take_block_size(&options);
    const unsigned low = take_byte(&options);
    const unsigned mid = take_byte(&options);
    const unsigned high = take_byte(&options);
    const std::uint8_t *const text = options.data;
    const std::size_t text_size = options.size;

    tab_width = budgeted_tab_width(low, mid, high, tabs_at_most(text, text_size));

    for (const bool keep : {false, true}) {
        keep_bytes = keep;
        const std::string by_blocks = run_by_blocks(expand_blocks, text, text_size, block);
        if (by_blocks != run_by_runes(expand_plain, text, text_size)) {
            std::fprintf(stderr, "tab width %d, block size %zu, keep bytes %d\n", tab_width, block,
                         keep);
            fuzz_fail("the block path writes what the rune rules write", 0);
        }
        if (std::memchr(by_blocks.data(), '\t', by_blocks.size()) != nullptr) {
            fuzz_fail("expand's output holds no tab", 0);
        }
    }
    return 0;
}
