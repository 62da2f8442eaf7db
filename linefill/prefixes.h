// --prefix: a line that begins, after its indentation, with a marker (a comment's, a mail
// quote's, or a string given) is filled apart from other lines, and every output line of its
// paragraph carries the marker again. Both paths read these rules from here.
#ifndef LINEFILL_PREFIXES_H
#define LINEFILL_PREFIXES_H

#include "textlib.h"

#include <cstddef>
#include <cstdint>

enum class prefix_kind { none, markers, string };
// Set by --prefix (markers) and --prefix=STRING (string).
extern prefix_kind prefixing;
// The runes of STRING, as the codec reads them, and its bytes.
extern rune16 *prefix_runes;
extern std::size_t prefix_length;
extern char *prefix_bytes;
extern std::size_t prefix_size;

// Takes --prefix's value: null for the fixed markers, else the string; a string that is empty
// or begins with a blank, which no line could begin with after its indentation, ends the program.
void prefix_set(const char *text);
// Whether the rune r, written as its n bytes at bytes, goes on with STRING where *matched of it
// are matched, and then moves *matched past it; whether STRING is matched whole. Matched are
// runes, or with keep_bytes the bytes written, which tell a kept malformed unit from another and
// hold a four-byte sequence whole.
bool prefix_goes_on(std::size_t *matched, rune16 r, const char *bytes, unsigned n);
inline bool prefix_whole(std::size_t matched) {
    return matched == (keep_bytes ? prefix_size : prefix_length);
}

// What a paragraph's lines begin with. A quote is one or more '>', blanks allowed between them;
// a fixed marker counts only before a blank or the end of its line.
enum marker_code : int {
    NO_PARAGRAPH, // none is open: at the start, and after a line that ends one
    PLAIN_TEXT,
    STRING_MARKER,
    QUOTE_MARKER,
    FIRST_FIXED_MARKER // FIXED_MARKERS[i] is FIRST_FIXED_MARKER + i
};
constexpr const char *FIXED_MARKERS[] = {"#", "//", "--", ";", ";;", "%", "!", "*"};
constexpr int FIXED_MARKER_COUNT = sizeof FIXED_MARKERS / sizeof FIXED_MARKERS[0];

// A line joins the open paragraph when its key is the paragraph's: a plain line any plain
// paragraph, a marked one only one of the same marker, quote level and indentation width.
struct paragraph_key {
    int marker;
    std::uint64_t level;  // of a quote: how many '>'
    std::uint64_t indent; // columns, for a marked line
    bool operator==(const paragraph_key &) const = default;
};

// The paragraph that the open output line belongs to; like out_column, both paths keep it, and
// it carries from one input to the next.
extern paragraph_key paragraph;

inline bool is_marked(const paragraph_key &key) {
    return key.marker >= STRING_MARKER;
}

// Whether a line whose text begins with byte b may carry a marker.
inline bool may_begin_marker(unsigned char b) {
    if (prefixing == prefix_kind::string) return true;
    if (b == '>') return true;
    for (const char *const marker : FIXED_MARKERS) {
        if (b == static_cast<unsigned char>(marker[0])) return true;
    }
    return false;
}

#endif
