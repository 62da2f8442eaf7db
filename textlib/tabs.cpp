// Columns: tab stops every tab_width columns or at those of a list that -t gives, and the
// columns of runes by their display width.
#include "filter.h"
#include "width.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <string>

int tab_width = 8;
bool display_width = false;

std::vector<std::uint64_t> textlib_tab_list;
std::vector<std::uint32_t> textlib_tab_index;

namespace {

constexpr const char *WIDTH_MESSAGE = "-t option must specify a decimal integer greater than zero";
constexpr const char *LIST_MESSAGE =
    "-t option must specify increasing tab stops greater than zero";

// Columns up to this many have their stop index in a table; past them a search finds it.
constexpr std::uint64_t INDEXED_COLUMNS = 4096;

bool is_separator(char c) {
    return c == ',' || c == ' ' || c == '\t';
}

// The pieces of a list, split at commas and blanks: a comma stands between two pieces, and blanks
// may stand around it. False when a piece is empty or holds other than digits.
bool list_pieces(const char *text, std::vector<std::string> *pieces) {
    const char *p = text;
    while (*p == ' ' || *p == '\t')
        p++;
    for (;;) {
        const char *const start = p;
        while (*p >= '0' && *p <= '9')
            p++;
        if (p == start) return false;
        pieces->emplace_back(start, p);
        while (*p == ' ' || *p == '\t')
            p++;
        if (*p == ',') {
            p++;
            while (*p == ' ' || *p == '\t')
                p++;
            continue;
        }
        if (*p == '\0') return true;
        if (!is_separator(p[-1])) return false;
    }
}

void index_stops() {
    textlib_tab_index.clear();
    const std::uint64_t columns = std::min(textlib_tab_list.back(), INDEXED_COLUMNS);
    std::uint32_t at = 0;
    for (std::uint64_t column = 0; column < columns; column++) {
        while (textlib_tab_list[at] <= column)
            at++;
        textlib_tab_index.push_back(at);
    }
}

} // namespace

void frame_tabs(const char *text) {
    errno = 0;
    const int width = int_strict_parse(text, 10);
    if (errno != ERANGE && errno != EDOM && width > 0) {
        tab_width = width;
        textlib_tab_list.clear();
        return;
    }
    std::vector<std::string> pieces;
    if (!list_pieces(text, &pieces) || pieces.size() < 2) diag_fatal("%s", WIDTH_MESSAGE);
    std::vector<std::uint64_t> stops;
    for (const std::string &piece : pieces) {
        // Digits alone: past ten of them, or above INT_MAX, a stop is too large.
        const std::uint64_t stop = piece.size() > 10 ? ~std::uint64_t{0} : std::stoull(piece);
        if (stop == 0 || stop > INT_MAX || (!stops.empty() && stop <= stops.back()))
            diag_fatal("%s", LIST_MESSAGE);
        stops.push_back(stop);
    }
    textlib_tab_list = stops;
    index_stops();
}

std::uint64_t textlib_stops_searched(std::uint64_t column) {
    return static_cast<std::uint64_t>(
        std::upper_bound(textlib_tab_list.begin(), textlib_tab_list.end(), column) -
        textlib_tab_list.begin());
}

std::uint64_t textlib_plain_columns(const char *p, const char *end) {
    std::uint64_t columns = 0;
    while (p < end) {
        const auto b = static_cast<unsigned char>(*p);
        if (b < 0x80) {
            columns++;
            p++;
            continue;
        }
        const unsigned width = b < 0xE0 ? 2 : 3;
        columns += static_cast<std::uint64_t>(textlib_display_width(textlib_rune_at(p, width)));
        p += width;
    }
    return columns;
}

std::uint64_t textlib_columns_after(const char *p, const char *end, std::uint64_t column) {
    const void *const newline = memrchr(p, '\n', static_cast<std::size_t>(end - p));
    if (newline == nullptr) return column + textlib_plain_columns(p, end);
    return textlib_plain_columns(static_cast<const char *>(newline) + 1, end);
}
