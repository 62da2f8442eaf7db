// expand's block path against its rune-by-rune reference, over fuzzed text, tab widths and
// block sizes. The first four bytes are the options: the block size, then the tab width.
#include "expand.h"
#include "fuzz_support.h"

#include <climits>
#include <cstring>

namespace {

// The most that the tabs of one input may write, so that huge widths stay quick.
constexpr std::uint64_t SPACES_BUDGET = 1 << 16;

// Every tab rune, the overlong forms included, ends in the byte 09 or 89: an upper bound.
std::uint64_t tabs_at_most(const std::uint8_t *text, std::size_t size) {
    std::uint64_t tabs = 0;
    for (std::size_t i = 0; i < size; i++)
        tabs += text[i] == 0x09 || text[i] == 0x89;
    return tabs;
}

// Mostly 1 to 300, the powers of two among them; with the high bit of the last option byte, a
// width up to what the budget allows, and INT_MAX for text without tabs.
int tab_width_from(unsigned low, unsigned mid, unsigned high, std::uint64_t tabs) {
    if ((high & 0x80) == 0) return static_cast<int>(1 + (mid << 8 | low) % 300);
    if (tabs == 0 && high == 0xFF) return INT_MAX;
    const std::uint64_t limit = tabs == 0 ? INT_MAX : SPACES_BUDGET / tabs;
    const std::uint64_t wanted = (high & 0x7Fu) << 16 | mid << 8 | low;
    return static_cast<int>(1 + wanted % (limit > 300 ? limit : 300));
}

std::string expanded_by_runes(const std::uint8_t *text, std::size_t size) {
    FILE *in = memory_input(text, size);
    captured out;
    capture_start(&out);
    expand_plain(in, out.stream);
    fclose(in);
    return capture_end(&out);
}

std::string expanded_by_blocks(const std::uint8_t *text, std::size_t size, std::size_t block) {
    static block_input in;
    static block_output out;
    captured bytes;
    capture_start(&bytes);
    block_input_start(&in, file_holding(text, size), block);
    block_output_start(&out, bytes.stream);
    expand_blocks(&in, &out);
    block_output_flush(&out);
    return capture_end(&bytes);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    fuzz_bytes options{data, size};
    const unsigned block_byte = take_byte(&options);
    const unsigned low = take_byte(&options);
    const unsigned mid = take_byte(&options);
    const unsigned high = take_byte(&options);
    const std::uint8_t *const text = options.data;
    const std::size_t text_size = options.size;

    // Small blocks put the edges everywhere; a high byte reads the text at once.
    const std::size_t block = block_byte >= 0x80 ? BLOCK_SIZE : 1 + block_byte;
    tab_width = tab_width_from(low, mid, high, tabs_at_most(text, text_size));

    const std::string by_blocks = expanded_by_blocks(text, text_size, block);
    if (by_blocks != expanded_by_runes(text, text_size)) {
        std::fprintf(stderr, "tab width %d, block size %zu\n", tab_width, block);
        fuzz_fail("the block path writes what the rune rules write", 0);
    }
    if (std::memchr(by_blocks.data(), '\t', by_blocks.size()) != nullptr) {
        fuzz_fail("expand's output holds no tab", 0);
    }
    return 0;
}
