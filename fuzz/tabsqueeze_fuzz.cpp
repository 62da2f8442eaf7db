// tabsqueeze's block path against its rune-by-rune reference, over fuzzed text, tab widths, -a and
// block sizes; and the squeezed text, once expanded, is the input expanded. The first five bytes
// are the options: the block size, the flags (bit 0 is -a), then the tab width.
#include "expand.h"
#include "fuzz_support.h"
#include "tabsqueeze.h"

#include <climits>

namespace {

// The most that expanding one input may write, so that huge widths stay quick.
constexpr std::uint64_t SPACES_BUDGET = 1 << 16;

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

// Mostly 1 to 300; with the high bit of the last option byte, a width up to what the budget
// allows, and INT_MAX for text without blanks.
int tab_width_from(unsigned low, unsigned mid, unsigned high, std::uint64_t blanks) {
    if ((high & 0x80) == 0) return static_cast<int>(1 + (mid << 8 | low) % 300);
    if (blanks == 0 && high == 0xFF) return INT_MAX;
    const std::uint64_t limit = blanks == 0 ? INT_MAX : SPACES_BUDGET / blanks;
    const std::uint64_t wanted = (high & 0x7Fu) << 16 | mid << 8 | low;
    return static_cast<int>(1 + wanted % (limit > 300 ? limit : 300));
}

std::string run_plain(void (*routine)(FILE *, FILE *), const std::uint8_t *text, std::size_t size) {
    FILE *in = memory_input(text, size);
    captured out;
    capture_start(&out);
    routine(in, out.stream);
    fclose(in);
    return capture_end(&out);
}

std::string squeezed_by_blocks(const std::uint8_t *text, std::size_t size, std::size_t block) {
    static block_input in;
    static block_output out;
    captured bytes;
    capture_start(&bytes);
    block_input_start(&in, file_holding(text, size), block);
    block_output_start(&out, bytes.stream);
    tabsqueeze_blocks(&in, &out);
    block_output_flush(&out);
    return capture_end(&bytes);
}

const std::uint8_t *bytes_of(const std::string &s) {
    return reinterpret_cast<const std::uint8_t *>(s.data());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    fuzz_bytes options{data, size};
    const unsigned block_byte = take_byte(&options);
    const unsigned flags = take_byte(&options);
    const unsigned low = take_byte(&options);
    const unsigned mid = take_byte(&options);
    const unsigned high = take_byte(&options);
    const std::uint8_t *const text = options.data;
    const std::size_t text_size = options.size;

    // Small blocks put the edges everywhere; a high byte reads the text at once.
    const std::size_t block = block_byte >= 0x80 ? BLOCK_SIZE : 1 + block_byte;
    all_blanks = (flags & 1) != 0;
    tab_width = tab_width_from(low, mid, high, blanks_at_most(text, text_size));

    const std::string by_blocks = squeezed_by_blocks(text, text_size, block);
    if (by_blocks != run_plain(tabsqueeze_plain, text, text_size)) {
        std::fprintf(stderr, "tab width %d, -a %d, block size %zu\n", tab_width, all_blanks, block);
        fuzz_fail("the block path writes what the rune rules write", 0);
    }
    if (run_plain(expand_plain, bytes_of(by_blocks), by_blocks.size()) !=
        run_plain(expand_plain, text, text_size)) {
        std::fprintf(stderr, "tab width %d, -a %d\n", tab_width, all_blanks);
        fuzz_fail("expanding the squeezed text gives the input expanded", 0);
    }
    return 0;
}
