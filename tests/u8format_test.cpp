#include "guarded.h"
#include "textlib.h"

#include <gtest/gtest.h>

namespace {

using namespace std::string_literals;

// A destination of exactly size bytes against a guard page: a write past it faults.
char *destination(int size) {
    return guarded_end(0, std::string(static_cast<std::size_t>(size > 0 ? size : 0), '#'));
}

// What the whole destination should hold: the text, its 00, and the bytes left untouched.
std::string holding(const std::string &text, int size) {
    return text + '\0' + std::string(static_cast<std::size_t>(size) - text.size() - 1, '#');
}

struct format_case {
    int size;
    const char *format;
    std::string text; // stored before the terminator
    int result;
};

void expect_formats(const format_case &c, char *dst, int result) {
    EXPECT_EQ(result, c.result) << c.format << " size " << c.size;
    if (c.size > 0) {
        EXPECT_EQ(std::string(dst, static_cast<std::size_t>(c.size)), holding(c.text, c.size))
            << c.format << " size " << c.size;
    }
}

TEST(U8Format, PlainTextIsCutToSizeLessOneAndAlwaysTerminated) {
    const format_case cases[] = {
        {32, "abc", "abc", 3},
        {32, "", "", 0},
        {4, "abc", "abc", 3},
        {3, "abc", "ab", 3},
        {1, "abc", "", 1},
        {1, "", "", 0},
        {0, "abc", "", 0},
        {-1, "abc", "", 0},
        {32, "100%%", "100%", 4},
        {32, "\xc3\xa9\xc0\x80", "\xc3\xa9\xc0\x80", 4},
        {3, "\xe2\x82\xac", "\xe2\x82", 3},
    };
    for (const format_case &c : cases) {
        char *const dst = destination(c.size);
        expect_formats(c, dst, u8_snprintf(dst, c.size, c.format));
    }
}

struct string_case {
    format_case expected;
    const char *arg;
};

TEST(U8Format, StringsStopAtTheirTerminatorAndAreCutByBytes) {
    const std::string sixty_two(62, 'q');
    const string_case cases[] = {
        {{32, "[%s]", "[hello]", 7}, "hello"},
        {{32, "[%s]", "[(null)]", 8}, nullptr},
        {{5, "[%s]", "[hel", 5}, "hello"},
        {{3, "%s", "\xc3\xa9", 3}, "\xc3\xa9t\xc3\xa9"},
        {{2, "%s", "\xc3", 2}, "\xc3\xa9t\xc3\xa9"},
        {{32, "<%s>", "<ab>", 4},
         "ab\xc0\x80"
         "cd"},
        {{32, "<%s>", "<\xff>", 3}, "\xff\xe0\x80\x80"},
        {{32, "%s|", "|", 1}, ""},
        {{63, "%s", sixty_two, 62}, sixty_two.c_str()},
        {{62, "%s", sixty_two.substr(1), 62}, sixty_two.c_str()},
    };
    for (const string_case &c : cases) {
        char *const dst = destination(c.expected.size);
        expect_formats(c.expected, dst,
                       u8_snprintf(dst, c.expected.size, c.expected.format, c.arg));
    }
}

struct int_case {
    format_case expected;
    int arg;
};

TEST(U8Format, BytesAndIntNumbersFollowTheRebuiltConversion) {
    const int_case cases[] = {
        {{32, "a%cb", "a\0b"s, 3}, 0},
        {{32, "%c", "\xac", 1}, 0x20AC},
        {{32, "%-5d|", "42-5d|", 6}, 42},
        {{32, "%5s|", "   42s|", 7}, 42},
        {{32, "ab%", "ab5", 3}, 5},
        {{32, "%5", "    5", 5}, 5},
        {{32, "%007x", "00000ff", 7}, 255},
        {{32, "%o", "37777777770", 11}, -8},
        {{32, "%x", "ffffffff", 8}, -1},
        {{32, "%hx", "ffff", 4}, -1},
        {{32, "%hd", "-1", 2}, 65535},
        {{32, "%ho", "177777", 6}, -1},
        {{32, "%q", "7q", 2}, 7},
        {{6, "x%dy", "x1234", 6}, 123456},
        {{20, "[%40d]", "[" + std::string(18, ' '), 20}, 7},
        {{32, "%d%%", "-2147483648%", 12}, INT32_MIN},
    };
    for (const int_case &c : cases) {
        char *const dst = destination(c.expected.size);
        expect_formats(c.expected, dst,
                       u8_snprintf(dst, c.expected.size, c.expected.format, c.arg));
    }
}

TEST(U8Format, MixedConversionsTakeTheirArgumentsInOrder) {
    char *dst = destination(32);
    EXPECT_EQ(u8_snprintf(dst, 32, "%c%c", 0x41, 0x20AC), 2);
    EXPECT_EQ(std::string(dst), "A\xac");

    dst = destination(32);
    EXPECT_EQ(u8_snprintf(dst, 32, "%d|%5d|%05d|%x|%o", -42, 42, 42, 255, 8), 21);
    EXPECT_EQ(std::string(dst), "-42|   42|00042|ff|10");

    dst = destination(32);
    EXPECT_EQ(u8_snprintf(dst, 32, "%ld|%lx|%hd|%hx", -1L, -1L, 70000, -1), 29);
    EXPECT_EQ(std::string(dst), "-1|ffffffffffffffff|4464|ffff");

    dst = destination(32);
    EXPECT_EQ(u8_snprintf(dst, 32, "%u|%i|%X", 7, 8, 9), 8);
    EXPECT_EQ(std::string(dst), "7u|8i|9X");

    dst = destination(32);
    EXPECT_EQ(u8_snprintf(dst, 32, "%hhd|%lld", 300, 5L), 9);
    EXPECT_EQ(std::string(dst), "300hd|5ld");

    dst = destination(32);
    EXPECT_EQ(u8_snprintf(dst, 32, "%ld %lo", INT64_MIN, 8L), 23);
    EXPECT_EQ(std::string(dst), "-9223372036854775808 10");

    dst = destination(32);
    EXPECT_EQ(u8_snprintf(dst, 32, "%s=%d;%c", "k", 3, '!'), 5);
    EXPECT_EQ(std::string(dst), "k=3;!");
}

TEST(U8Format, ConversionsAtTheBufferLimitsAreExactAndBeyondThemCut) {
    // 1020 digits fill the conversion buffer exactly, with the modifier, the letter and 00.
    const std::string widest_conversion = "%" + std::string(1019, '0') + "5ld";
    char *dst = destination(64);
    EXPECT_EQ(u8_snprintf(dst, 64, widest_conversion.c_str(), 42L), 5);
    EXPECT_EQ(std::string(dst), "00042");

    // Past 1020 digits only the first 1020 are kept; the rest are still stepped over.
    const std::string too_many = "<%" + std::string(1100, '0') + "5xh>";
    dst = destination(64);
    EXPECT_EQ(u8_snprintf(dst, 64, too_many.c_str(), 255), 5);
    EXPECT_EQ(std::string(dst), "<ffh>");

    // A width that glibc cannot even read makes no text, and the format goes on after it.
    const std::string huge_width = "%" + std::string(1100, '9') + "d|";
    dst = destination(2048);
    EXPECT_EQ(u8_snprintf(dst, 2048, huge_width.c_str(), 1), 1);
    EXPECT_EQ(std::string(dst, 2048), holding("|", 2048));

    // A width of 1023 fills the number buffer exactly; a wider one is cut to it.
    dst = destination(2048);
    EXPECT_EQ(u8_snprintf(dst, 2048, "%1023d|", 7), 1024);
    EXPECT_EQ(std::string(dst), std::string(1022, ' ') + "7|");

    dst = destination(2048);
    EXPECT_EQ(u8_snprintf(dst, 2048, "%2000d|", 7), 1024);
    EXPECT_EQ(std::string(dst), std::string(1023, ' ') + "|");

    dst = destination(100);
    EXPECT_EQ(u8_snprintf(dst, 100, "%05000ld", 7L), 100);
    EXPECT_EQ(std::string(dst), std::string(99, '0'));
}

} // namespace
