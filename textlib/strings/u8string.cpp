#include "textlib.h"

#include <cstring>

// Every walk here advances by the width of u8_decode, so a string ends at the first rune 0 in
// any of its forms (00, C0 80, E0 80 80) and each malformed byte is one RUNE_BAD. The ASCII
// loops take the same steps a byte at a time and stop at the byte 00 itself, so no scan reads
// a byte past the terminator.

namespace {

inline unsigned byte_at(const char *p) {
    return static_cast<unsigned char>(*p);
}

// A byte that is a whole rune of its own other than the terminator.
inline bool is_plain(unsigned b) {
    return b - 1 < unsigned{U8_SELF} - 1;
}

// Whether a scan for the byte stop can step over b: a plain byte other than stop. The tests are
// combined without a branch between them, so each byte costs one branch.
inline bool passes(unsigned b, unsigned stop) {
    return is_plain(b) & (b != stop);
}

// The first byte from p on that is not plain or equals stop (pass a value above 0xFF to stop at
// no particular byte). Each byte is read only once the one before it has proved plain, so the
// walk never reads past a byte 00.
inline const char *skip_plain_bytes(const char *p, unsigned stop = 0x100) {
    for (;; p += 4) {
        if (!passes(byte_at(p), stop)) return p;
        if (!passes(byte_at(p + 1), stop)) return p + 1;
        if (!passes(byte_at(p + 2), stop)) return p + 2;
        if (!passes(byte_at(p + 3), stop)) return p + 3;
    }
}

// The byte a search for rune c must stop at among plain bytes: c itself when it is one, else
// none, since no plain byte can then match.
inline unsigned plain_stop(std::int64_t c) {
    return c >= 1 && c < U8_SELF ? static_cast<unsigned>(c) : 0x100;
}

inline int next_rune(rune16 *r, const char *p) {
    const unsigned b = byte_at(p);
    if (b < U8_SELF) {
        *r = static_cast<rune16>(b);
        return 1;
    }
    return u8_decode(r, p);
}

inline int offset(const char *from, const char *to) {
    return static_cast<int>(to - from);
}

// The result type of the searches, which hand back a position in the caller's string as strchr
// does.
inline char *position(const char *p) {
    return const_cast<char *>(p);
}

// The set is scanned afresh for every rune looked up: a rune of the set equal to r counts before
// the set's terminator ends the search.
bool set_holds(const char *set, rune16 r) {
    for (;;) {
        rune16 member;
        const int width = next_rune(&member, set);
        if (member == r) return true;
        if (member == 0) return false;
        set += width;
    }
}

int span_while(const char *s, const char *set, int *nrunes, bool members) {
    const char *p = s;
    int count = 0;
    for (;;) {
        *nrunes = count;
        rune16 r;
        const int width = next_rune(&r, p);
        if (r == 0 || set_holds(set, r) != members) break;
        p += width;
        count++;
    }
    return offset(s, p);
}

// Compares byte by byte and stops at the first difference: t holds no terminator form within
// its length, so a difference shows up no later than in s's terminator.
bool bytes_begin(const char *s, const char *t, int length) {
    for (int i = 0; i < length; i++) {
        if (s[i] != t[i]) return false;
    }
    return true;
}

int compare_runes(rune16 from_b, rune16 from_a) {
    return static_cast<int>(from_b) - static_cast<int>(from_a);
}

} // namespace

int u8_len(const char *s) {
    int count = 0;
    for (;;) {
        const char *const run_end = skip_plain_bytes(s);
        count += offset(s, run_end);
        s = run_end;
        rune16 r;
        const int width = u8_decode(&r, s);
        if (r == 0) return count;
        s += width;
        count++;
    }
}

int u8_nlen(const char *s, int n) {
    int count = 0;
    while (count < n) {
        rune16 r;
        const int width = next_rune(&r, s);
        if (r == 0) break;
        s += width;
        count++;
    }
    return count;
}

int u8_bytelen(const char *s) {
    const char *p = s;
    for (;;) {
        p = skip_plain_bytes(p);
        rune16 r;
        const int width = u8_decode(&r, p);
        if (r == 0) return offset(s, p);
        p += width;
    }
}

char *u8_findrune(const char *s, std::int64_t c) {
    const unsigned stop = plain_stop(c);
    for (;;) {
        s = skip_plain_bytes(s, stop);
        rune16 r;
        const int width = next_rune(&r, s);
        if (r == c) return position(s);
        if (r == 0) return nullptr;
        s += width;
    }
}

char *u8_findlastrune(const char *s, std::int64_t c) {
    const char *last = nullptr;
    for (;;) {
        rune16 r;
        const int width = next_rune(&r, s);
        if (r == c) last = s;
        if (r == 0) return position(last);
        s += width;
    }
}

char *u8_findstr(const char *s, const char *t) {
    const int length = u8_bytelen(t);
    rune16 first;
    next_rune(&first, t);
    const unsigned stop = plain_stop(first);
    for (;;) {
        s = skip_plain_bytes(s, stop);
        rune16 r;
        const int width = next_rune(&r, s);
        if (r == first && bytes_begin(s, t, length)) return position(s);
        if (r == 0) return nullptr;
        s += width;
    }
}

int u8_cmp(const char *a, const char *b) {
    for (;;) {
        rune16 ra, rb;
        const int width_a = next_rune(&ra, a);
        const int width_b = next_rune(&rb, b);
        if (rb == 0 || ra == 0 || ra != rb) return compare_runes(rb, ra);
        a += width_a;
        b += width_b;
    }
}

int u8_ncmp(const char *a, const char *b, int n) {
    for (;;) {
        rune16 ra, rb;
        const int width_a = next_rune(&ra, a);
        const int width_b = next_rune(&rb, b);
        if (rb == 0 || ra == 0 || ra != rb) return compare_runes(rb, ra);
        // The first pair is compared whatever n is, so up to n + 1 pairs in all.
        if (n <= 0) return 0;
        n--;
        a += width_a;
        b += width_b;
    }
}

int u8_cmprunes(const rune16 *runes, const char *s, int n) {
    for (int i = 0; i < n; i++) {
        rune16 r;
        const int width = next_rune(&r, s);
        if (r != runes[i]) return compare_runes(r, runes[i]);
        s += width;
    }
    return 0;
}

int u8_span(const char *s, const char *set, int *nrunes) {
    return span_while(s, set, nrunes, true);
}

int u8_cspan(const char *s, const char *set, int *nrunes) {
    return span_while(s, set, nrunes, false);
}

int u8_decode_prev(rune16 *dst, const char *end) {
    // Steps back by what the last bytes suggest, without checking that the sequence found
    // really ends at end; only the forward decode decides the rune and its width.
    const char *start = end - 3;
    if (byte_at(end - 1) < U8_SELF) {
        start = end - 1;
    } else {
        const unsigned before = byte_at(end - 2);
        if (before >= 0xC0 && before <= 0xDF) start = end - 2;
    }
    return u8_decode(dst, start);
}

char *u8_findany(const char *s, const char *set) {
    // The set's order decides, not the order in s. A member is never 0, so the terminator of s
    // is never matched.
    for (;;) {
        rune16 member;
        const int width = next_rune(&member, set);
        if (member == 0) return nullptr;
        char *const found = u8_findrune(s, member);
        if (found != nullptr) return found;
        set += width;
    }
}

// The copies store a single byte 00 after the bytes moved, so the destination ends even when
// the source ends in C0 80 or E0 80 80.

char *u8_copy(char *dst, const char *src) {
    const int length = u8_bytelen(src);
    std::memmove(dst, src, static_cast<std::size_t>(length));
    dst[length] = '\0';
    return dst;
}

char *u8_ncopy(char *dst, const char *src, int n) {
    if (n <= 0) return dst;
    const int length = u8_bytelen(src);
    // Stored after the move: with dst before an overlapping src, dst[length] is a source byte.
    std::memmove(dst, src, static_cast<std::size_t>(length < n ? length : n));
    if (length < n) dst[length] = '\0';
    return dst;
}

char *u8_append(char *dst, const char *src) {
    u8_copy(dst + u8_bytelen(dst), src);
    return dst;
}

char *u8_nappend(char *dst, const char *src, int n) {
    const int used = u8_bytelen(dst);
    if (n <= used) return dst;
    const int room = n - used;
    const int length = u8_bytelen(src);
    std::memmove(dst + used, src, static_cast<std::size_t>(length < room ? length : room));
    if (length < room) dst[used + length] = '\0';
    return dst;
}
