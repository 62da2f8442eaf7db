// textlib: the UTF-8 codec, rune streams, diagnostics, decimal parsers, command frame and
// string operations shared by the text filters.
#ifndef TEXTLIB_TEXTLIB_H
#define TEXTLIB_TEXTLIB_H

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <span>
#include <unistd.h> // getopt, optarg and optind for the frame
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// ---- Codec: UTF-8 of one to three bytes, 16-bit runes ----

// The runes the filters treat apart: blanks are tab and space, and no other rune.
constexpr int TAB = 9;
constexpr int NEWLINE = 10;
constexpr int SPACE = 32;

inline bool is_blank(int r) {
    return r == SPACE || r == TAB;
}

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

// A filter's per-file routine: opens the named input, runs routine from it to standard output,
// writes out what is left and closes the input by the frame's rules.
void block_filter_file(const char *name, void (*routine)(block_input *in, block_output *out));

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

// The width of the two- or three-byte sequence at p when the codec writes it back byte for byte
// (shortest form; C2 80 too, as that is how RUNE_BAD is written) and it lies wholly before end;
// 0 for anything else.
inline int verbatim_width(const char *p, const char *end) {
    const auto byte = [p](int i) { return static_cast<unsigned char>(p[i]); };
    const auto continues = [&](int i) { return (byte(i) & 0xC0) == 0x80; };
    const unsigned b0 = byte(0);
    if (b0 >= 0xC2 && b0 <= 0xDF) return end - p >= 2 && continues(1) ? 2 : 0;
    if (b0 >= 0xE0 && b0 <= 0xEF && end - p >= 3 && continues(1) && continues(2)) {
        return b0 != 0xE0 || byte(1) >= 0xA0 ? 3 : 0;
    }
    return 0;
}

// ---- Chunk scanning for fast paths ----

// The bytes that one scan_chunk looks at.
constexpr std::size_t SCAN_CHUNK = 64;

// What scan_chunk finds in SCAN_CHUNK bytes that start at a rune boundary: one bit a byte, bit i
// for byte i.
struct chunk_scan {
    std::uint64_t continuation; // continuation bytes
    std::uint64_t tabs;         // the byte 09
    std::uint64_t newlines;     // the byte 0A
    std::uint64_t spaces;       // the byte 20
    // The bytes from the chunk's start, ending at a rune boundary, whose runes the codec writes
    // back byte for byte: tab, newline, 0B to 7F, and whole shortest-form sequences but U+0080.
    std::size_t plain;
    // The byte at plain needs the codec's closer look; otherwise plain stops only short of a
    // sequence cut by the chunk's end, at most two bytes before it.
    bool stopped;
};

namespace chunk_detail {

// Per byte of a 16-byte piece, bit i for byte i: the classes scan_chunk combines.
struct piece_bits {
    std::uint64_t high, bit6, bit5, tabs, newlines, spaces, trouble;
};

#if defined(__SSE2__)
inline piece_bits classify_piece(const char *p) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
    const auto bits = [](__m128i x) { return static_cast<std::uint64_t>(_mm_movemask_epi8(x)); };
    const auto splat = [](int byte) { return _mm_set1_epi8(static_cast<char>(byte)); };
    const __m128i shifted1 = _mm_add_epi8(v, v);
    const __m128i shifted2 = _mm_add_epi8(shifted1, shifted1);
    // Bytes 00 to 08, and the leads the codec rewrites or refuses: C0, C1 and C2 (overlong forms
    // and U+0080; C2 is refused whole, the codec then takes a closer look), E0, F0 to FF.
    const __m128i controls = _mm_cmpeq_epi8(_mm_min_epu8(v, splat(0x08)), v);
    const __m128i never = _mm_cmpeq_epi8(_mm_max_epu8(v, splat(0xF0)), v);
    const __m128i overlong =
        _mm_or_si128(_mm_cmpeq_epi8(_mm_and_si128(v, splat(0xFE)), splat(0xC0)),
                     _mm_or_si128(_mm_cmpeq_epi8(v, splat(0xC2)), _mm_cmpeq_epi8(v, splat(0xE0))));
    return {bits(v),
            bits(shifted1),
            bits(shifted2),
            bits(_mm_cmpeq_epi8(v, splat(0x09))),
            bits(_mm_cmpeq_epi8(v, splat(0x0A))),
            bits(_mm_cmpeq_epi8(v, splat(0x20))),
            bits(_mm_or_si128(controls, _mm_or_si128(never, overlong)))};
}
#else
inline piece_bits classify_piece(const char *p) {
    piece_bits b{};
    for (int i = 0; i < 16; i++) {
        const unsigned c = static_cast<unsigned char>(p[i]);
        const auto set = [i](std::uint64_t &mask, bool on) { mask |= std::uint64_t{on} << i; };
        set(b.high, (c & 0x80) != 0);
        set(b.bit6, (c & 0x40) != 0);
        set(b.bit5, (c & 0x20) != 0);
        set(b.tabs, c == 0x09);
        set(b.newlines, c == 0x0A);
        set(b.spaces, c == 0x20);
        set(b.trouble, c <= 0x08 || c >= 0xF0 || c == 0xC0 || c == 0xC1 || c == 0xC2 || c == 0xE0);
    }
    return b;
}
#endif

} // namespace chunk_detail

// One bit a set bit: a count without needing a popcount instruction.
inline int bit_count(std::uint64_t x) {
    x = x - ((x >> 1) & 0x5555555555555555);
    x = (x & 0x3333333333333333) + ((x >> 2) & 0x3333333333333333);
    x = (x + (x >> 4)) & 0x0F0F0F0F0F0F0F0F;
    return static_cast<int>((x * 0x0101010101010101) >> 56);
}

// The bits below bit n, n from 0 to 64.
inline std::uint64_t bits_below(std::size_t n) {
    return n >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << n) - 1;
}

// Looks at the SCAN_CHUNK bytes at p, which start at a rune boundary.
inline void scan_chunk(const char *p, chunk_scan *scan) {
    using chunk_detail::piece_bits;
    std::uint64_t high = 0, bit6 = 0, bit5 = 0, trouble = 0;
    scan->tabs = scan->newlines = scan->spaces = 0;
    for (int piece = 0; piece < 4; piece++) {
        const piece_bits b = chunk_detail::classify_piece(p + 16 * piece);
        const int shift = 16 * piece;
        high |= b.high << shift;
        bit6 |= b.bit6 << shift;
        bit5 |= b.bit5 << shift;
        scan->tabs |= b.tabs << shift;
        scan->newlines |= b.newlines << shift;
        scan->spaces |= b.spaces << shift;
        trouble |= b.trouble << shift;
    }
    const std::uint64_t continuation = high & ~bit6;
    const std::uint64_t lead = high & bit6;
    const std::uint64_t lead3 = lead & bit5;
    scan->continuation = continuation;
    // Every continuation byte must be announced by a lead, and every lead's bytes must follow.
    const std::uint64_t problems = (continuation ^ ((lead << 1) | (lead3 << 2))) | trouble;
    if (problems == 0) {
        scan->stopped = false;
        scan->plain = SCAN_CHUNK - ((lead3 >> 62) & 1 ? 2 : (lead >> 63) & 1 ? 1 : 0);
        return;
    }
    // Stop at the problem, or at the start of the sequence that it cuts.
    scan->stopped = true;
    std::size_t plain = static_cast<std::size_t>(std::countr_zero(problems));
    const std::uint64_t starts = ~continuation & bits_below(plain);
    if (starts != 0) {
        const int last = static_cast<int>(std::bit_width(starts)) - 1;
        const std::size_t width = (lead3 >> last) & 1 ? 3 : (lead >> last) & 1 ? 2 : 1;
        if (static_cast<std::size_t>(last) + width > plain) plain = static_cast<std::size_t>(last);
    }
    scan->plain = plain;
}

// ---- Diagnostics and decimal parsers ----

extern const char *diag_progname;

void diag_warn(const char *format, ...) __attribute__((format(printf, 1, 2)));
[[noreturn]] void diag_fatal(const char *format, ...) __attribute__((format(printf, 1, 2)));

int int_clamp_parse(const char *text, char **end, int base);
int int_strict_parse(const char *text, int base);

// ---- Command frame shared by the tools' main routines ----

// What a tool says of itself.
struct frame_tool {
    const char *identification; // "@(#)", the name, a tab and the version
    const char *usage;          // the usage line after "usage: "
    const char *options;        // --help's lines for the option letters, each ending in \n
};

// What frame_getopt returns for a long option, apart from every option letter. Every tool
// accepts the first two; a long option of only some tools gets its code here and is named
// by those tools when they call frame_getopt.
enum frame_long_code : int {
    LONG_HELP = 0x100,
    LONG_VERSION,
};

struct frame_long_option {
    const char *name; // without the leading "--"
    frame_long_code code;
};

// getopt with the tool's option string, diagnostics off, stopping at the first operand
// whatever the platform's default. Where an option may stand, "--help", "--version" and the
// tool's own long options give their codes; they are never abbreviated, and any other
// argument that starts with "--", "--" itself apart, gives '?'.
int frame_getopt(int argc, char **argv, const char *options,
                 std::span<const frame_long_option> tool_long_options = {});
// -v: the identification string on standard error, exit 0.
[[noreturn]] void frame_identify(const frame_tool &tool);
// --version: the identification string on standard output, then frame_exit.
[[noreturn]] void frame_version(const frame_tool &tool);
// --help: the usage line and a line per option on standard output, then frame_exit.
[[noreturn]] void frame_help(const frame_tool &tool);
// A bad option or a missing value: the usage line, exit 1.
[[noreturn]] void frame_usage(const frame_tool &tool);
// A numeric option's value, 1 to INT_MAX; anything else ends the program with message.
int frame_positive(const char *text, const char *message);
// Calls per_file for each operand after the options, or once with "-"; returns the count of
// operands.
int frame_run(int argc, char **argv, void (*per_file)(const char *name));
// Exit 0 once standard output has really been written, else "write error" and exit 1.
[[noreturn]] void frame_exit();

// The distance between tab stops, set by -t in every tool that knows tabs; one definition,
// so that tools' routines can run side by side in one program.
extern int tab_width;

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
