// The exact step: the tools' way through text that is not plain, by the codec's grouping of bytes
// into runes but a chunk at a time from the kernel, so that no rune waits for the one before it
// to be decoded. A tool drives it with a plain loop: each call yields the next thing to handle.
// Internal to textlib and the tools.
#ifndef TEXTLIB_FASTPATH_STEP_H
#define TEXTLIB_FASTPATH_STEP_H

#include "blocks.h"
#include "runes.h"
#include "scan.h"
#include "units.h"

#include <cstdint>
#include <cstring>

// The room that the bytes of a stretch may take when written.
constexpr std::size_t TEXTLIB_STRETCH_ROOM = 2 * 64;

// A stretch of runes that need no decoding, n bytes from at: one-byte runes, plain runes and
// malformed runes of two bytes, and with keep_bytes four-byte sequences, one rune each. Bit i of a
// mask is for at[i], and only bits below n are set.
struct textlib_stretch {
    const char *at;
    unsigned n;
    // Runes written as two bytes: one-byte runes that are not plain, and malformed runes of two
    // bytes, whose second byte is dropped.
    std::uint64_t doubled, dropped;
    std::uint64_t starts; // every rune
    std::uint64_t newlines, zeros;
    // Kept: the last bytes of malformed runes of one or two bytes, which continuation bytes right
    // after them would join.
    std::uint64_t joinable;
};

// What a call of the exact step yields.
enum textlib_step_kind {
    TEXTLIB_STRETCH, // step.stretch: runes that need no decoding
    // step.rune, its step.width bytes at step.at: one the tool must look at, with keep_bytes a
    // four-byte sequence too, as a RUNE_BAD of four bytes
    TEXTLIB_RUNE,
    TEXTLIB_MORE,  // the rune at step.next needs bytes still to come
    TEXTLIB_PLAIN, // plain text is ahead at step.next, or the bytes have ended there
};

// The step's functions are always inlined: in a tool's loop its state then stays in registers,
// as it must for the per-rune step to keep up with the kernel.

// Where the exact step stands between calls. Its chunk: the runes that start in its bytes from
// chunk_at up to stop, which are the step's; plain text follows them when plain_after is set.
struct textlib_step {
    const char *next; // the first byte not yet yielded
    const char *end;
    bool at_eof;
    // keep_bytes, a constant where the tool's loop is made for one value of it: either way's code
    // then has its registers to itself.
    bool keep;
    const char *chunk_at;
    unsigned stop;
    bool plain_after;
    textlib_runes runes;
    std::uint64_t longer;                     // the starts of runes of more than one byte
    std::uint64_t doubled, dropped, joinable; // as a stretch has them
    std::uint64_t decoded;                    // runes that go to the tool decoded
    std::uint64_t next_blank;                 // runes before one that may be a blank or a newline
    // What the last call yielded.
    textlib_stretch stretch;
    rune16 rune;
    const char *at;
    unsigned width;
};

inline textlib_step textlib_step_start(const char *p, const char *end, bool at_eof, bool keep) {
    textlib_step s{};
    s.next = s.chunk_at = p;
    s.end = end;
    s.at_eof = at_eof;
    s.keep = keep;
    return s;
}

// With keep_bytes, makes each four-byte sequence among the runes at p one rune: to the kernel its
// bytes are four malformed runes of one byte, the first of them one of four_leads. A sequence that
// the runes end in is left for the next chunk, or for more bytes unless at_eof. Returns the
// sequences' first bytes.
[[gnu::always_inline]] inline std::uint64_t textlib_join_fours(textlib_runes *runes,
                                                               std::uint64_t four_leads,
                                                               const char *p, const char *end,
                                                               bool at_eof) {
    std::uint64_t fours = 0;
    // A branch on each costs little, for they are few.
    for (; four_leads != 0; four_leads &= four_leads - 1) {
        const unsigned at = textlib_lowest(four_leads);
        const int four = textlib_four_bytes(p + at, static_cast<std::size_t>(end - p) - at);
        if (four < 0 || (four == 0 && at_eof)) continue;
        if (at + TEXTLIB_UNIT_MAXBYTES <= runes->whole) {
            fours |= std::uint64_t{1} << at;
            runes->starts &= ~(std::uint64_t{7} << (at + 1));
            continue;
        }
        const std::uint64_t bytes = textlib_below(at);
        *runes = {runes->starts & bytes,    runes->plain & bytes,
                  runes->tabs & bytes,      runes->newlines & bytes,
                  runes->spaces & bytes,    runes->zeros & bytes,
                  runes->cut_short & bytes, at};
        break;
    }
    return fours;
}

// Takes in hand the chunk at s->next; when the bytes there cut a sequence short, yields it as a
// rune, or waits for more bytes.
[[gnu::always_inline]] inline bool textlib_step_chunk(textlib_step *s, textlib_step_kind *kind) {
    std::uint64_t fours = 0;
    if (s->keep) {
        std::uint64_t four_leads;
        s->runes = textlib_rune_starts_fours(s->next, s->end, &four_leads);
        // Rare in any text, random bytes included.
        if (four_leads != 0) [[unlikely]]
            fours = textlib_join_fours(&s->runes, four_leads, s->next, s->end, s->at_eof);
    } else {
        s->runes = textlib_rune_starts(s->next, s->end);
    }
    const textlib_runes &runes = s->runes;
    if (runes.whole == 0) {
        rune16 r;
        const int width =
            textlib_take_unit(&r, s->next, static_cast<std::size_t>(s->end - s->next), s->at_eof);
        if (width == 0) {
            *kind = TEXTLIB_MORE;
        } else {
            *kind = TEXTLIB_RUNE;
            s->rune = r;
            s->at = s->next;
            s->width = static_cast<unsigned>(width);
            s->next += width;
            s->chunk_at = s->next;
            s->stop = 0;
        }
        return false;
    }
    // The chunk stops where sixteen bytes of plain runes begin, each byte starting a plain rune or
    // going on one, after at least one rune.
    const std::uint64_t starts = runes.starts;
    std::uint64_t plain = runes.plain | ~starts;
    plain &= plain >> 1;
    plain &= plain >> 2;
    plain &= plain >> 4;
    plain &= plain >> 8;
    plain &= starts & ~std::uint64_t{1} &
             (runes.whole >= 16 ? (std::uint64_t{1} << (runes.whole - 16) << 1) - 1 : 0);
    const unsigned first_plain = plain != 0 ? textlib_lowest(plain) : 64;
    s->chunk_at = s->next;
    s->stop = first_plain < runes.whole ? first_plain : runes.whole;
    s->plain_after = s->stop < runes.whole;
    // Starts not followed by one.
    s->longer = starts & ~((starts >> 1) | std::uint64_t{1} << (runes.whole - 1));
    // A malformed rune of two bytes is written as C2 80, as a one-byte one of 80-FF is.
    s->doubled = (starts & ~s->longer & ~runes.plain) | runes.cut_short;
    s->dropped = runes.cut_short << 1;
    // Four-byte sequences, a column each, go in stretches unless their characters' display widths
    // are needed.
    const std::uint64_t in_stretches = display_width ? 0 : runes.plain | fours;
    s->decoded = s->longer & ~runes.cut_short & ~in_stretches;
    if (s->keep) {
        // Only 00 is not written as read.
        s->joinable = (s->doubled & ~runes.zeros & ~runes.cut_short) | runes.cut_short << 1;
        s->doubled = runes.zeros;
        s->dropped = 0;
    }
    // The runes decoded may be blanks; past the stop nothing is known.
    const std::uint64_t last = std::uint64_t{1} << (s->stop - 1);
    s->next_blank = ((runes.tabs | runes.newlines | runes.spaces | s->decoded) >> 1) | last;
    return true;
}

// Whether a chunk is in hand with runes left; else what to yield.
[[gnu::always_inline]] inline bool textlib_step_ready(textlib_step *s, textlib_step_kind *kind) {
    if (s->next != s->chunk_at + s->stop) return true;
    if (s->plain_after || s->next == s->end) {
        *kind = TEXTLIB_PLAIN;
        return false;
    }
    return textlib_step_chunk(s, kind);
}

// Yields the rune at s->next, the start of one in the chunk in hand.
[[gnu::always_inline]] inline textlib_step_kind textlib_step_rune(textlib_step *s) {
    const auto from = static_cast<unsigned>(s->next - s->chunk_at);
    const std::uint64_t after = s->runes.starts >> from >> 1;
    s->width = after != 0 ? textlib_lowest(after) + 1 : s->runes.whole - from;
    // Rare even where they are kept: a four-byte sequence, RUNE_BAD. Only where they are kept
    // is the width tested, so that a loop made without keep_bytes has no test at all.
    if (!s->keep || s->width < TEXTLIB_UNIT_MAXBYTES) [[likely]]
        s->rune = textlib_rune_at(s->next, s->width);
    else
        s->rune = RUNE_BAD;
    s->at = s->next;
    s->next += s->width;
    return TEXTLIB_RUNE;
}

// The runes among a chunk's that the kernel's stop flags name; TEXTLIB_HALT_SPACE_RUN names the
// spaces before a rune that is or may be a blank or a newline, or is not known.
inline std::uint64_t textlib_step_halts(const textlib_step &s, unsigned halts) {
    const auto when = [halts](unsigned halt) {
        return (halts & halt) != 0 ? ~std::uint64_t{0} : 0;
    };
    return (s.runes.tabs & when(TEXTLIB_HALT_TAB)) |
           (s.runes.newlines & when(TEXTLIB_HALT_NEWLINE)) |
           (s.runes.spaces &
            (when(TEXTLIB_HALT_SPACE) | (s.next_blank & when(TEXTLIB_HALT_SPACE_RUN))));
}

// Yields the chunk's runes from byte from, at s->next, up to before byte to as a stretch.
[[gnu::always_inline]] inline textlib_step_kind
textlib_step_yield_stretch(textlib_step *s, unsigned from, unsigned to) {
    const std::uint64_t bytes = textlib_below(to - from);
    const auto from_here = [from, bytes](std::uint64_t mask) { return (mask >> from) & bytes; };
    s->stretch = {s->next,
                  to - from,
                  from_here(s->doubled),
                  from_here(s->dropped),
                  from_here(s->runes.starts),
                  from_here(s->runes.newlines),
                  from_here(s->runes.zeros),
                  s->keep ? from_here(s->joinable) : 0};
    s->next = s->chunk_at + to;
    return TEXTLIB_STRETCH;
}

// The next thing from the exact step: runes that need no decoding a stretch at a time, but those
// that the kernel's stop flags name (TEXTLIB_HALT_TAB, _NEWLINE, _SPACE, _SPACE_RUN) and, by
// display width, plain runes of more than one byte, which come as runes; every other rune as a
// rune. Stops where plain text is ahead again, after at least one rune.
[[gnu::always_inline]] inline textlib_step_kind textlib_step_next(textlib_step *s, unsigned halts) {
    textlib_step_kind kind;
    if (!textlib_step_ready(s, &kind)) return kind;
    const auto from = static_cast<unsigned>(s->next - s->chunk_at);
    const std::uint64_t special =
        (s->decoded | textlib_step_halts(*s, halts)) & ~textlib_below(from);
    const unsigned next = special != 0 ? textlib_lowest(special) : 64;
    const unsigned to = next < s->stop ? next : s->stop;
    if (to == from) return textlib_step_rune(s);
    return textlib_step_yield_stretch(s, from, to);
}

// The next thing from the exact step, every rune on its own.
[[gnu::always_inline]] inline textlib_step_kind textlib_step_next_rune(textlib_step *s) {
    textlib_step_kind kind;
    if (!textlib_step_ready(s, &kind)) return kind;
    return textlib_step_rune(s);
}

// The words from byte first of the chunk in hand, at s->next, for textlib_step_next_words, where
// a blank or a newline follows in the chunk.
[[gnu::always_inline]] inline textlib_step_kind
textlib_step_words_from(textlib_step *s, unsigned halts, unsigned first, bool lines_go_on) {
    const std::uint64_t blanks = s->runes.spaces | s->runes.tabs;
    const std::uint64_t after_first = ~textlib_below(first + 1);
    const std::uint64_t newlines = s->runes.newlines & after_first;
    const std::uint64_t parting =
        lines_go_on ? newlines & ~((blanks | newlines) >> 1) & textlib_below(s->stop - 1) : 0;
    const std::uint64_t separators = (s->runes.spaces & after_first) | parting;
    // Up to the first rune of the words that is not in a stretch, or the second of two
    // separators.
    const std::uint64_t special = s->decoded |
                                  (textlib_step_halts(*s, halts & ~TEXTLIB_HALT_SPACE) & ~parting) |
                                  (separators & (separators >> 1)) << 1;
    const std::uint64_t stops = special & ~textlib_below(first) & textlib_below(s->stop);
    const unsigned to = stops != 0 ? textlib_lowest(stops) : s->stop;
    // The words end at separators, and the last may end at a tab or newline where they stop.
    const std::uint64_t last_end =
        stops & (~stops + 1) & ~(separators | separators << 1 | s->decoded);
    const std::uint64_t ends = ((separators & textlib_below(to)) | last_end) & after_first;
    if (ends == 0) return textlib_step_next(s, halts);
    return textlib_step_yield_stretch(s, first, textlib_highest(ends));
}

// textlib_step_next for words apart by single spaces, which halts names, after passing the blanks
// ahead, spaces and tabs of one byte, when pass_blanks is set: a stretch may hold several, up to
// the end of the last one that the chunk in hand holds whole, which is a space, or a tab or
// newline that halts names. With lines_go_on set, a newline right before a word parts two words
// as a space does. Else, or where no word is whole, as textlib_step_next; but a word that the
// chunk's end cuts after fewer than retaken_most bytes, and that began after the chunk's start,
// is taken again from its start with a chunk of its own, which most likely holds it whole.
[[gnu::always_inline]] inline textlib_step_kind
textlib_step_next_words(textlib_step *s, unsigned halts, bool pass_blanks, bool lines_go_on,
                        unsigned retaken_most) {
    for (;;) {
        textlib_step_kind kind;
        if (!textlib_step_ready(s, &kind)) return kind;
        const auto from = static_cast<unsigned>(s->next - s->chunk_at);
        const std::uint64_t blanks = s->runes.spaces | s->runes.tabs;
        const std::uint64_t others = s->runes.starts & ~blanks & ~textlib_below(from);
        const unsigned first = others != 0 ? textlib_lowest(others) : 64;
        if (!pass_blanks && first != from) return textlib_step_next(s, halts);
        s->next = s->chunk_at + (first < s->stop ? first : s->stop);
        const std::uint64_t ahead = ~textlib_below(first) & textlib_below(s->stop);
        // A word ends only at a blank or newline.
        if (((blanks | s->runes.newlines) & ahead) != 0)
            return textlib_step_words_from(s, halts, first, lines_go_on);
        const bool cut = (s->decoded & ahead) == 0 && first != 0 &&
                         first + retaken_most > s->stop && !s->plain_after &&
                         s->chunk_at + s->stop != s->end;
        if (!cut) return textlib_step_next(s, halts);
        s->chunk_at = s->next;
        s->stop = 0;
    }
}

// The runes that part the words of the stretch just yielded: its spaces and newlines.
inline std::uint64_t textlib_step_stretch_separators(const textlib_step &s) {
    const auto from = static_cast<unsigned>(s.stretch.at - s.chunk_at);
    return ((s.runes.spaces >> from) & textlib_below(s.stretch.n)) | s.stretch.newlines;
}

// Takes back all but the first n bytes of the stretch just yielded.
inline void textlib_step_shorten_stretch(textlib_step *s, unsigned n) {
    textlib_stretch &stretch = s->stretch;
    const std::uint64_t bytes = textlib_below(n);
    stretch = {stretch.at,
               n,
               stretch.doubled & bytes,
               stretch.dropped & bytes,
               stretch.starts & bytes,
               stretch.newlines & bytes,
               stretch.zeros & bytes,
               stretch.joinable & bytes};
    s->next = stretch.at + n;
}

// Whether a stretch from a step started with keep goes out as it stands: kept, nothing is
// dropped and only 00 doubled.
inline bool textlib_stretch_as_read(const textlib_stretch &stretch, bool keep) {
    return keep && stretch.doubled == 0;
}

// Writes at o, which has TEXTLIB_STRETCH_ROOM, a stretch from a step started with keep, as the
// codec writes its runes back, but for the runes that left_out marks; returns the end of what it
// wrote.
inline char *textlib_put_stretch(char *o, const textlib_stretch &stretch, bool keep,
                                 std::uint64_t left_out) {
    // Kept, a stretch is mostly bytes as they stand, and a copy of fixed size writes it.
    if (textlib_stretch_as_read(stretch, keep)) {
        std::memcpy(o, stretch.at, 64);
        return o + stretch.n;
    }
    return textlib_reencode_bytes(o, stretch.at, stretch.n, stretch.doubled,
                                  left_out | stretch.dropped);
}

// Writes a stretch from a step started with keep at w, as the codec writes its runes back, and
// moves *column by one a rune, to 0 after a newline.
inline void textlib_write_stretch(textlib_writer *w, const textlib_stretch &stretch, bool keep,
                                  std::uint64_t *column) {
    w->at = textlib_put_stretch(textlib_writer_room(w, TEXTLIB_STRETCH_ROOM), stretch, keep, 0);
    if (stretch.newlines != 0) {
        *column = textlib_bit_count(stretch.starts &
                                    ~textlib_below(textlib_highest(stretch.newlines) + 1));
    } else {
        *column += textlib_bit_count(stretch.starts);
    }
}

// The bytes ahead are plain enough to hand back to the kernel: eight of 01 to 7F. The test treats
// the eight bytes of the word alike, so it holds in either byte order.
inline bool textlib_ascii_ahead(const char *p, const char *end) {
    if (end - p < 8) return false;
    std::uint64_t x;
    std::memcpy(&x, p, sizeof x);
    constexpr std::uint64_t ones = 0x0101010101010101, highs = 0x8080808080808080;
    return ((x | ((x - ones) & ~x)) & highs) == 0;
}

#endif
