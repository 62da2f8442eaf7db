// tally's rules of the check kit (its block path against its byte-by-byte reference, and both
// against the runes that rune_fgetc reads from the same bytes); then tally_file over the same
// bytes in a named file, with fuzzed count flags, prints the selected counts of the reference.
// The first byte is the block size, the second the flags.
#include "fuzz_support.h"

#include <cinttypes>
#include <cstring>

namespace {

// A named file for tally_file to open, refilled for each input and removed at exit.
char file_path[] = "/tmp/tally_fuzz_XXXXXX";

const char *named_file_holding(const std::uint8_t *data, std::size_t size) {
    static const int fd = [] {
        const int made = mkstemp(file_path);
        if (made < 0) std::abort();
        std::atexit([] { unlink(file_path); });
        return made;
    }();
    if (ftruncate(fd, 0) != 0 || pwrite(fd, data, size, 0) != static_cast<ssize_t>(size))
        std::abort();
    return file_path;
}

// What the program writes to standard output, which goes to a file of its own here.
std::string printed_by(void (*routine)(const char *), const char *name) {
    static const int printed = [] {
        FILE *const file = tmpfile();
        if (file == nullptr || dup2(fileno(file), STDOUT_FILENO) < 0) std::abort();
        return STDOUT_FILENO;
    }();
    if (ftruncate(printed, 0) != 0 || lseek(printed, 0, SEEK_SET) != 0) std::abort();
    routine(name);
    if (fflush(stdout) != 0) std::abort();
    std::string bytes(static_cast<std::size_t>(lseek(printed, 0, SEEK_CUR)), '\0');
    if (pread(printed, bytes.data(), bytes.size(), 0) != static_cast<ssize_t>(bytes.size()))
        std::abort();
    return bytes;
}

std::string count_field(bool shown, std::uint64_t count) {
    if (!shown) return "";
    char field[32];
    std::snprintf(field, sizeof field, " %9" PRIu64, count);
    return field;
}

// The line tally_file prints: the selected counts in their order, then the name.
std::string expected_line(const tally_counts &c, const char *name) {
    return count_field(show_lines, c.lines) + count_field(show_words, c.words) +
           count_field(show_runes, c.runes) + count_field(show_broken, c.broken) +
           count_field(show_bytes, c.bytes) + " " + name + "\n";
}

void check_tally_file(const std::uint8_t *text, std::size_t size, unsigned flags,
                      const tally_counts &expected) {
    show_lines = (flags & 1) != 0;
    show_words = (flags & 2) != 0;
    show_runes = (flags & 4) != 0;
    show_broken = (flags & 8) != 0;
    show_bytes = (flags & 16) != 0;
    total_lines = total_words = total_runes = total_broken = total_bytes = 0;
    const char *const path = named_file_holding(text, size);
    if (printed_by(tally_file, path) != expected_line(expected, path))
        fuzz_fail("tally_file prints the selected counts and the name", 0);
    // Only the selected counts are made, and the bytes always.
    if (!(tally_counts{total_lines, total_words, total_runes, total_broken, total_bytes} ==
          selected(expected, flags % 32)))
        fuzz_fail("tally_file adds the selected counts to the totals", 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    fuzz_bytes options{data, size};
    const std::size_t block = take_block_size(&options);
    const unsigned flags = take_byte(&options);
    // The flags byte's selection for the block path too, which has a routine for each.
    fuzz_check(tally_holds(text_of(options), block, flags % 32));
    check_tally_file(options.data, options.size, flags, tally_reference_of(text_of(options)));
    return 0;
}
