#include "check_kit.h"

#include "expand.h"
#include "linefill.h"
#include "prefixes.h"
#include "tabsqueeze.h"
#include "width.h"

#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

FILE *emptied(FILE *file) {
    // rewind also drops what stdio holds of the last contents, and their end-of-file mark.
    if (file == nullptr) std::abort();
    rewind(file);
    if (ftruncate(fileno(file), 0) != 0) std::abort();
    return file;
}

void put_in_force(const run_settings &s) {
    frame_tabs(s.tabs.c_str());
    display_width = s.display_width;
    keep_bytes = s.keep_bytes;
    all_blanks = s.all_blanks;
    line_length = s.line_length;
    prefixing = prefix_kind::none;
    if (s.prefixed) prefix_set(s.prefix.empty() ? nullptr : s.prefix.c_str());
    // linefill carries its open line and paragraph from one input to the next, never from one
    // run to another.
    out_column = 0;
    line_open = false;
    paragraph = {NO_PARAGRAPH, 0, 0};
}

// A run's settings, and the defaults back after it for whatever runs next.
struct in_force {
    explicit in_force(const run_settings &s) { put_in_force(s); }
    ~in_force() { put_in_force({}); }
    in_force(const in_force &) = delete;
    in_force &operator=(const in_force &) = delete;
};

std::string broken(const std::string &rule, const run_settings &s, std::size_t block) {
    return rule + " (" + shown(s) + ", block " + std::to_string(block) + ")";
}

std::vector<int> runes_of(std::string_view bytes) {
    FILE *const in = file_holding(bytes);
    std::vector<int> runes;
    for (int r; (r = rune_fgetc(in)) != -1;)
        runes.push_back(r);
    return runes;
}

// The character from U+10000 to U+10FFFF whose four bytes of UTF-8 begin bytes, worked out here
// apart from textlib's own, or 0.
std::uint32_t four_byte_character(std::string_view bytes) {
    if (bytes.size() < 4 || static_cast<unsigned char>(bytes[0]) >> 3 != 0x1E) return 0;
    std::uint32_t c = static_cast<unsigned char>(bytes[0]) & 0x07u;
    for (std::size_t i = 1; i < 4; i++) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        if ((b & 0xC0) != 0x80) return 0;
        c = c << 6 | (b & 0x3Fu);
    }
    return c >= 0x10000 && c <= 0x10FFFF ? c : 0;
}

// The runes as a run with these settings reads them: with --keep-bytes a four-byte sequence is
// one, its character.
std::vector<int> runes_of(std::string_view bytes, const run_settings &s) {
    if (!s.keep_bytes) return runes_of(bytes);
    std::vector<int> runes;
    for (std::size_t i = 0; i < bytes.size();) {
        if (const std::uint32_t c = four_byte_character(bytes.substr(i)); c != 0) {
            runes.push_back(static_cast<int>(c));
            i += 4;
            continue;
        }
        rune16 r;
        i += static_cast<std::size_t>(textlib_take(&r, bytes.data() + i, bytes.size() - i, true));
        runes.push_back(r);
    }
    return runes;
}

bool is_blank(int r) {
    return r == ' ' || r == '\t';
}

using rune_line = std::vector<int>;

// The lines, a last one without its newline included.
std::vector<rune_line> lines_of(const std::vector<int> &runes) {
    std::vector<rune_line> lines(1);
    for (const int r : runes) {
        if (r == '\n')
            lines.emplace_back();
        else
            lines.back().push_back(r);
    }
    if (lines.back().empty()) lines.pop_back();
    return lines;
}

// The words in order, rune 0 left out as linefill leaves it out: with --keep-bytes, not right
// after a malformed rune in its word.
std::vector<rune_line> words_of(const std::vector<int> &runes, const run_settings &s) {
    std::vector<rune_line> words(1);
    bool after_malformed = false;
    for (const int r : runes) {
        if (is_blank(r) || r == '\n') {
            if (!words.back().empty()) words.emplace_back();
        } else if (r != 0 || after_malformed) {
            words.back().push_back(r);
        }
        after_malformed = s.keep_bytes && r == RUNE_BAD;
    }
    if (words.back().empty()) words.pop_back();
    return words;
}

std::vector<rune_line> blank_lines_of(const std::vector<int> &runes) {
    std::vector<rune_line> blank;
    for (const rune_line &line : lines_of(runes)) {
        if (std::all_of(line.begin(), line.end(), is_blank)) blank.push_back(line);
    }
    return blank;
}

// The stops of -t's value, worked out here apart from textlib's own.
std::vector<std::uint64_t> stops_of(const std::string &tabs) {
    std::vector<std::uint64_t> stops;
    for (const char *p = tabs.c_str(); *p != '\0';) {
        char *end;
        const std::uint64_t stop = std::strtoull(p, &end, 10);
        if (end != p) stops.push_back(stop);
        p = end != p ? end : p + 1;
    }
    return stops;
}

// The columns a line takes: a tab to the next stop, past a list's last one a column; a rune
// one column, or its display width.
std::uint64_t columns_of(const rune_line &line, const run_settings &s) {
    const std::vector<std::uint64_t> stops = stops_of(s.tabs);
    std::uint64_t column = 0;
    for (const int r : line) {
        if (r != '\t') {
            const int width = r > 0xFFFF
                                  ? textlib_supplementary_width(static_cast<std::uint32_t>(r))
                                  : textlib_display_width(static_cast<rune16>(r));
            column += s.display_width ? static_cast<std::uint64_t>(width) : 1;
        } else if (stops.size() == 1) {
            column = (column / stops[0] + 1) * stops[0];
        } else {
            const auto next = std::upper_bound(stops.begin(), stops.end(), column);
            column = next == stops.end() ? column + 1 : *next;
        }
    }
    return column;
}

} // namespace

FILE *stream_of(std::string_view bytes) {
    FILE *const stream = tmpfile();
    if (stream == nullptr) std::abort();
    fwrite(bytes.data(), 1, bytes.size(), stream);
    rewind(stream);
    return stream;
}

FILE *file_holding(std::string_view bytes) {
    static FILE *const file = tmpfile();
    emptied(file);
    if (pwrite(fileno(file), bytes.data(), bytes.size(), 0) != static_cast<ssize_t>(bytes.size()))
        std::abort();
    return file;
}

FILE *empty_output() {
    static FILE *const file = tmpfile();
    return emptied(file);
}

std::string contents_of(FILE *stream) {
    fflush(stream);
    struct stat status;
    if (fstat(fileno(stream), &status) != 0) std::abort();
    std::string all(static_cast<std::size_t>(status.st_size), '\0');
    if (pread(fileno(stream), all.data(), all.size(), 0) != static_cast<ssize_t>(all.size()))
        std::abort();
    return all;
}

std::string shown(const run_settings &s) {
    return "-t " + s.tabs + (s.display_width ? " --display-width" : "") +
           (s.all_blanks ? " -a" : "") + " -l " + std::to_string(s.line_length) +
           (s.prefixed ? " --prefix" + (s.prefix.empty() ? "" : "=" + s.prefix) : "") +
           (s.keep_bytes ? " --keep-bytes" : "");
}

const filter_tool expand_tool = {expand_reference, expand_blocks};
const filter_tool tabsqueeze_tool = {tabsqueeze_reference, tabsqueeze_blocks};
const filter_tool linefill_tool = {linefill_reference, linefill_blocks};

std::string through_reference(const filter_tool &tool, const input_list &in,
                              const run_settings &s) {
    const in_force set(s);
    FILE *const out = empty_output();
    for (const std::string_view text : in)
        tool.plain(file_holding(text), out);
    return contents_of(out);
}

void blocks_through(void (*routine)(textlib_input *, textlib_output *), FILE *in, FILE *out,
                    std::size_t block) {
    static textlib_input input;
    static textlib_output output;
    use_next_level();
    textlib_output_start(&output, out);
    textlib_input_start(&input, in, &output, block);
    routine(&input, &output);
    textlib_output_flush(&output);
}

std::string through_blocks(const filter_tool &tool, const input_list &in, const run_settings &s,
                           std::size_t block) {
    const in_force set(s);
    FILE *const out = empty_output();
    for (const std::string_view text : in)
        blocks_through(tool.blocks, file_holding(text), out, block);
    return contents_of(out);
}

tally_counts tally_reference_of(std::string_view text) {
    return tally_reference(file_holding(text));
}

tally_counts tally_blocks_of(std::string_view text, std::size_t block, unsigned selection) {
    static textlib_input input;
    use_next_level();
    textlib_input_start(&input, file_holding(text), nullptr, block);
    const tally_counts c = tally_blocks(&input, selection);
    // A regular file reads without failing: a failure is the reader's fault.
    if (input.failed) std::abort();
    return c;
}

tally_counts rune_stream_counts(std::string_view text) {
    tally_counts c{0, 0, 0, 0, text.size()};
    bool between_words = true;
    for (const int r : runes_of(text)) {
        c.runes++;
        // A malformed sequence neither makes nor splits a word.
        if (r == RUNE_BAD) {
            c.broken++;
            continue;
        }
        c.lines += r == '\n';
        const bool apart = is_blank(r) || r == '\n';
        c.words += between_words && !apart;
        between_words = apart;
    }
    return c;
}

tally_counts selected(const tally_counts &c, unsigned selection) {
    const auto when = [selection](unsigned flag, std::uint64_t count) {
        return (selection & flag) != 0 ? count : 0;
    };
    return {when(TEXTLIB_COUNT_LINES, c.lines), when(TEXTLIB_COUNT_WORDS, c.words),
            when(TEXTLIB_COUNT_RUNES, c.runes), when(TEXTLIB_COUNT_BROKEN, c.broken), c.bytes};
}

bool operator==(const tally_counts &a, const tally_counts &b) {
    return a.lines == b.lines && a.words == b.words && a.runes == b.runes && a.broken == b.broken &&
           a.bytes == b.bytes;
}

std::ostream &operator<<(std::ostream &os, const tally_counts &c) {
    return os << c.lines << ' ' << c.words << ' ' << c.runes << ' ' << c.broken << ' ' << c.bytes;
}

std::string expand_holds(std::string_view text, const run_settings &s, std::size_t block) {
    const std::string out = through_blocks(expand_tool, {text}, s, block);
    if (out != through_reference(expand_tool, {text}, s))
        return broken("the block path writes what the rune rules write", s, block);
    if (out.find('\t') != std::string::npos)
        return broken("expand's output holds no tab", s, block);
    if (through_reference(expand_tool, {out}, s) != out)
        return broken("expanding the output again changes nothing", s, block);
    return "";
}

bool must_squeeze(std::string_view text, const run_settings &s) {
    const std::uint64_t first = stops_of(s.tabs).front();
    if (first < 2 || first > text.size()) return false;
    const std::string stop(first, ' ');
    return text.starts_with(stop) || text.find('\n' + stop) != std::string_view::npos;
}

std::string tabsqueeze_holds(std::string_view text, const run_settings &s, std::size_t block) {
    const std::string out = through_blocks(tabsqueeze_tool, {text}, s, block);
    if (out != through_reference(tabsqueeze_tool, {text}, s))
        return broken("the block path writes what the rune rules write", s, block);
    if (through_reference(expand_tool, {out}, s) != through_reference(expand_tool, {text}, s))
        return broken("every rune keeps its column once expanded", s, block);
    const auto blanks = [](std::string_view bytes) {
        const std::vector<int> runes = runes_of(bytes);
        return std::count_if(runes.begin(), runes.end(), is_blank);
    };
    if (must_squeeze(text, s) && blanks(out) >= blanks(text))
        return broken("a line that opens with a stop's worth of spaces loses blanks", s, block);
    if (through_blocks(tabsqueeze_tool, {out}, s, block) != out)
        return broken("squeezing the output again changes nothing", s, block);
    return "";
}

bool has_word_of_rune_0_only(const input_list &in) {
    for (const std::string_view text : in) {
        bool in_word = false, only_0 = false;
        for (const int r : runes_of(text)) {
            if (is_blank(r) || r == '\n') {
                if (in_word && only_0) return true;
                in_word = false;
            } else {
                only_0 = in_word ? only_0 && r == 0 : r == 0;
                in_word = true;
            }
        }
        if (in_word && only_0) return true;
    }
    return false;
}

std::string linefill_holds(const input_list &in, const run_settings &s, std::size_t block) {
    const std::string out = through_blocks(linefill_tool, in, s, block);
    if (out != through_reference(linefill_tool, in, s))
        return broken("the block path writes what the rune rules write", s, block);
    // Markers are written again on every line of their paragraph: the rules below are for words.
    if (s.prefixed) return "";
    // The end of an input ends its last word and line.
    std::vector<rune_line> words, blank_lines;
    for (const std::string_view text : in) {
        const std::vector<int> runes = runes_of(text, s);
        const std::vector<rune_line> these = words_of(runes, s), blank = blank_lines_of(runes);
        words.insert(words.end(), these.begin(), these.end());
        blank_lines.insert(blank_lines.end(), blank.begin(), blank.end());
    }
    const std::vector<int> written = runes_of(out, s);
    if (words_of(written, s) != words)
        return broken("the words come out in the order they went in", s, block);
    if (blank_lines_of(written) != blank_lines)
        return broken("the blank lines come out as they went in", s, block);
    for (const rune_line &line : lines_of(written)) {
        if (words_of(line, s).size() >= 2 &&
            columns_of(line, s) > static_cast<std::uint64_t>(s.line_length))
            return broken("a line of two words or more fits the length", s, block);
    }
    // An input that ends with a newline ends its paragraph, which the same text in one input
    // would not: only one input's output is what a second fill must leave alone.
    const std::string again = through_blocks(linefill_tool, {out}, s, block);
    if (in.size() == 1 && again != out && !has_word_of_rune_0_only(in))
        return broken("filling the output again changes nothing", s, block);
    if (through_blocks(linefill_tool, {again}, s, block) != again)
        return broken("filling the second fill's output changes nothing", s, block);
    return "";
}

std::string tally_holds(std::string_view text, std::size_t block, unsigned selection) {
    std::ostringstream shown;
    const tally_counts plain = tally_reference_of(text);
    const tally_counts by_runes = rune_stream_counts(text);
    if (!(plain == by_runes)) {
        shown << "the reference counts the runes rune_fgetc reads: " << plain << ", not "
              << by_runes;
        return shown.str();
    }
    const tally_counts by_blocks = tally_blocks_of(text, block, selection);
    if (!(by_blocks == selected(plain, selection))) {
        shown << "the block path counts what the reference counts: " << by_blocks << ", not "
              << selected(plain, selection) << " (block " << block << ", selection " << selection
              << ")";
        return shown.str();
    }
    return "";
}
