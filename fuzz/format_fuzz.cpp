// u8_snprintf on formats built from fuzzed pieces, each conversion given an argument of the type
// it takes, into destinations of exactly their size. The expected text is built piece by piece:
// strings measured as u8_bytelen measures, single bytes, and numbers made by the platform's
// snprintf from the same rebuilt conversion; then cut to the size as the result rules say.
//
// Input: two bytes for the size, then pieces, each a kind byte and what that kind reads.
#include "fuzz_support.h"
#include "textlib.h"

#include <climits>
#include <cstring>
#include <vector>

namespace {

// Each argument-taking conversion adds a level of instantiations (three types each), so the
// arguments of one call are bounded.
constexpr int MAX_ARGUMENTS = 5;
// The caller's limits: digits of one conversion, and the width they give.
constexpr int MAX_DIGITS = 1020;
constexpr int MAX_WIDTH = 1023;

enum class arg_type { string, integer, long_integer };

struct argument {
    arg_type type;
    int string_index; // into format_under_test::strings, or -1 for a null pointer
    int integer;
    long long_integer;
};

struct format_under_test {
    std::string format;
    std::string expected; // the whole output, uncut
    std::vector<argument> arguments;
    // The s arguments' bytes, each with its 00, in heap blocks of exactly that size.
    std::vector<std::vector<char>> strings;
    // A numeric conversion without its letter reads the next byte as its own when that byte is a
    // digit, h, l, d, o or x, and a bare "%" takes s, c and "%" too; what follows must avoid
    // those.
    bool open_conversion;
};

std::uint64_t take_bytes(fuzz_bytes *in, int count) {
    std::uint64_t value = 0;
    for (int i = 0; i < count; i++)
        value = value << 8 | take_byte(in);
    return value;
}

constexpr const char *OPENING_BYTES = "0123456789hldoxsc%";

// Ends an open conversion with text, before a piece that starts with "%".
void close_conversion(format_under_test *f) {
    if (!f->open_conversion) return;
    f->format += '|';
    f->expected += '|';
    f->open_conversion = false;
}

void add_text(format_under_test *f, fuzz_bytes *in) {
    const unsigned length = 1 + take_byte(in) % 8;
    for (unsigned i = 0; i < length && in->size > 0; i++) {
        char b = static_cast<char>(take_byte(in));
        if (b == '\0' || b == '%') b = '#';
        if (f->open_conversion && std::strchr(OPENING_BYTES, b) != nullptr) b = '|';
        f->open_conversion = false;
        f->format += b;
        f->expected += b;
    }
}

void add_string(format_under_test *f, fuzz_bytes *in) {
    const unsigned length = take_byte(in);
    close_conversion(f);
    f->format += "%s";
    if (length == 0xFF) {
        f->arguments.push_back({arg_type::string, -1, 0, 0});
        f->expected += "(null)";
        return;
    }
    std::string bytes;
    for (unsigned i = 0; i < length % 64 && in->size > 0; i++)
        bytes += static_cast<char>(take_byte(in));
    f->arguments.push_back({arg_type::string, static_cast<int>(f->strings.size()), 0, 0});
    std::vector<char> held(bytes.size() + 1);
    std::memcpy(held.data(), bytes.c_str(), held.size());
    f->expected.append(held.data(), static_cast<std::size_t>(u8_bytelen(held.data())));
    f->strings.push_back(held);
}

void add_byte(format_under_test *f, fuzz_bytes *in) {
    const int value = static_cast<int>(take_bytes(in, 4));
    close_conversion(f);
    f->format += "%c";
    f->arguments.push_back({arg_type::integer, 0, value, 0});
    f->expected += static_cast<char>(value);
}

template <typename T> std::string formatted(const std::string &conversion, T value) {
    char number[MAX_WIDTH + 64];
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    const int made = std::snprintf(number, sizeof number, conversion.c_str(), value);
#pragma GCC diagnostic pop
    if (made < 0 || made >= static_cast<int>(sizeof number)) std::abort();
    return number;
}

// "%", leading zeros (rarely very many), a width, h or l or neither, d, o, x or no letter.
void add_number(format_under_test *f, fuzz_bytes *in) {
    const unsigned shape = take_byte(in);
    const unsigned width = static_cast<unsigned>(take_bytes(in, 2)) % (MAX_WIDTH + 1);
    const std::uint64_t value = take_bytes(in, 8);

    std::string digits((shape & 0x80) != 0 ? MAX_DIGITS - 4 : shape & 3, '0');
    if ((shape & 4) != 0) digits += std::to_string(width);
    const char *const modifiers[] = {"", "h", "l", ""};
    const std::string modifier = modifiers[shape >> 3 & 3];
    const char letters[] = {'d', 'o', 'x', '\0'};
    const char letter = letters[shape >> 5 & 3];

    close_conversion(f);
    f->format += "%" + digits + modifier;
    if (letter != '\0') f->format += letter;
    f->open_conversion = letter == '\0';
    const std::string conversion = "%" + digits + modifier + (letter == '\0' ? 'd' : letter);
    const bool is_signed = letter != 'o' && letter != 'x';
    if (modifier == "l") {
        const long number = static_cast<long>(value);
        f->arguments.push_back({arg_type::long_integer, 0, 0, number});
        f->expected += is_signed ? formatted(conversion, number)
                                 : formatted(conversion, static_cast<unsigned long>(number));
    } else {
        int number = static_cast<int>(value);
        f->arguments.push_back({arg_type::integer, 0, number, 0});
        if (modifier == "h") number = static_cast<short>(number);
        f->expected += is_signed ? formatted(conversion, number)
                                 : formatted(conversion, static_cast<unsigned>(number));
    }
}

format_under_test build_format(fuzz_bytes *in) {
    format_under_test f{};
    while (in->size > 0) {
        const unsigned kind = take_byte(in) % 8;
        const bool room = f.arguments.size() < MAX_ARGUMENTS;
        if (kind <= 2 || (kind >= 6 && !room)) {
            add_text(&f, in);
        } else if (kind == 5 || !room) {
            close_conversion(&f);
            f.format += "%%";
            f.expected += '%';
        } else if (kind == 3) {
            add_string(&f, in);
        } else if (kind == 4) {
            add_byte(&f, in);
        } else {
            add_number(&f, in);
        }
    }
    return f;
}

// Calls u8_snprintf with the arguments in order, each passed as the type its conversion takes.
template <int Levels> struct call_with {
    template <typename... Passed>
    static int call(const format_under_test &f, std::size_t next, char *dst, int size,
                    const char *format, Passed... passed) {
        if (next == f.arguments.size()) return u8_snprintf(dst, size, format, passed...);
        if constexpr (Levels == 0) {
            std::abort();
        } else {
            const argument &a = f.arguments[next];
            switch (a.type) {
            case arg_type::string: {
                const char *const s =
                    a.string_index < 0 ? nullptr
                                       : f.strings[static_cast<std::size_t>(a.string_index)].data();
                return call_with<Levels - 1>::call(f, next + 1, dst, size, format, passed..., s);
            }
            case arg_type::integer:
                return call_with<Levels - 1>::call(f, next + 1, dst, size, format, passed...,
                                                   a.integer);
            case arg_type::long_integer:
                return call_with<Levels - 1>::call(f, next + 1, dst, size, format, passed...,
                                                   a.long_integer);
            }
            std::abort();
        }
    }
};

void show(const char *name, const std::string &bytes) {
    std::fprintf(stderr, "%s:", name);
    for (const char b : bytes)
        std::fprintf(stderr, " %02x", static_cast<unsigned char>(b));
    std::fprintf(stderr, "\n");
}

// From -1 to one past the whole output, so that every cut point is reached; now and then a
// size far below zero.
int size_from(unsigned high, unsigned low, std::size_t whole) {
    if (high == 0xFF && low == 0xFF) return INT_MIN;
    return static_cast<int>((high << 8 | low) % (whole + 3)) - 1;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    fuzz_bytes in{data, size};
    const unsigned high = take_byte(&in);
    const unsigned low = take_byte(&in);
    const format_under_test f = build_format(&in);
    const int dst_size = size_from(high, low, f.expected.size());

    // The format and dst in blocks of exactly their size, so that a read or store past them is a
    // sanitizer report.
    const std::vector<char> format(f.format.c_str(), f.format.c_str() + f.format.size() + 1);
    const std::size_t block = dst_size > 0 ? static_cast<std::size_t>(dst_size) : 1;
    char *const dst = static_cast<char *>(std::malloc(block));
    std::memset(dst, 0x5A, block);
    const int result = call_with<MAX_ARGUMENTS>::call(f, 0, dst, dst_size, format.data());

    if (dst_size <= 0) {
        if (result != 0 || dst[0] != 0x5A) fuzz_fail("a size of 0 or less stores nothing", 0);
    } else {
        const auto room = static_cast<std::size_t>(dst_size);
        const bool cut = f.expected.size() >= room;
        const std::size_t kept = cut ? room - 1 : f.expected.size();
        if (result != (cut ? dst_size : static_cast<int>(kept))) {
            std::fprintf(stderr, "result %d, size %d, whole output %zu bytes\n", result, dst_size,
                         f.expected.size());
            show("format", f.format);
            show("expected", f.expected);
            fuzz_fail("the result is the bytes stored, or size when cut", 0);
        }
        if (std::memcmp(dst, f.expected.data(), kept) != 0 || dst[kept] != '\0')
            fuzz_fail("dst holds the output, cut to size - 1 bytes, and a 00", 0);
    }
    std::free(dst);
    return 0;
}
