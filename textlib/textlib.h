// textlib: the UTF-8 codec, rune streams, diagnostics, decimal parsers, command frame and
// string operations shared by the text filters.
#ifndef TEXTLIB_TEXTLIB_H
#define TEXTLIB_TEXTLIB_H

#include <cstdint>
#include <cstdio>
#include <span>
#include <unistd.h> // getopt, optarg and optind for the frame

// ---- Codec: UTF-8 of one to three bytes, 16-bit runes ----

using rune16 = std::uint16_t;

// Every malformed sequence reads as this one rune; no encoding of U+0080 is ever accepted.
constexpr rune16 RUNE_BAD = 0x80;
// Bytes below this stand for themselves.
constexpr int U8_SELF = 0x80;
// The most bytes of one rune, and the size of every encoding or reading buffer.
constexpr int U8_MAXBYTES = 3;

// Writes *src's 1 to 3 bytes to dst, which has room for U8_MAXBYTES; rune 0 as C0 80, no
// terminator. Returns the count.
int u8_encode(char *dst, const rune16 *src);
// Decodes the rune at src (null gives RUNE_BAD) into *dst and returns its width, 1 to 3; reads no
// byte after one that cannot continue the sequence, so it is safe at a terminator.
int u8_decode(rune16 *dst, const char *src);
// The bytes u8_encode writes for a rune; 2 for 0, for negative values and for 0x80 to 0x7FF.
int u8_runewidth(std::int64_t rune);
// 1 when the first n bytes of src are exactly one whole sequence other than a form of U+0080.
int u8_isfull(const char *src, int n);

// ---- Rune streams ----

// The next rune of the stream, or -1 at its end; a malformed sequence is RUNE_BAD and ends before
// the first byte that cannot continue it, also at the end of the input.
int rune_fgetc(FILE *stream);
// Writes r as u8_encode does; r, or -1 when a byte could not be written.
int rune_fputc(rune16 r, FILE *stream);

// ---- Diagnostics and decimal parsers ----

extern const char *diag_progname;

void diag_warn(const char *format, ...) __attribute__((format(printf, 1, 2)));
[[noreturn]] void diag_fatal(const char *format, ...) __attribute__((format(printf, 1, 2)));

int int_clamp_parse(const char *text, char **end, int base);
int int_strict_parse(const char *text, int base);

// ---- Command frame shared by the tools' main routines ----

// One line of --help: an option's form ("-t N", "--display-width") and what it does. An empty
// form goes on with the line before it.
struct frame_option_help {
    const char *form;
    const char *text;
};

// What a tool says of itself.
struct frame_tool {
    const char *identification; // "@(#)", the name, a tab and the version
    const char *usage;          // the usage line after "usage: "
    // --help's lines for the tool's own options; -v, --help and --version are the frame's.
    std::span<const frame_option_help> options;
};

// What frame_getopt returns for a long option, apart from every option letter. Every tool
// accepts the first two; a long option of only some tools gets its code here and is named
// by those tools when they call frame_getopt.
enum frame_long_code : int {
    LONG_HELP = 0x100,
    LONG_VERSION,
    LONG_DISPLAY_WIDTH, // expand, tabsqueeze and linefill
    LONG_KEEP_BYTES,    // expand, tabsqueeze and linefill
    LONG_FILES0_FROM,   // tally
    LONG_TOTAL,         // tally
    LONG_PREFIX,        // linefill
};

struct frame_long_option {
    const char *name; // without the leading "--"
    frame_long_code code;
    bool takes_value = false; // written --name=value, the value in optarg
    // With takes_value: "--name" alone is accepted too, and leaves optarg null.
    bool value_optional = false;
};

// getopt with the tool's option string, diagnostics off, stopping at the first operand
// whatever the platform's default. Where an option may stand, "--help", "--version" and the
// tool's own long options give their codes; they are never abbreviated, one that takes a value
// has it after "=" (unless the value is optional), and any other argument that starts with "--",
// "--" itself apart, gives '?'.
int frame_getopt(int argc, char **argv, const char *options,
                 std::span<const frame_long_option> tool_long_options = {});
// -v: the identification string on standard error, exit 0.
[[noreturn]] void frame_identify(const frame_tool &tool);
// --version: the identification string on standard output, then frame_exit.
[[noreturn]] void frame_version(const frame_tool &tool);
// --help: the usage line and the options, their forms in one column, on standard output, then
// frame_exit.
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
// Set by --display-width: a rune takes the columns a terminal shows it in, not one.
extern bool display_width;
// Set by --keep-bytes: what the codec reads as malformed is written as it was read, not as C2 80,
// and a four-byte sequence of U+10000 to U+10FFFF is one rune of one column (or of its display
// width).
extern bool keep_bytes;
// -t's value: one width from 1 to INT_MAX into tab_width, or a list of two or more increasing
// stops from 1 to INT_MAX, apart by commas or blanks; anything else ends the program.
void frame_tabs(const char *text);

// "-" is standard input; anything else is opened or the program ends with "unable to open".
FILE *input_open(const char *name);
// A read error ends the program with "unable to read"; standard input is left open.
void input_close(FILE *stream, const char *name);

// ---- UTF-8 string operations ----
// A string runs to its first rune 0 (00, C0 80 or E0 80 80), each malformed byte one RUNE_BAD;
// every string given is terminated and shorter than 2^31 bytes, and no pointer is null.

// Runes before the terminator.
int u8_len(const char *s);
// Runes before the terminator, but at most n (0 when n <= 0); s need hold only n runes.
int u8_nlen(const char *s, int n);
// Bytes before the terminator.
int u8_bytelen(const char *s);
// The first rune of s equal to c (0 finds the terminator), or null; c outside 0-0xFFFF finds none.
char *u8_findrune(const char *s, std::int64_t c);
// The last rune of s equal to c, the terminator included, or null.
char *u8_findlastrune(const char *s, std::int64_t c);
// The first rune position of s where the bytes of t follow; the empty t is found at the terminator.
char *u8_findstr(const char *s, const char *t);
// b's rune minus a's at the first pair that differs or holds a terminator; 0 if equal.
int u8_cmp(const char *a, const char *b);
// As u8_cmp over at most n + 1 rune pairs (the first pair always).
int u8_ncmp(const char *a, const char *b, int n);
// Bytes of the leading runes of s that belong to set; their count goes to *nrunes.
int u8_span(const char *s, const char *set, int *nrunes);
// Bytes of the leading runes of s that do not belong to set; their count goes to *nrunes.
int u8_cspan(const char *s, const char *set, int *nrunes);
// Decodes the rune that ends just before end into *dst and returns its width; the 1 to 3 bytes
// before end that it reads must exist.
int u8_decode_prev(rune16 *dst, const char *end);
// Where s first holds the earliest rune of set (in set's order) that it holds at all, or null.
char *u8_findany(const char *s, const char *set);
// s's rune minus runes[i] at the first of n pairs that differ, else 0; both hold at least n runes,
// and rune 0 ends neither.
int u8_cmprunes(const rune16 *runes, const char *s, int n);
// Copies src and a 00 to dst, which holds u8_bytelen(src) + 1 bytes; overlap as memmove. Returns
// dst.
char *u8_copy(char *dst, const char *src);
// Copies src into dst of n >= 0 bytes: whole with a 00 if it fits with room to spare, else exactly
// n bytes and no terminator (a sequence may be cut); overlap as memmove. Returns dst.
char *u8_ncopy(char *dst, const char *src, int n);
// Appends src and a 00 to dst, which holds both byte lengths plus one; overlap as memmove. Returns
// dst.
char *u8_append(char *dst, const char *src);
// Appends src to dst of n bytes in all, n at least dst's byte length: with a 00 if it fits with
// room to spare, else filling dst to n bytes without one; overlap as memmove. Returns dst.
char *u8_nappend(char *dst, const char *src, int n);

// ---- Bounded formatter ----

// printf-like into dst of size bytes, always terminated when size > 0: %s (null prints "(null)"),
// %c, %%, and %[digits][h|l][d|o|x] for int, int cut to 16 bits, or 64-bit long. Each argument
// has its conversion's type; at most 1020 digits and a field width of at most 1023. Returns the
// bytes stored before the 00, size when output was cut, 0 when size <= 0.
int u8_snprintf(char *dst, int size, const char *format, ...);

#endif
