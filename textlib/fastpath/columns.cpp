// Columns: tab stops every tab_width columns or at those of a list that -t gives, and the
// columns of runes by their display width.
#include "columns.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

int tab_width = 8;
bool display_width = false;
bool keep_bytes = false;

std::uint64_t *textlib_tab_list = nullptr;
std::size_t textlib_tab_stops = 0;
std::uint32_t textlib_tab_index[TEXTLIB_TAB_INDEXED];
std::size_t textlib_tab_indexed = 0;

namespace {

constexpr const char *WIDTH_MESSAGE = "-t option must specify a decimal integer greater than zero";
constexpr const char *LIST_MESSAGE =
    "-t option must specify increasing tab stops greater than zero";

// The stops of a list, split at commas and blanks: a comma stands between two pieces, and blanks
// may stand around it. Returns how many there are, or 0 when a piece is empty or holds other than
// digits; a piece above INT_MAX is stored as 0, which no list takes.
std::size_t list_stops(const char *text, std::uint64_t *stops) {
    std::size_t count = 0;
    const char *p = text;
    while (textlib_is_blank(*p))
        p++;
    for (;;) {
        std::uint64_t stop = 0;
        const char *const start = p;
        for (; *p >= '0' && *p <= '9'; p++)
            stop = stop > INT_MAX ? stop : stop * 10 + static_cast<std::uint64_t>(*p - '0');
        if (p == start) return 0;
        if (stops != nullptr) stops[count] = stop > INT_MAX ? 0 : stop;
        count++;
        const char *const after = p;
        while (textlib_is_blank(*p))
            p++;
        if (*p == ',') {
            p++;
            while (textlib_is_blank(*p))
                p++;
        } else if (*p == '\0') {
            return count;
        } else if (p == after) {
            return 0;
        }
    }
}

void index_stops() {
    const std::uint64_t last = textlib_tab_list[textlib_tab_stops - 1];
    textlib_tab_indexed = last < TEXTLIB_TAB_INDEXED ? last : TEXTLIB_TAB_INDEXED;
    std::uint32_t at = 0;
    for (std::size_t column = 0; column < textlib_tab_indexed; column++) {
        while (textlib_tab_list[at] <= column)
            at++;
        textlib_tab_index[column] = at;
    }
}

// The display width of the plain text from p to end, which holds no tab or newline.
std::uint64_t plain_columns(const char *p, const char *end) {
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

} // namespace

void frame_tabs(const char *text) {
    errno = 0;
    const int width = int_strict_parse(text, 10);
    if (errno != ERANGE && errno != EDOM && width > 0) {
        tab_width = width;
        textlib_tab_stops = 0;
        textlib_tab_indexed = 0;
        return;
    }
    const std::size_t count = list_stops(text, nullptr);
    if (count < 2) diag_fatal("%s", WIDTH_MESSAGE);
    auto *const stops =
        static_cast<std::uint64_t *>(realloc(textlib_tab_list, count * sizeof(std::uint64_t)));
    if (stops == nullptr) diag_fatal("realloc() failed");
    textlib_tab_list = stops;
    list_stops(text, stops);
    for (std::size_t i = 0; i < count; i++) {
        if (stops[i] == 0 || (i > 0 && stops[i] <= stops[i - 1])) diag_fatal("%s", LIST_MESSAGE);
    }
    textlib_tab_stops = count;
    index_stops();
}

std::uint64_t textlib_stops_searched(std::uint64_t column) {
    return static_cast<std::uint64_t>(
        std::upper_bound(textlib_tab_list, textlib_tab_list + textlib_tab_stops, column) -
        textlib_tab_list);
}

std::uint64_t textlib_columns_after(const char *p, const char *end, std::uint64_t column) {
    const void *const newline = memrchr(p, '\n', static_cast<std::size_t>(end - p));
    if (newline == nullptr) return column + plain_columns(p, end);
    return plain_columns(static_cast<const char *>(newline) + 1, end);
}
