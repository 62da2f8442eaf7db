#include "tabsqueeze.h"

bool all_blanks = false;

namespace {

// Whether a blank at this column would begin a run: without -a only a line's leading one does.
inline bool blanks_start_runs(std::int64_t column) {
    return all_blanks || column == 0;
}

inline bool starts_run(int r, std::int64_t column) {
    return is_blank(r) && blanks_start_runs(column);
}

// The column a blank at column reaches: the next one for a space, the next tab stop strictly
// above it for a tab.
inline std::int64_t after_blank(int r, std::int64_t column) {
    if (r == SPACE) return column + 1;
    return column < tab_width ? tab_width : (column / tab_width + 1) * tab_width;
}

void write_run_plain(std::int64_t start, std::int64_t end, FILE *out) {
    // A run one column wide stays one space, also a tab that stood just before a stop.
    if (end - start == 1) {
        rune_fputc(SPACE, out);
        return;
    }
    while (start / tab_width < end / tab_width) {
        rune_fputc(TAB, out);
        start = (start / tab_width + 1) * tab_width;
    }
    for (; start < end; start++)
        rune_fputc(SPACE, out);
}

} // namespace

void tabsqueeze_plain(FILE *in, FILE *out) {
    std::int64_t column = 0;
    int r = rune_fgetc(in);
    while (r != -1) {
        if (starts_run(r, column)) {
            // Only the run's two columns are kept; the rune that ends it is looked at next.
            const std::int64_t start = column;
            for (; is_blank(r); r = rune_fgetc(in))
                column = after_blank(r, column);
            write_run_plain(start, column, out);
            continue;
        }
        rune_fputc(static_cast<rune16>(r), out);
        column = r == NEWLINE ? 0 : column + 1;
        r = rune_fgetc(in);
    }
}

namespace {

constexpr std::uint64_t ONES = 0x0101010101010101;
constexpr std::uint64_t HIGHS = 0x8080808080808080;

// The next three give the high bit of each byte of x that passes a test. For the first two only
// the lowest flagged byte is exact (a borrow may flag bytes after it), which can only make the
// word checks below more cautious.
inline std::uint64_t bytes_below(std::uint64_t x, unsigned bound) {
    return (x - ONES * bound) & ~x & HIGHS;
}

inline std::uint64_t bytes_equal(std::uint64_t x, unsigned byte) {
    return bytes_below(x ^ (ONES * byte), 1);
}

inline std::uint64_t bytes_clear(std::uint64_t x, unsigned mask) {
    return ~((x & (ONES * mask)) + ONES * 0x7F) & HIGHS;
}

// The index in memory order of the first byte of a word with any bit set in x, which is not 0.
inline int first_byte_set(std::uint64_t x) {
    if constexpr (std::endian::native == std::endian::little) return std::countr_zero(x) / 8;
    return std::countl_zero(x) / 8;
}

inline std::uint64_t load_word(const char *p) {
    std::uint64_t word;
    std::memcpy(&word, p, sizeof word);
    return word;
}

// The tab stops in (start, end], then the spaces from the last of them (or from start) to end.
void count_run(std::int64_t start, std::int64_t end, std::int64_t *tabs, std::int64_t *spaces) {
    const std::int64_t stops_to_start = start < tab_width ? 0 : start / tab_width;
    *tabs = end / tab_width - stops_to_start;
    *spaces = *tabs > 0 ? end % tab_width : end - start;
}

void write_run(block_output *out, std::int64_t start, std::int64_t end) {
    std::int64_t tabs = 0, spaces = 1;
    if (end - start != 1) count_run(start, end, &tabs, &spaces);
    // The usual short run as two copies of fixed size, without a library call.
    constexpr std::int64_t SHORT = 16;
    if (tabs <= SHORT && spaces <= SHORT && BLOCK_SIZE - out->used >= 2 * SHORT) {
        char *const o = out->data + out->used;
        std::memcpy(o, "\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t", SHORT);
        std::memcpy(o + tabs, "                ", SHORT);
        out->used += static_cast<std::size_t>(tabs + spaces);
        return;
    }
    block_output_repeat(out, '\t', static_cast<std::uint64_t>(tabs));
    block_output_repeat(out, ' ', static_cast<std::uint64_t>(spaces));
}

// Whether the bytes of a run, from `from` to `to`, are already what write_run writes for it,
// as most indentation is, so that they can go out in one copy with their neighbours.
bool run_written_as_read(const char *from, const char *to, std::int64_t start, std::int64_t end) {
    if (end - start == 1) return to - from == 1 && *from == ' ';
    // Tabs alone reach one stop each: written as read.
    const char *first_space = from;
    while (first_space < to && *first_space == '\t')
        first_space++;
    if (first_space == to) return true;
    std::int64_t tabs, spaces;
    count_run(start, end, &tabs, &spaces);
    if (first_space - from != tabs || to - first_space != spaces) return false;
    for (; first_space < to; first_space++) {
        if (*first_space != ' ') return false;
    }
    return true;
}

// The first byte from p on that is not byte, or limit.
inline const char *skip_byte(const char *p, const char *limit, char byte) {
    while (limit - p >= 8) {
        const std::uint64_t other = load_word(p) ^ (ONES * static_cast<unsigned char>(byte));
        if (other != 0) return p + first_byte_set(other);
        p += 8;
    }
    while (p < limit && *p == byte)
        p++;
    return p;
}

// Skips the plain blanks of a run, counting the columns they reach into *column.
inline const char *skip_blanks(const char *p, const char *limit, std::int64_t *column) {
    // After a tab the column lies on a stop, and the next tab needs no division.
    bool on_stop = *column == 0;
    while (p < limit) {
        if (*p == '\t') {
            *column = on_stop ? *column + tab_width : after_blank(TAB, *column);
            on_stop = true;
            p++;
        } else if (*p == ' ') {
            const char *const past = skip_byte(p, limit, ' ');
            *column += past - p;
            on_stop = false;
            p = past;
        } else {
            break;
        }
    }
    return p;
}

inline unsigned byte_at(const char *p) {
    return static_cast<unsigned char>(*p);
}

// Whether the rune at p may be a blank: a tab, a space, or an overlong form of either.
inline bool may_start_blank(const char *p) {
    const unsigned b = byte_at(p);
    return b == SPACE || b == TAB || b == 0xC0 || b == 0xE0;
}

// The width of the rune at p when it goes out as read, takes one column (or is a newline) and
// begins no run, else 0. runs: whether blanks here begin runs; a space that is a run of its
// own is written as read, so it counts as quiet.
inline int quiet_width(const char *p, const char *end, bool runs) {
    const unsigned b = byte_at(p);
    if (b >= U8_SELF) return verbatim_width(p, end);
    if (b == 0) return 0;
    if (b == SPACE) return !runs || (end - p >= 2 && !may_start_blank(p + 1)) ? 1 : 0;
    if (b == TAB) return runs ? 0 : 1;
    return 1;
}

// The leads and three-byte leads of a word, high bit per byte.
struct word_leads {
    std::uint64_t lead, lead3;
};

inline word_leads leads_of(std::uint64_t word) {
    const std::uint64_t lead = word & (word << 1) & HIGHS;
    return {lead, lead & (word << 2)};
}

// The bytes of word, which follows a word with leads last, that keep its runes from going out
// as read: continuation bytes where no lead calls for them and the reverse (a rune may straddle
// two words, so last's leads call into this one), and leads of forms the codec rewrites or may
// rewrite: C0 and C1 (overlong), E0 and E1 (E0 may be overlong), F0 and above (never valid).
inline std::uint64_t not_verbatim(std::uint64_t word, word_leads here, word_leads last) {
    const std::uint64_t continuation = word & ~(word << 1) & HIGHS;
    const std::uint64_t called =
        (here.lead << 8) | (here.lead3 << 16) | (last.lead >> 56) | (last.lead3 >> 48);
    return (continuation ^ called) | (here.lead & bytes_clear(word, 0x1E)) |
           (here.lead3 & (word << 3));
}

// How many bytes at the end of a word, whose leads and spaces are given, cannot stand alone: a
// rune cut by the word's end, or a space whose next byte tells whether it is alone.
inline int cut_at_end(word_leads leads, std::uint64_t spaces) {
    if (((leads.lead3 >> 55) & 1) != 0) return 2;
    return (((leads.lead | spaces) >> 63) & 1) != 0 ? 1 : 0;
}

// Skips whole words from p, which begins a rune, while every rune in them goes out as read
// (no zero byte, no rune the codec rewrites), sixteen bytes at a time without a branch per rune.
// Ends at a rune.
inline const char *skip_verbatim_words(const char *p, const char *limit) {
    if constexpr (std::endian::native != std::endian::little) return p;
    word_leads last{0, 0};
    while (limit - p >= 16) {
        const std::uint64_t first = load_word(p);
        const std::uint64_t second = load_word(p + 8);
        const word_leads first_leads = leads_of(first);
        const word_leads second_leads = leads_of(second);
        const std::uint64_t first_refused =
            not_verbatim(first, first_leads, last) | bytes_below(first, 1);
        const std::uint64_t second_refused =
            not_verbatim(second, second_leads, first_leads) | bytes_below(second, 1);
        if ((first_refused | second_refused) != 0) {
            if (first_refused == 0) {
                p += 8;
                last = first_leads;
            }
            break;
        }
        p += 16;
        last = second_leads;
    }
    return p - cut_at_end(last, 0);
}

// The same where every blank begins a run (with -a): whole words pass while they hold no
// control and no space that is not alone, and their columns are counted into *column.
inline const char *skip_words_all_blanks(const char *p, const char *limit, std::int64_t *column) {
    if constexpr (std::endian::native != std::endian::little) return p;
    word_leads last{0, 0};
    std::uint64_t last_spaces = 0;
    while (limit - p >= 8) {
        const std::uint64_t word = load_word(p);
        const word_leads here = leads_of(word);
        const std::uint64_t spaces = bytes_equal(word, SPACE);
        const std::uint64_t refused = not_verbatim(word, here, last) | bytes_below(word, SPACE) |
                                      (spaces & (spaces >> 8)) | (spaces & (last_spaces >> 56));
        if (refused != 0) break;
        // The continuation bytes take no column. Their high bits are summed into the top byte:
        // the baseline has no popcount instruction, so std::popcount would be a call.
        const std::uint64_t continuation = word & ~(word << 1) & HIGHS;
        *column += 8 - static_cast<std::int64_t>(((continuation >> 7) * ONES) >> 56);
        p += 8;
        last = here;
        last_spaces = spaces;
    }
    const int cut = cut_at_end(last, last_spaces);
    if (cut != 0) --*column;
    return p - cut;
}

// Skips the runes from p that go out as read, take one column (or are newlines) and begin no
// run, counting the columns into *column; where only a column above 0 matters, it stays above
// 0. Returns the first rune that needs a look (a blank that begins a run, or a rune the codec
// may rewrite), or limit, or a little past it when a multi-byte rune straddles limit. Without
// -a it returns after the word at p, or the rune at a line start, however they turn out: the
// middle of lines has a faster way.
inline const char *skip_quiet(const char *p, const char *limit, const char *end,
                              std::int64_t *column) {
    for (;;) {
        if (all_blanks) p = skip_words_all_blanks(p, limit, column);
        // The next word needs a closer look: rune by rune until past it. A line start without
        // -a needs one rune only.
        const char *const looked_at = !all_blanks && *column == 0 ? p : p + 8;
        do {
            bool runs = blanks_start_runs(*column);
            const char *const special = skip_plain(p, limit, runs ? SPACE + 1 : NEWLINE + 1);
            *column += special - p;
            p = special;
            if (p >= limit) return p;
            runs = blanks_start_runs(*column);
            const int width = quiet_width(p, end, runs);
            if (width == 0) return p;
            *column = *p == '\n' ? 0 : *column + 1;
            p += width;
        } while (p < looked_at);
        if (!all_blanks) return p;
    }
}

inline int take_rune(rune16 *r, const char *p, const char *end) {
    if (byte_at(p) < U8_SELF) {
        *r = static_cast<rune16>(byte_at(p));
        return 1;
    }
    return u8_take(r, p, static_cast<std::size_t>(end - p));
}

// Whether the codec writes r back as the very bytes it was read from.
inline bool written_as_read(rune16 r, const char *p, int width) {
    if (width == 1) return r != 0 && r < U8_SELF;
    char bytes[U8_MAXBYTES];
    return u8_encode(bytes, &r) == width &&
           std::memcmp(bytes, p, static_cast<std::size_t>(width)) == 0;
}

inline void write_span(block_output *out, const char *from, const char *to) {
    block_output_bytes(out, from, static_cast<std::size_t>(to - from));
}

// Counts the tabs and then the spaces that begin the line at p; false when they do not end
// before limit. Mostly in the line's first word, without a branch per byte.
inline bool measure_line_start(const char *p, const char *limit, std::int64_t *tabs,
                               std::int64_t *spaces) {
    if (std::endian::native == std::endian::little && limit - p >= 8) {
        const std::uint64_t word = load_word(p);
        const std::uint64_t not_tabs = word ^ (ONES * TAB);
        if (not_tabs != 0) {
            const int tab_bytes = std::countr_zero(not_tabs) / 8;
            // The bytes shifted in are zero: not spaces.
            const std::uint64_t not_spaces = (word >> (8 * tab_bytes)) ^ (ONES * SPACE);
            const int space_bytes = std::countr_zero(not_spaces) / 8;
            if (tab_bytes + space_bytes < 8) {
                *tabs = tab_bytes;
                *spaces = space_bytes;
                return true;
            }
        }
    }
    const char *const tabs_end = skip_byte(p, limit, '\t');
    const char *const after = skip_byte(tabs_end, limit, ' ');
    *tabs = tabs_end - p;
    *spaces = after - tabs_end;
    return after < limit;
}

// Without -a, from the middle of a line in text known to go out as read up to verified: goes
// from line start to line start, writing each leading run of tabs and spaces that is not
// written as read where it stands (the bytes before it from *copied on go out first). A run
// from column 0 of tabs and then fewer spaces than reach a stop is written as read, and so is
// a lone space, but not a lone tab one column wide. Returns verified, or the start of a line
// that needs a closer look, with *column set to 0.
inline const char *squeeze_line_starts(const char *p, const char *verified, std::int64_t *column,
                                       block_output *out, const char **copied) {
    for (;;) {
        const void *const newline = std::memchr(p, '\n', static_cast<std::size_t>(verified - p));
        if (newline == nullptr) return verified;
        p = static_cast<const char *>(newline) + 1;
        std::int64_t tabs, spaces;
        if (!measure_line_start(p, verified, &tabs, &spaces) ||
            may_start_blank(p + tabs + spaces)) {
            *column = 0;
            return p;
        }
        if (tabs + spaces == 0) continue;
        const char *const after = p + tabs + spaces;
        const bool as_read = (spaces < tab_width || (tabs == 0 && spaces == 1)) &&
                             !(tabs == 1 && spaces == 0 && tab_width == 1);
        if (!as_read) {
            write_span(out, *copied, p);
            write_run(out, 0, tabs * tab_width + spaces);
            *copied = after;
        }
        // The search for the next line goes on from the line start, which it need not wait
        // for the run to find.
    }
}

} // namespace

void tabsqueeze_blocks(block_input *in, block_output *out) {
    std::int64_t column = 0;
    // A run may go on across reads; while it is open, column is the column it reaches.
    bool in_run = false;
    std::int64_t start = 0;
    while (block_input_fill(in)) {
        const char *p = in->data + in->begin;
        const char *const end = in->data + in->end;
        // A sequence that starts before limit has all its bytes in the buffer.
        const char *const limit = in->at_eof ? end : end - (U8_MAXBYTES - 1);
        // The bytes from copied up to p (or up to the open run) go out as they came in.
        const char *copied = p;
        // Where the open run's bytes begin, when they all are in this buffer.
        const char *run_from = nullptr;
        const char *verified = p;
        while (p < limit) {
            if (!in_run) {
                if (!all_blanks && column != 0) {
                    if (p >= verified) verified = skip_verbatim_words(p, limit);
                    p = squeeze_line_starts(p, verified, &column, out, &copied);
                }
                p = skip_quiet(p, limit, end, &column);
                if (p >= limit) break;
            }
            rune16 r;
            const int width = take_rune(&r, p, end);
            if (!in_run && starts_run(r, column)) {
                in_run = true;
                run_from = p;
                start = column;
            }
            if (in_run) {
                if (is_blank(r)) {
                    column = after_blank(r, column);
                    p = skip_blanks(p + width, limit, &column);
                    continue;
                }
                in_run = false;
                if (run_from == nullptr || !run_written_as_read(run_from, p, start, column)) {
                    if (run_from != nullptr) write_span(out, copied, run_from);
                    write_run(out, start, column);
                    copied = p;
                }
                continue;
            }
            if (!written_as_read(r, p, width)) {
                write_span(out, copied, p);
                block_output_rune(out, r);
                copied = p + width;
            }
            column = r == NEWLINE ? 0 : column + 1;
            p += width;
        }
        if (!in_run)
            write_span(out, copied, p);
        else if (run_from != nullptr)
            write_span(out, copied, run_from);
        run_from = nullptr;
        in->begin = static_cast<std::size_t>(p - in->data);
    }
    if (in_run) write_run(out, start, column);
}

void tabsqueeze_file(const char *name) {
    block_filter_file(name, tabsqueeze_blocks);
}
