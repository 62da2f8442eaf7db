// textlib: the UTF-8 codec, rune streams, diagnostics, decimal parsers, command frame and
// string operations shared by the text filters.
#ifndef TEXTLIB_TEXTLIB_H
#define TEXTLIB_TEXTLIB_H

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <unistd.h> // getopt, optarg and optind for the frame
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// ---- Codec: UTF-8 of one to three bytes, 16-bit runes ----

using rune16 = std::uint16_t;

// Every malformed sequence reads as this one rune; no encoding of U+0080 is ever accepted.
constexpr rune16 RUNE_BAD = 0x80;
// Bytes below this stand for themselves.
constexpr int U8_SELF = 0x80;
// The most bytes of one rune, and the size of every encoding or reading buffer.
constexpr int U8_MAXBYTES = 3;

int u8_encode(char *dst, const rune16 *src);
int u8_decode(rune16 *dst, const char *src);
int u8_runewidth(std::int64_t rune);
int u8_isfull(const char *src, int n);

// Groups the first bytes of src[0..n) into one rune exactly as rune_fgetc groups a stream
// that holds those n bytes and then ends. Stores the rune and returns the bytes it took
// (1 to 3); n must be at least 1. Lets block readers agree with the stream reader.
int u8_take(rune16 *dst, const char *src, std::size_t n);

// ---- Rune streams ----

int rune_fgetc(FILE *stream);
int rune_fputc(rune16 r, FILE *stream);

// Block-wise reading and writing for the tools' fast paths: the same runes and bytes as
// rune_fgetc and rune_fputc, without a library call per byte.
constexpr std::size_t BLOCK_SIZE = 128 * 1024;

struct block_input {
    FILE *stream;
    std::size_t block;      // bytes asked of each read; BLOCK_SIZE but for tests
    std::size_t begin, end; // the unread bytes are data[begin..end)
    bool at_eof;            // the stream has given all it has
    bool failed;            // a read failed; block_input_close reports it
    char data[BLOCK_SIZE + U8_MAXBYTES];
};

void block_input_start(block_input *in, FILE *stream, std::size_t block = BLOCK_SIZE);
// Reads more when fewer than U8_MAXBYTES bytes are unread and the stream has more, keeping the
// unread ones. Returns false once no byte is left.
bool block_input_fill(block_input *in);
// Takes one rune at data[begin], growing the buffer first so that a whole sequence is there.
// Returns -1 at the end, like rune_fgetc.
int block_input_rune(block_input *in);
// input_close, after reporting a failed read as "unable to read".
void block_input_close(block_input *in, const char *name);

struct block_output {
    FILE *stream;
    std::size_t used;
    char data[BLOCK_SIZE];
};

void block_output_start(block_output *out, FILE *stream);
// Writes the buffer out; a failed write ends the program with "write error".
void block_output_flush(block_output *out);
void block_output_bytes(block_output *out, const char *bytes, std::size_t n);
void block_output_repeat(block_output *out, char byte, std::uint64_t count);

inline void block_output_byte(block_output *out, char byte) {
    if (out->used == BLOCK_SIZE) block_output_flush(out);
    out->data[out->used++] = byte;
}

inline void block_output_rune(block_output *out, rune16 r) {
    if (out->used > BLOCK_SIZE - U8_MAXBYTES) block_output_flush(out);
    out->used += static_cast<std::size_t>(u8_encode(out->data + out->used, &r));
}

// ---- Word-at-a-time search for the bytes a fast path must look at one by one ----
// High bit set in each byte of x that is below `below` (at most 0x80) or is 0x80 and above.
// Only the lowest flagged byte in memory order is exact: a borrow may flag bytes after it.
inline std::uint64_t bytes_flagged(std::uint64_t x, unsigned below) {
    constexpr std::uint64_t ones = 0x0101010101010101;
    constexpr std::uint64_t highs = 0x8080808080808080;
    return (((x - ones * below) & ~x) | x) & highs;
}

// The index of the lowest flagged byte in memory order.
inline std::size_t first_flagged(std::uint64_t flags) {
    if constexpr (std::endian::native == std::endian::little) {
        return static_cast<std::size_t>(std::countr_zero(flags) / 8);
    } else {
        return static_cast<std::size_t>(std::countl_zero(flags) / 8);
    }
}

// The first byte in [p, end) that is below `below` or 0x80 and above; end if none.
inline const char *skip_plain(const char *p, const char *end, unsigned below) {
    while (end - p >= 8) {
        std::uint64_t x;
        std::memcpy(&x, p, sizeof x);
        const std::uint64_t flags = bytes_flagged(x, below);
        if (flags != 0) return p + first_flagged(flags);
        p += 8;
    }
    while (p < end && static_cast<unsigned char>(*p) >= below &&
           static_cast<unsigned char>(*p) < 0x80) {
        p++;
    }
    return p;
}

// The width of the sequence at p when it is a two- or three-byte rune that the codec writes
// back byte for byte (shortest form, not U+0080) and lies wholly before end; else 0.
inline std::size_t verbatim_width(const char *p, const char *end) {
    const auto byte = [p](int i) { return static_cast<unsigned char>(p[i]); };
    const auto continues = [&byte](int i) { return (byte(i) & 0xC0) == 0x80; };
    if (end - p < 2 || !continues(1)) return 0;
    // C0 and C1 only lead overlong forms, C2 80 is U+0080, and E0 needs A0 or more.
    if (byte(0) >= 0xC2 && byte(0) <= 0xDF) return byte(0) != 0xC2 || byte(1) != 0x80 ? 2 : 0;
    if (byte(0) >= 0xE0 && byte(0) <= 0xEF && end - p >= 3 && continues(2)) {
        return byte(0) != 0xE0 || byte(1) >= 0xA0 ? 3 : 0;
    }
    return 0;
}

// The longest run of plain text among the PLAIN_STRIDE bytes at p, which start at a rune
// boundary: bytes from 0x0B to 0x7F and whole shortest-form sequences other than U+0080, which
// the codec writes back byte for byte. Returns its length in bytes and stores its runes. Sets
// *stopped when the byte after the run needs a closer look; otherwise the run ends only where a
// sequence is cut by the stride's end, at most two bytes before it. May stop at text that a
// closer look would pass (a lead byte C2 or E0), never passes text that needs one.
#if defined(__SSE2__)
constexpr std::size_t PLAIN_STRIDE = 16;
using stride_bits = std::uint32_t;
#else
constexpr std::size_t PLAIN_STRIDE = 8;
using stride_bits = std::uint64_t;
#endif

namespace stride_detail {

#if defined(__SSE2__)
// One bit a byte, in memory order: bit i for byte i.
struct byte_bits {
    __m128i v;
};
inline byte_bits load(const char *p) {
    return {_mm_loadu_si128(reinterpret_cast<const __m128i *>(p))};
}
inline stride_bits top_bits(__m128i v) {
    return static_cast<stride_bits>(_mm_movemask_epi8(v));
}
inline stride_bits high_bits(byte_bits b) {
    return top_bits(b.v);
}
// Bit 6, 5 or 4 of each byte, as doubling a byte moves each bit one place up.
inline stride_bits bit_below_top(byte_bits b, int places) {
    __m128i v = b.v;
    for (int i = 0; i < places; i++)
        v = _mm_add_epi8(v, v);
    return top_bits(v);
}
inline stride_bits below_bits(byte_bits b, char bound) {
    return top_bits(_mm_cmplt_epi8(b.v, _mm_set1_epi8(bound))) & ~high_bits(b);
}
inline stride_bits equal_bits(byte_bits b, char value, char ignored) {
    const __m128i masked = _mm_andnot_si128(_mm_set1_epi8(ignored), b.v);
    return top_bits(_mm_cmpeq_epi8(masked, _mm_set1_epi8(value)));
}
inline int bit_count(stride_bits x) {
    x = x - ((x >> 1) & 0x5555);
    x = (x & 0x3333) + ((x >> 2) & 0x3333);
    x = (x + (x >> 4)) & 0x0F0F;
    return static_cast<int>((x + (x >> 8)) & 0x1F);
}
#else
// Eight bytes in a word; each byte's high bit gathered into bit i for byte i.
struct byte_bits {
    std::uint64_t w;
};
constexpr std::uint64_t ones = 0x0101010101010101;
constexpr std::uint64_t highs = 0x8080808080808080;
inline byte_bits load(const char *p) {
    byte_bits b;
    std::memcpy(&b.w, p, sizeof b.w);
    if constexpr (std::endian::native == std::endian::big) b.w = __builtin_bswap64(b.w);
    return b;
}
inline stride_bits gather(std::uint64_t flags) {
    return ((flags >> 7) * 0x0102040810204080) >> 56;
}
inline stride_bits high_bits(byte_bits b) {
    return gather(b.w & highs);
}
inline stride_bits bit_below_top(byte_bits b, int places) {
    return gather((b.w << places) & highs);
}
// Exact for the lowest flagged byte only, so the callers treat any flag as a reason to look.
inline stride_bits below_bits(byte_bits b, char bound) {
    return gather((b.w - ones * static_cast<unsigned char>(bound)) & ~b.w & highs);
}
inline stride_bits equal_bits(byte_bits b, char value, char ignored) {
    const std::uint64_t x = (b.w & ~(ones * static_cast<unsigned char>(ignored))) ^
                            (ones * static_cast<unsigned char>(value));
    return gather((x - ones) & ~x & highs);
}
inline int bit_count(stride_bits x) {
    x = x - ((x >> 1) & 0x55);
    x = (x & 0x33) + ((x >> 2) & 0x33);
    return static_cast<int>((x + (x >> 4)) & 0x0F);
}
#endif

} // namespace stride_detail

inline std::size_t plain_prefix(const char *p, std::int64_t *runes, bool *stopped) {
    using namespace stride_detail;
    constexpr stride_bits all = static_cast<stride_bits>((std::uint64_t{1} << PLAIN_STRIDE) - 1);
    const byte_bits bytes = load(p);
    const stride_bits high = high_bits(bytes);
    const stride_bits low = below_bits(bytes, 0x0B);
    *stopped = false;
    if ((high | low) == 0) {
        *runes = PLAIN_STRIDE;
        return PLAIN_STRIDE;
    }
    const stride_bits bit6 = bit_below_top(bytes, 1);
    const stride_bits bit5 = bit_below_top(bytes, 2);
    const stride_bits bit4 = bit_below_top(bytes, 3);
    const stride_bits continuation = high & ~bit6;
    const stride_bits lead = high & bit6;
    const stride_bits lead3 = lead & bit5;
    const stride_bits expected = ((lead << 1) | (lead3 << 2)) & all;
    // Leads of overlong forms and of U+0080, and the never valid F0 to FF.
    const stride_bits rewritten = (lead3 & bit4) |
                                  equal_bits(bytes, static_cast<char>(0xC0), 0x01) |
                                  equal_bits(bytes, static_cast<char>(0xC2), 0) |
                                  equal_bits(bytes, static_cast<char>(0xE0), 0);
    // Every continuation byte must be announced by a lead and every lead's bytes must follow it.
    const stride_bits problems = (continuation ^ expected) | low | rewritten;
    std::size_t length = PLAIN_STRIDE;
    if (problems != 0) {
        length = static_cast<std::size_t>(std::countr_zero(problems));
        *stopped = true;
    }
    // Back up to the start of a sequence that the problem, or the stride's end, cuts.
    const stride_bits starts =
        static_cast<stride_bits>(~continuation & ((stride_bits{1} << length) - 1));
    if (starts != 0) {
        const int last = static_cast<int>(std::bit_width(starts)) - 1;
        const std::size_t width = ((lead3 >> last) & 1) != 0  ? 3
                                  : ((lead >> last) & 1) != 0 ? 2
                                                              : 1;
        if (static_cast<std::size_t>(last) + width > length)
            length = static_cast<std::size_t>(last);
    }
    const stride_bits taken = static_cast<stride_bits>((stride_bits{1} << length) - 1);
    *runes = static_cast<std::int64_t>(length) - bit_count(continuation & taken);
    return length;
}

// Skips, from p up to end, the runes that the codec writes back byte for byte and that take
// one column: bytes from `below` to 0x7F, and whole two- and three-byte sequences in their
// shortest form other than U+0080. Adds the runes skipped to *runes and returns where it
// stopped: at end, or at a byte that needs a closer look (which may be a sequence cut by end).
const char *skip_verbatim(const char *p, const char *end, unsigned below, std::int64_t *runes);

// ---- Diagnostics and decimal parsers ----

extern const char *diag_progname;

void diag_warn(const char *format, ...) __attribute__((format(printf, 1, 2)));
[[noreturn]] void diag_fatal(const char *format, ...) __attribute__((format(printf, 1, 2)));

int int_clamp_parse(const char *text, char **end, int base);
int int_strict_parse(const char *text, int base);

// ---- Command frame shared by the tools' main routines ----

// getopt with the tool's option string, diagnostics off, stopping at the first operand
// whatever the platform's default.
int frame_getopt(int argc, char **argv, const char *options);
// -v: the identification string on standard error, exit 0.
[[noreturn]] void frame_identify(const char *identification);
// A bad option or a missing value: the usage line, exit 1.
[[noreturn]] void frame_usage(const char *usage);
// A numeric option's value, 1 to INT_MAX; anything else ends the program with message.
int frame_positive(const char *text, const char *message);
// Calls per_file for each operand after the options, or once with "-"; returns the count of
// operands.
int frame_run(int argc, char **argv, void (*per_file)(const char *name));
// Exit 0 once standard output has really been written, else "write error" and exit 1.
[[noreturn]] void frame_exit();

// "-" is standard input; anything else is opened or the program ends with "unable to open".
FILE *input_open(const char *name);
// A read error ends the program with "unable to read"; standard input is left open.
void input_close(FILE *stream, const char *name);

// ---- UTF-8 string operations ----

int u8_len(const char *s);
int u8_nlen(const char *s, int n);
int u8_bytelen(const char *s);
char *u8_findrune(const char *s, std::int64_t c);
char *u8_findlastrune(const char *s, std::int64_t c);
char *u8_findstr(const char *s, const char *t);
int u8_cmp(const char *a, const char *b);
int u8_ncmp(const char *a, const char *b, int n);
int u8_span(const char *s, const char *set, int *nrunes);
int u8_cspan(const char *s, const char *set, int *nrunes);
int u8_decode_prev(rune16 *dst, const char *end);
char *u8_findany(const char *s, const char *set);
int u8_cmprunes(const rune16 *runes, const char *s, int n);
char *u8_copy(char *dst, const char *src);
char *u8_ncopy(char *dst, const char *src, int n);
char *u8_append(char *dst, const char *src);
char *u8_nappend(char *dst, const char *src, int n);

// ---- Bounded formatter ----

int u8_snprintf(char *dst, int size, const char *format, ...);

#endif
