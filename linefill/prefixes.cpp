#include "prefixes.h"

#include "runes.h"

#include <cstdlib>
#include <cstring>

prefix_kind prefixing = prefix_kind::none;
rune16 *prefix_runes = nullptr;
std::size_t prefix_length = 0;
char *prefix_bytes = nullptr;
std::size_t prefix_size = 0;
paragraph_key paragraph = {NO_PARAGRAPH, 0, 0};

void prefix_set(const char *text) {
    if (text == nullptr) {
        prefixing = prefix_kind::markers;
        return;
    }
    rune16 first = 0;
    if (*text != '\0') u8_decode(&first, text);
    if (*text == '\0' || textlib_is_blank(first))
        diag_fatal("--prefix option must specify a string that begins with other than a blank");
    std::size_t count = 0;
    for (const char *p = text; *p != '\0'; count++) {
        rune16 r;
        p += u8_decode(&r, p);
    }
    auto *const runes = static_cast<rune16 *>(std::realloc(prefix_runes, count * sizeof(rune16)));
    if (runes == nullptr) diag_fatal("realloc() failed");
    prefix_runes = runes;
    prefix_length = 0;
    for (const char *p = text; *p != '\0';)
        p += u8_decode(&prefix_runes[prefix_length++], p);
    prefix_size = std::strlen(text);
    auto *const bytes = static_cast<char *>(std::realloc(prefix_bytes, prefix_size));
    if (bytes == nullptr) diag_fatal("realloc() failed");
    prefix_bytes = static_cast<char *>(std::memcpy(bytes, text, prefix_size));
    prefixing = prefix_kind::string;
}

bool prefix_goes_on(std::size_t *matched, rune16 r, const char *bytes, unsigned n) {
    if (!keep_bytes) {
        if (*matched == prefix_length || r != prefix_runes[*matched]) return false;
        ++*matched;
        return true;
    }
    if (prefix_size - *matched < n || std::memcmp(bytes, prefix_bytes + *matched, n) != 0)
        return false;
    *matched += n;
    return true;
}
