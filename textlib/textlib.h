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
    std::size_t block;        // bytes asked of each read; BLOCK_SIZE but for tests
    std::size_t begin, end;   // the unread bytes are data[begin..end)
    bool at_eof;              // the stream has given all it has
    bool failed;              // a read failed; block_input_close reports it
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

inline void block_output_byte(block_output *out, char byte)
{
    if (out->used == BLOCK_SIZE) block_output_flush(out);
    out->data[out->used++] = byte;
}

inline void block_output_rune(block_output *out, rune16 r)
{
    if (out->used > BLOCK_SIZE - U8_MAXBYTES) block_output_flush(out);
    out->used += static_cast<std::size_t>(u8_encode(out->data + out->used, &r));
}

// ---- Word-at-a-time search for the bytes a fast path must look at one by one ----
// High bit set in each byte of x that is below `below` (at most 0x80) or is 0x80 and above.
// Only the lowest flagged byte in memory order is exact: a borrow may flag bytes after it.
inline std::uint64_t bytes_flagged(std::uint64_t x, unsigned below)
{
    constexpr std::uint64_t ones = 0x0101010101010101;
    constexpr std::uint64_t highs = 0x8080808080808080;
    return (((x - ones * below) & ~x) | x) & highs;
}

// The first byte in [p, end) that is below `below` or 0x80 and above; end if none.
inline const char *skip_plain(const char *p, const char *end, unsigned below)
{
    while (end - p >= 8) {
        std::uint64_t x;
        std::memcpy(&x, p, sizeof x);
        const std::uint64_t flags = bytes_flagged(x, below);
        if (flags != 0) {
            if constexpr (std::endian::native == std::endian::little) {
                return p + std::countr_zero(flags) / 8;
            } else {
                return p + std::countl_zero(flags) / 8;
            }
        }
        p += 8;
    }
    while (p < end && static_cast<unsigned char>(*p) >= below &&
           static_cast<unsigned char>(*p) < 0x80) {
        p++;
    }
    return p;
}

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
