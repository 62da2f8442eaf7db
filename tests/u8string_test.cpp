#include "guarded.h"
#include "support.h"
#include "textlib.h"

#include <climits>
#include <gtest/gtest.h>
#include <vector>

namespace {

// Bytes are written with each hex escape closing its literal ("\xc0\x80" "bc"), so that a
// following letter is not read as another hex digit.

struct rune_at {
    std::size_t pos;
    rune16 rune;
    int width;
};

// The runes of s up to and including its terminator, walked rune by rune: the model the
// operations' faster scans must agree with.
std::vector<rune_at> runes_of(const char *s) {
    std::vector<rune_at> runes;
    std::size_t pos = 0;
    for (;;) {
        rune16 r;
        const int width = u8_decode(&r, s + pos);
        runes.push_back({pos, r, width});
        if (r == 0) return runes;
        pos += static_cast<std::size_t>(width);
    }
}

// The bytes of s through the last byte of its terminator.
std::string through_terminator(const char *s) {
    const rune_at end = runes_of(s).back();
    return std::string(s, end.pos + static_cast<std::size_t>(end.width));
}

// s copied against a guard page, so that reading past its terminator faults.
const char *guarded(int slot, const char *s) {
    return guarded_end(slot, through_terminator(s));
}

long offset_in(const char *s, const char *found) {
    return found == nullptr ? -1 : found - s;
}

std::string shown(const char *s) {
    return testing::PrintToString(std::string(s));
}

// ---- Counting ----

struct count_case {
    const char *s;
    int runes;
    int bytes;
};

TEST(U8String, LengthsEndAtAnyTerminatorFormAndCountMalformedBytesAsRunes) {
    // clang-format off
    const count_case cases[] = {
        {"a\xc0\x80" "bc", 1, 1},
        {"a\xe0\x80\x80" "b", 1, 1},
        {"\xff\xfe", 2, 2},
        {"\xe2\x82", 2, 2},
        {"\xe2\x82\xac", 1, 3},
        {"", 0, 0},
        {"\xc0\x80", 0, 0},
        {"\xe0\x80\x80", 0, 0},
        {"\xc3", 1, 1},
        {"\xe0\x80", 2, 2},
        {"\xc3\xa9" "a", 2, 3},
        {"\xc1\x81", 1, 2},
        {"\xf0\x9f\x98\x80", 4, 4},
        {"\xc2\x80", 1, 2},
        {"hello world", 11, 11},
    };
    // clang-format on
    for (const count_case &c : cases) {
        const char *const s = guarded(0, c.s);
        EXPECT_EQ(u8_len(s), c.runes) << shown(c.s);
        EXPECT_EQ(u8_bytelen(s), c.bytes) << shown(c.s);
        EXPECT_EQ(u8_nlen(s, INT_MAX), c.runes) << shown(c.s);
    }
}

TEST(U8String, BoundedLengthStopsAtNAndNeverDecodesTheRuneAfter) {
    // clang-format off
    const struct {
        const char *s;
        int n;
        int runes;
    } cases[] = {
        {"abc", 2, 2},
        {"abc", 5, 3},
        {"abc", 0, 0},
        {"abc", -1, 0},
        {"abc", INT_MIN, 0},
        {"a\xc0\x80" "b", 5, 1},
    };
    // clang-format on
    for (const auto &c : cases)
        EXPECT_EQ(u8_nlen(guarded(0, c.s), c.n), c.runes) << c.n;
    // No terminator within memory: n runes are all that may be read.
    EXPECT_EQ(u8_nlen(guarded_end(0, "ab\xe2\x82\xac"), 3), 3);
    EXPECT_EQ(u8_nlen(guarded_end(0, ""), 0), 0);
}

// ---- Searching ----

struct rune_search_case {
    const char *s;
    std::int64_t c;
    long first; // offset, or -1 for null
    long last;
};

TEST(U8String, RuneSearchMatchesUnsigned16BitValuesAndFindsZeroAtTheTerminator) {
    // clang-format off
    const rune_search_case cases[] = {
        {"abcabc", 'b', 1, 4},
        {"abcabc", 0, 6, 6},
        {"abcabc", 'z', -1, -1},
        {"abcabc", 0x10062, -1, -1},
        {"abc", 0x10000, -1, -1},
        {"abc", -1, -1, -1},
        {"abc", 'b' - 0x10000, -1, -1},
        {"ab\xc0\x80" "cb", 'b', 1, 1},
        {"ab\xc0\x80" "cb", 0, 2, 2},
        {"a\xe0\x80\x80", 0, 1, 1},
        {"a\xff" "b\xc2\x80\xfe", 0x80, 1, 5},
        {"x\xc1\x81", 'A', 1, 1},
        {"\xc3\xa9\xe2\x82\xac\xc3\xa9", 0xE9, 0, 5},
        {"\xef\xbf\xbf", 0xFFFF, 0, 0},
        {"", 0, 0, 0},
    };
    // clang-format on
    for (const rune_search_case &c : cases) {
        const char *const s = guarded(0, c.s);
        EXPECT_EQ(offset_in(s, u8_findrune(s, c.c)), c.first) << shown(c.s) << " " << c.c;
        EXPECT_EQ(offset_in(s, u8_findlastrune(s, c.c)), c.last) << shown(c.s) << " " << c.c;
    }
}

struct string_search_case {
    const char *s;
    const char *t;
    long found;
};

TEST(U8String, StringSearchTriesRunePositionsWhoseBytesMatch) {
    // clang-format off
    const string_search_case cases[] = {
        {"hello world", "world", 6},
        {"hello", "ll", 2},
        {"hello", "lo", 3},
        {"aaab", "aab", 1},
        {"hello", "hz", -1},
        {"hello", "xyz", -1},
        {"hello", "hello!", -1},
        {"hello", "", 5},
        {"", "", 0},
        {"", "a", -1},
        {"hello", "\xc0\x80", 5},
        {"ab\xc0\x80" "cd", "", 2},
        {"ab\xc0\x80" "cd", "cd", -1},
        {"ab", "b\xc0\x80" "z", 1},
        {"x\xc1\x81", "A", -1},
        {"x\xc1\x81" "A", "A", 3},
        {"a\xfe\xff", "\xff", 2},
        {"caf\xc3\xa9", "\xc3\xa9", 3},
        {"\xe2\x82\xac\xe2\x82\xac" "x", "\xe2\x82\xac" "x", 3},
        {"a\xc0\x80", "a\xc0", 0},
        {"a\xe0\x80\x80", "a\xe0\x80", 0},
    };
    // clang-format on
    for (const string_search_case &c : cases) {
        const char *const s = guarded(0, c.s);
        const char *const t = guarded(1, c.t);
        EXPECT_EQ(offset_in(s, u8_findstr(s, t)), c.found) << shown(c.s) << " " << shown(c.t);
    }
}

TEST(U8String, StringSearchNeverReadsPastTheTerminatorOfS) {
    // A long t whose first bytes match the very end of s: a whole-length comparison would run
    // into the guard page.
    // clang-format off
    const string_search_case cases[] = {
        {"xxab", "abcdefghijklmnop", -1},
        {"xxab\xc0\x80", "ab\xc0" "xyzxyzxyz", -1},
        {"xxab\xe0\x80\x80", "ab\xe0\x80" "xyzxyzxyz", -1},
        {"\xc3\xa9", "\xc3\xa9\xc3\xa9\xc3\xa9", -1},
    };
    // clang-format on
    for (const string_search_case &c : cases) {
        const char *const s = guarded(0, c.s);
        EXPECT_EQ(offset_in(s, u8_findstr(s, c.t)), c.found) << shown(c.s);
    }
}

TEST(U8String, AnyOfASetPrefersTheSetsOrder) {
    // clang-format off
    const string_search_case cases[] = {
        {"hello", "ol", 4},
        {"hello", "lo", 2},
        {"hello", "xyz", -1},
        {"hello", "", -1},
        {"", "abc", -1},
        {"h\xff" "llo", "\xc2\x80", 1},
        {"hello", "z\xc0\x80" "o", -1},
        {"ab\xc0\x80" "cd", "c", -1},
        {"x\xc1\x81", "A", 1},
    };
    // clang-format on
    for (const string_search_case &c : cases) {
        const char *const s = guarded(0, c.s);
        const char *const set = guarded(1, c.t);
        EXPECT_EQ(offset_in(s, u8_findany(s, set)), c.found) << shown(c.s) << " " << shown(c.t);
    }
}

// ---- Comparing ----

struct compare_case {
    const char *a;
    const char *b;
    int n;
    int result;
};

TEST(U8String, CompareReturnsSecondRuneMinusFirstAtTheFirstDifference) {
    // clang-format off
    const compare_case cases[] = {
        {"abc", "abd", 0, 1},
        {"abd", "abc", 0, -1},
        {"ab", "abc", 0, 99},
        {"abc", "ab", 0, -99},
        {"\xff", "\xfe", 0, 0},
        {"\xc2\x80", "\xff", 0, 0},
        {"A", "\xc1\x81", 0, 0},
        {"a\xc0\x80" "x", "a", 0, 0},
        {"\xe2\x82\xac", "a", 0, -8267},
        {"", "\xef\xbf\xbf", 0, 65535},
        {"\xef\xbf\xbf", "", 0, -65535},
        {"", "", 0, 0},
        {"abc", "abc", 0, 0},
    };
    // clang-format on
    for (const compare_case &c : cases) {
        EXPECT_EQ(u8_cmp(guarded(0, c.a), guarded(1, c.b)), c.result)
            << shown(c.a) << " " << shown(c.b);
    }
}

TEST(U8String, BoundedCompareAlwaysComparesTheFirstPairAndAtMostNPlusOne) {
    // clang-format off
    const compare_case cases[] = {
        {"abc", "abd", 2, 1},
        {"abc", "abd", 1, 0},
        {"abc", "abd", 0, 0},
        {"ab", "xy", 0, 23},
        {"ab", "xy", -5, 23},
        {"ab", "xy", INT_MIN, 23},
        {"ab", "abc", 1, 0},
        {"ab", "abc", 2, 99},
        {"abc", "abc", INT_MAX, 0},
        {"", "a", -1, 97},
        {"a\xc0\x80" "x", "a", 9, 0},
    };
    // clang-format on
    for (const compare_case &c : cases) {
        EXPECT_EQ(u8_ncmp(guarded(0, c.a), guarded(1, c.b), c.n), c.result)
            << shown(c.a) << " " << shown(c.b) << " " << c.n;
    }
}

TEST(U8String, RuneArrayCompareTreatsZeroAsAnyOtherRune) {
    const struct {
        std::vector<rune16> runes;
        std::string s;
        int n;
        int result;
    } cases[] = {
        {{'a', 'b', 'c'}, "abc", 3, 0},
        {{'a', 'b', 'c'}, "abd", 3, 1},
        {{'a', 'b', 'd'}, "abc", 3, -1},
        {{'a', 'b', 'd'}, "abc", 2, 0},
        {{0x20AC}, "\xe2\x82\xac", 1, 0},
        {{0x80}, "\xff", 1, 0},
        {{'A'}, "\xc1\x81", 1, 0},
        {{0, 'a'}, std::string("\0a", 2), 2, 0},
        {{0, 'a'}, std::string("\0b", 2), 2, 1},
        {{'x'}, "y", 0, 0},
        {{'x'}, "y", -3, 0},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(u8_cmprunes(c.runes.data(), c.s.c_str(), c.n), c.result)
            << testing::PrintToString(c.s) << " " << c.n;
    }
}

// ---- Spanning ----

struct span_case {
    const char *s;
    const char *set;
    int bytes;
    int runes;
};

TEST(U8String, SpanAcceptsLeadingRunesInTheSet) {
    // clang-format off
    const span_case cases[] = {
        {"aabbc", "ab", 4, 4},
        {"xyz", "ab", 0, 0},
        {"\xc3\xa9\xc3\xa9" "x", "\xc3\xa9", 4, 2},
        {"\xff\xfe" "A", "\xc2\x80", 2, 2},
        {"abc", "", 0, 0},
        {"aa\xc0\x80" "aa", "a", 2, 2},
        {"ab", "a\xc0\x80" "b", 1, 1},
        {"ab", "ba", 2, 2},
        {"", "ab", 0, 0},
    };
    // clang-format on
    for (const span_case &c : cases) {
        int runes = -7;
        EXPECT_EQ(u8_span(guarded(0, c.s), guarded(1, c.set), &runes), c.bytes) << shown(c.s);
        EXPECT_EQ(runes, c.runes) << shown(c.s);
    }
}

TEST(U8String, ComplementSpanAcceptsLeadingRunesOutsideTheSet) {
    // clang-format off
    const span_case cases[] = {
        {"aabbc", "c", 4, 4},
        {"xyz", "ab", 3, 3},
        {"ab", "", 2, 2},
        {"ab\xff" "A", "\xc2\x80", 2, 2},
        {"\xe2\x82\xac" "x", "x", 3, 1},
        {"ab\xe0\x80\x80" "c", "c", 2, 2},
        {"abc", "a", 0, 0},
    };
    // clang-format on
    for (const span_case &c : cases) {
        int runes = -7;
        EXPECT_EQ(u8_cspan(guarded(0, c.s), guarded(1, c.set), &runes), c.bytes) << shown(c.s);
        EXPECT_EQ(runes, c.runes) << shown(c.s);
    }
}

// ---- Stepping back ----

TEST(U8String, DecodePreviousStepsBackByTheLastBytesAndDecodesForward) {
    const struct {
        std::string bytes; // the end is just past them
        rune16 rune;
        int width;
    } cases[] = {
        {"abc", 'c', 1},       {"a\xc3\xa9", 0xE9, 2}, {"a\xe2\x82\xac", 0x20AC, 3},
        {"\xc0\x80", 0, 2},    {"ab\x80", 'a', 1},     {"\xc3\xa9\x80", 0xE9, 2},
        {"x\xe2\x82", 'x', 1}, {"xy\xff", 'x', 1},     {"c", 'c', 1},
        {"\xc3\xa9", 0xE9, 2},
    };
    for (const auto &c : cases) {
        const std::string shown_bytes = testing::PrintToString(c.bytes);
        const char *const placements[] = {guarded_end(0, c.bytes), guarded_start(1, c.bytes)};
        for (const char *const start : placements) {
            rune16 r = 0x1234;
            EXPECT_EQ(u8_decode_prev(&r, start + c.bytes.size()), c.width) << shown_bytes;
            EXPECT_EQ(r, c.rune) << shown_bytes;
        }
    }
}

// ---- Copying and appending ----

// A destination of eight bytes filled with '#', so that bytes written and untouched both show.
std::string fresh_destination(const std::string &contents) {
    std::string dst(8, '#');
    dst.replace(0, contents.size(), contents);
    return dst;
}

struct copy_case {
    std::string dst; // before the call, padded with '#'
    const char *src;
    int n;
    std::string after;
};

TEST(U8String, CopyMovesTheBytesAndEndsTheDestinationWithOneZeroByte) {
    using namespace std::string_literals;
    // clang-format off
    const copy_case cases[] = {
        {"", "abc", 0, "abc\0####"s},
        {"", "", 0, "\0#######"s},
        {"", "ab\xc0\x80" "cd", 0, "ab\0#####"s},
        {"", "ab\xe0\x80\x80", 0, "ab\0#####"s},
        {"", "\xc3", 0, "\xc3\0######"s},
    };
    // clang-format on
    for (const copy_case &c : cases) {
        std::string dst = fresh_destination(c.dst);
        EXPECT_EQ(u8_copy(dst.data(), c.src), dst.data());
        EXPECT_EQ(dst, c.after) << shown(c.src);
    }
}

TEST(U8String, BoundedCopyTerminatesOnlyWithRoomToSpare) {
    using namespace std::string_literals;
    // clang-format off
    const copy_case cases[] = {
        {"", "abc", 5, "abc\0####"s},
        {"", "abc", 4, "abc\0####"s},
        {"", "abc", 3, "abc#####"s},
        {"", "abc", 2, "ab######"s},
        {"", "abc", 0, "########"s},
        {"", "abc", -1, "########"s},
        {"", "\xe2\x82\xac", 2, "\xe2\x82######"s},
        {"", "ab\xc0\x80" "cd", 5, "ab\0#####"s},
    };
    // clang-format on
    for (const copy_case &c : cases) {
        std::string dst = fresh_destination(c.dst);
        EXPECT_EQ(u8_ncopy(dst.data(), c.src, c.n), dst.data());
        EXPECT_EQ(dst, c.after) << shown(c.src) << " n=" << c.n;
    }
}

TEST(U8String, AppendWritesFromTheFirstByteOfTheDestinationsTerminator) {
    using namespace std::string_literals;
    const copy_case cases[] = {
        {"xy\0"s, "abc", 0, "xyabc\0##"s},
        {"xy\xc0\x80z\0"s, "ab", 0, "xyab\0\0##"s},
        {"xy\0"s, "ab\xc0\x80", 0, "xyab\0###"s},
        {"xy\0"s, "ab\xe0\x80\x80", 0, "xyab\0###"s},
        {"\0"s, "", 0, "\0#######"s},
    };
    for (const copy_case &c : cases) {
        std::string dst = fresh_destination(c.dst);
        EXPECT_EQ(u8_append(dst.data(), c.src), dst.data());
        EXPECT_EQ(dst, c.after) << shown(c.src);
    }
}

TEST(U8String, BoundedAppendFillsTheWholeDestinationSize) {
    using namespace std::string_literals;
    const copy_case cases[] = {
        {"xy\0"s, "abc", 6, "xyabc\0##"s},     {"xy\0"s, "abc", 5, "xyabc###"s},
        {"xy\0"s, "abc", 4, "xyab####"s},      {"xy\0"s, "abc", 2, "xy\0#####"s},
        {"xy\0"s, "abc", 1, "xy\0#####"s},     {"xy\0"s, "abc", INT_MIN, "xy\0#####"s},
        {"xy\xc0\x80"s, "a", 4, "xya\0####"s},
    };
    for (const copy_case &c : cases) {
        std::string dst = fresh_destination(c.dst);
        EXPECT_EQ(u8_nappend(dst.data(), c.src, c.n), dst.data());
        EXPECT_EQ(dst, c.after) << shown(c.src) << " n=" << c.n;
    }
}

TEST(U8String, CopiesMayOverlapAsMemmoveAllows) {
    using namespace std::string_literals;
    std::string buffer = "abcdef\0###"s;
    u8_copy(buffer.data() + 2, buffer.data());
    EXPECT_EQ(buffer, "ababcdef\0#"s);

    buffer = "abcdef\0###"s;
    u8_copy(buffer.data(), buffer.data() + 2);
    EXPECT_EQ(buffer, "cdef\0f\0###"s);

    buffer = "abc\0######"s;
    u8_ncopy(buffer.data() + 1, buffer.data(), 9);
    EXPECT_EQ(buffer, "aabc\0#####"s);

    // The source's last byte is where the copy's 00 goes: it must be moved before that store.
    buffer = "abcdef\0###"s;
    u8_ncopy(buffer.data(), buffer.data() + 1, 10);
    EXPECT_EQ(buffer, "bcdef\0\0###"s);

    buffer = "xy\0bcdef\0#"s;
    u8_nappend(buffer.data(), buffer.data() + 3, 10);
    EXPECT_EQ(buffer, "xybcdef\0\0#"s);

    buffer = "ab\0#######"s;
    u8_append(buffer.data(), buffer.data());
    EXPECT_EQ(buffer, "abab\0#####"s);
}

// ---- The scans against the rune-by-rune model on generated text ----

long model_findrune(const char *s, std::int64_t c, bool last) {
    long found = -1;
    for (const rune_at &r : runes_of(s)) {
        if (r.rune != c) continue;
        found = static_cast<long>(r.pos);
        if (!last) break;
    }
    return found;
}

long model_findstr(const std::string &s, const char *t) {
    const std::vector<rune_at> t_runes = runes_of(t);
    const std::string needle(t, t_runes.back().pos);
    for (const rune_at &r : runes_of(s.c_str())) {
        if (r.rune == t_runes.front().rune && s.compare(r.pos, needle.size(), needle) == 0) {
            return static_cast<long>(r.pos);
        }
    }
    return -1;
}

TEST(U8String, FastScansAgreeWithTheRuneByRuneModel) {
    std::mt19937 rng(11);
    for (int round = 0; round < 2000; round++) {
        const std::string text = generated_text(rng, rng() % 64);
        const char *const s = guarded(0, text.c_str());
        const std::vector<rune_at> runes = runes_of(text.c_str());
        const std::string shown_text = testing::PrintToString(text);
        ASSERT_EQ(u8_len(s), static_cast<int>(runes.size() - 1)) << shown_text;
        ASSERT_EQ(u8_bytelen(s), static_cast<int>(runes.back().pos)) << shown_text;

        const std::int64_t probes[] = {runes[rng() % runes.size()].rune, 'a', 0, RUNE_BAD,
                                       static_cast<std::int64_t>(rng() % 0x10100)};
        for (const std::int64_t c : probes) {
            ASSERT_EQ(offset_in(s, u8_findrune(s, c)), model_findrune(s, c, false))
                << shown_text << " " << c;
            ASSERT_EQ(offset_in(s, u8_findlastrune(s, c)), model_findrune(s, c, true))
                << shown_text << " " << c;
        }

        const std::size_t from = rng() % (text.size() + 1);
        const std::string part = text.substr(from, rng() % 6);
        const std::string other = generated_text(rng, rng() % 4);
        for (const std::string &needle : {part, other}) {
            const char *const t = guarded(1, needle.c_str());
            ASSERT_EQ(offset_in(s, u8_findstr(s, t)), model_findstr(text, t))
                << shown_text << " " << testing::PrintToString(needle);
        }
    }
}

} // namespace
