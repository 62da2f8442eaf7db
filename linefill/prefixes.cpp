#include "prefixes.h"

#include "runes.h"

#include <cstdlib>

prefix_kind prefixing = prefix_kind::none;
rune16 *prefix_runes = nullptr;
std::size_t prefix_length = 0;
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
    prefixing = prefix_kind::string;
}
