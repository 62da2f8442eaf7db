// The string operations on fuzzed strings and sets, each held against a rune-by-rune model
// built from u8_decode and against the other operations. Every string lies in a heap block of
// exactly its bytes and one 00, so that a read past it is a sanitizer report.
//
// Input: four option bytes (a rune index, a count, a 16-bit rune value), then the bytes of s and
// of t, split where the first 0xFF 0xFF pair stands (t is empty without one).
#include "fuzz_support.h"
#include "textlib.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <vector>

namespace {

struct rune_at {
    int pos;
    rune16 rune;
    int width;
};

// The runes of s up to and including its terminator.
std::vector<rune_at> runes_of(const char *s) {
    std::vector<rune_at> runes;
    int pos = 0;
    for (;;) {
        rune16 r;
        const int width = u8_decode(&r, s + pos);
        runes.push_back({pos, r, width});
        if (r == 0) return runes;
        pos += width;
    }
}

// A fuzzed string in a block of its own: the bytes, then one 00.
struct held {
    char *bytes;
    int size; // without the 00 after it
    std::vector<rune_at> runes;

    int length() const { return static_cast<int>(runes.size()) - 1; }
    int byte_length() const { return runes.back().pos; }
    // The bytes of the string through the last byte of its terminator.
    int through_terminator() const { return runes.back().pos + runes.back().width; }
};

held hold(const std::uint8_t *data, std::size_t size) {
    held h;
    h.size = static_cast<int>(size);
    h.bytes = static_cast<char *>(std::malloc(size + 1));
    if (size > 0) std::memcpy(h.bytes, data, size);
    h.bytes[size] = '\0';
    h.runes = runes_of(h.bytes);
    return h;
}

std::size_t as_size(int n) {
    return static_cast<std::size_t>(n);
}

const rune_at &rune_number(const held &h, int i) {
    return h.runes[as_size(i)];
}

void check(bool holds, const char *rule) {
    if (!holds) fuzz_fail(rule, 0);
}

bool in_set(rune16 r, const held &set) {
    for (int i = 0; i < set.length(); i++) {
        if (rune_number(set, i).rune == r) return true;
    }
    return false;
}

bool matches(std::int64_t c, rune16 r) {
    return c == static_cast<std::int64_t>(r);
}

void check_counts(const held &s, int n) {
    check(u8_len(s.bytes) == s.length(), "u8_len counts the runes before the terminator");
    check(u8_bytelen(s.bytes) == s.byte_length(), "u8_bytelen is the terminator's offset");
    for (const int bound : {INT_MIN, -1, 0, 1, n, s.length(), s.length() + 1, INT_MAX}) {
        const int expected = bound <= 0 ? 0 : std::min(bound, s.length());
        check(u8_nlen(s.bytes, bound) == expected, "u8_nlen is u8_len bounded by n");
    }
    int runes = -1;
    check(u8_cspan(s.bytes, "", &runes) == s.byte_length() && runes == s.length(),
          "u8_cspan with the empty set spans the whole string");
    check(u8_span(s.bytes, "", &runes) == 0 && runes == 0, "u8_span with the empty set is empty");
}

void check_find_rune(const held &s, std::int64_t c) {
    const char *first = nullptr;
    const char *last = nullptr;
    for (const rune_at &r : s.runes) {
        if (!matches(c, r.rune)) continue;
        if (first == nullptr) first = s.bytes + r.pos;
        last = s.bytes + r.pos;
    }
    check(u8_findrune(s.bytes, c) == first, "u8_findrune finds the first equal rune");
    check(u8_findlastrune(s.bytes, c) == last, "u8_findlastrune finds the last equal rune");
}

// Bytes of s from pos that equal all of t's bytes, compared until the first difference.
bool bytes_match(const held &s, int pos, const held &t) {
    for (int i = 0; i < t.byte_length(); i++) {
        if (pos + i > s.size || s.bytes[pos + i] != t.bytes[i]) return false;
    }
    return true;
}

void check_find_string(const held &s, const held &t) {
    const rune16 first_of_t = t.runes.front().rune;
    const char *expected = nullptr;
    for (const rune_at &r : s.runes) {
        if (r.rune == first_of_t && bytes_match(s, r.pos, t)) {
            expected = s.bytes + r.pos;
            break;
        }
    }
    check(u8_findstr(s.bytes, t.bytes) == expected,
          "u8_findstr finds t's bytes at the first rune position that starts them");
}

int compared(const held &a, const held &b, std::int64_t pairs) {
    // Each side ends at its terminator, so neither index passes it.
    for (std::size_t i = 0;; i++) {
        const rune16 ra = a.runes[i].rune;
        const rune16 rb = b.runes[i].rune;
        if (ra == 0 || rb == 0 || ra != rb) return rb - ra;
        if (static_cast<std::int64_t>(i) + 1 >= pairs) return 0;
    }
}

void check_compare(const held &s, const held &t, int n) {
    const int difference = u8_cmp(s.bytes, t.bytes);
    check(difference == compared(s, t, INT64_MAX), "u8_cmp is b's rune minus a's");
    check(u8_cmp(t.bytes, s.bytes) == -difference, "u8_cmp turns its sign with its arguments");
    check(u8_cmp(s.bytes, s.bytes) == 0, "a string equals itself");
    for (const int bound : {INT_MIN, -1, 0, 1, n, INT_MAX}) {
        const std::int64_t pairs = bound <= 0 ? 1 : static_cast<std::int64_t>(bound) + 1;
        check(u8_ncmp(s.bytes, t.bytes, bound) == compared(s, t, pairs),
              "u8_ncmp compares at most n + 1 pairs");
    }
    check(u8_ncmp(s.bytes, t.bytes, INT_MAX) == difference, "u8_ncmp with a huge n is u8_cmp");

    // Both hold their runes through their terminators.
    const int pairs = std::min(n, std::min(s.length(), t.length()) + 1);
    std::vector<rune16> runes;
    for (const rune_at &r : t.runes)
        runes.push_back(r.rune);
    int expected = 0;
    for (int i = 0; i < pairs; i++) {
        const rune16 wanted = runes[as_size(i)];
        if (rune_number(s, i).rune != wanted) {
            expected = rune_number(s, i).rune - wanted;
            break;
        }
    }
    check(u8_cmprunes(runes.data(), s.bytes, pairs) == expected,
          "u8_cmprunes is s's rune minus the array's at the first difference");
    check(u8_cmprunes(runes.data(), t.bytes, t.length() + 1) == 0,
          "a string's runes equal the string");
}

void check_spans(const held &s, const held &set) {
    for (const bool inside : {true, false}) {
        int accepted = 0;
        while (accepted < s.length() && in_set(rune_number(s, accepted).rune, set) == inside)
            accepted++;
        int runes = -1;
        const int spanned =
            inside ? u8_span(s.bytes, set.bytes, &runes) : u8_cspan(s.bytes, set.bytes, &runes);
        check(spanned == rune_number(s, accepted).pos && runes == accepted,
              inside ? "u8_span takes the leading runes in the set"
                     : "u8_cspan takes the leading runes outside the set");
    }
    const char *expected = nullptr;
    for (int i = 0; i < set.length() && expected == nullptr; i++) {
        for (int j = 0; j < s.length(); j++) {
            if (rune_number(s, j).rune == rune_number(set, i).rune) {
                expected = s.bytes + rune_number(s, j).pos;
                break;
            }
        }
    }
    check(u8_findany(s.bytes, set.bytes) == expected,
          "u8_findany finds the first rune of the set that occurs in s");
}

// Stepping back over a whole sequence decodes it again, whatever comes before it.
void check_decode_prev(const held &s) {
    for (const rune_at &r : s.runes) {
        const bool malformed = r.width == 1 && static_cast<unsigned char>(s.bytes[r.pos]) >= 0x80;
        if (malformed || r.pos + r.width > s.size) continue;
        rune16 back;
        const int width = u8_decode_prev(&back, s.bytes + r.pos + r.width);
        check(back == r.rune && width == r.width, "u8_decode_prev decodes the sequence before end");
    }
}

// dst of exactly `size` bytes, filled with a mark that must survive where nothing is written.
constexpr char MARK = '\x5A';

char *marked(std::size_t size) {
    char *const dst = static_cast<char *>(std::malloc(size == 0 ? 1 : size));
    std::memset(dst, MARK, size);
    return dst;
}

bool all_marked(const char *p, int n) {
    for (int i = 0; i < n; i++) {
        if (p[i] != MARK) return false;
    }
    return true;
}

void check_copies(const held &s, int n) {
    const int length = s.byte_length();
    char *dst = marked(as_size(length) + 1);
    check(u8_copy(dst, s.bytes) == dst, "u8_copy returns dst");
    check(std::memcmp(dst, s.bytes, as_size(length)) == 0 && dst[length] == '\0',
          "u8_copy moves the bytes and one 00");
    check(u8_cmp(dst, s.bytes) == 0, "a copy compares equal");
    std::free(dst);

    const int size = n % (length + 3);
    dst = marked(as_size(size));
    check(u8_ncopy(dst, s.bytes, size) == dst, "u8_ncopy returns dst");
    const int moved = std::min(length, size);
    check(std::memcmp(dst, s.bytes, as_size(moved)) == 0, "u8_ncopy moves the bytes that fit");
    if (length < size) {
        check(dst[length] == '\0' && all_marked(dst + length + 1, size - length - 1),
              "u8_ncopy ends a copy that fits with one 00 and writes nothing after it");
    }
    std::free(dst);
}

// dst holds t through its terminator, in a block of `size` bytes or as many as that needs.
char *holding(const held &t, int size) {
    const int through = t.through_terminator();
    char *const dst = marked(as_size(std::max(size, through)));
    std::memcpy(dst, t.bytes, as_size(through));
    return dst;
}

void check_appends(const held &t, const held &s, int n) {
    const int used = t.byte_length();
    const int length = s.byte_length();
    char *dst = holding(t, used + length + 1);
    check(u8_append(dst, s.bytes) == dst, "u8_append returns dst");
    check(std::memcmp(dst, t.bytes, as_size(used)) == 0 &&
              std::memcmp(dst + used, s.bytes, as_size(length)) == 0 && dst[used + length] == '\0',
          "u8_append moves s and one 00 over dst's terminator");
    std::free(dst);

    const int size = used + n % (length + 3);
    dst = holding(t, size);
    const std::string before(dst, as_size(std::max(size, t.through_terminator())));
    check(u8_nappend(dst, s.bytes, size) == dst, "u8_nappend returns dst");
    const int moved = std::min(length, size - used);
    check(std::memcmp(dst, t.bytes, as_size(used)) == 0 &&
              std::memcmp(dst + used, s.bytes, as_size(moved)) == 0,
          "u8_nappend moves the bytes of s that fit after dst's");
    const int written = used + moved + (length < size - used ? 1 : 0);
    if (length < size - used) check(dst[used + length] == '\0', "u8_nappend ends what fits");
    const std::size_t rest = as_size(written);
    check(before.compare(rest, std::string::npos, dst + written, before.size() - rest) == 0,
          "u8_nappend writes nothing past what it moves and its 00");
    std::free(dst);
}

// Copies within one block, in both directions, behave as memmove of the bytes and a 00.
void check_overlapping_copy(const held &s, int shift) {
    const int length = s.byte_length();
    const int size = s.through_terminator() + shift + 1;
    for (const bool forward : {true, false}) {
        std::string expected(as_size(size), MARK);
        const int from = forward ? 0 : shift;
        const int to = forward ? shift : 0;
        expected.replace(as_size(from), as_size(s.through_terminator()), s.bytes,
                         as_size(s.through_terminator()));
        char *const block = marked(as_size(size));
        std::memcpy(block, expected.data(), expected.size());
        expected.replace(as_size(to), as_size(length), s.bytes, as_size(length));
        expected[as_size(to + length)] = '\0';
        u8_copy(block + to, block + from);
        check(expected.compare(0, expected.size(), block, expected.size()) == 0,
              "an overlapping u8_copy moves as memmove does");
        std::free(block);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    fuzz_bytes options{data, size};
    const unsigned index = take_byte(&options);
    const unsigned count = take_byte(&options);
    const unsigned low = take_byte(&options);
    const unsigned high = take_byte(&options);

    std::size_t split = options.size;
    for (std::size_t i = 0; i + 1 < options.size; i++) {
        if (options.data[i] == 0xFF && options.data[i + 1] == 0xFF) {
            split = i;
            break;
        }
    }
    const std::size_t t_start = std::min(split + 2, options.size);
    held s = hold(options.data, split);
    held t = hold(options.data + t_start, options.size - t_start);

    const int n = static_cast<int>(count);
    check_counts(s, n);
    const std::int64_t fuzzed_rune = static_cast<std::int64_t>(high << 8 | low);
    for (const std::int64_t c :
         {std::int64_t{0}, std::int64_t{RUNE_BAD}, fuzzed_rune, fuzzed_rune + 0x10000, -fuzzed_rune,
          std::int64_t{s.runes[index % s.runes.size()].rune}, std::int64_t{t.runes.front().rune}}) {
        check_find_rune(s, c);
    }
    check_find_string(s, t);
    check_find_string(t, s);
    check_compare(s, t, n);
    check_spans(s, t);
    check_decode_prev(s);
    check_copies(s, n);
    check_appends(t, s, n);
    check_overlapping_copy(s, static_cast<int>(index % 8));

    std::free(s.bytes);
    std::free(t.bytes);
    return 0;
}
