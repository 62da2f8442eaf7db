#include "runes.h"
#include "units.h"

namespace {

inline bool is_continuation(int b) {
    return (b & 0xC0) == 0x80;
}

// Bytes that a sequence starting with this byte may take, counting itself.
inline int announced_width(int b0) {
    if (b0 >= 0xC0 && b0 <= 0xDF) return 2;
    if (b0 >= 0xE0 && b0 <= 0xEF) return 3;
    return 1;
}

} // namespace

int rune_fgetc(FILE *stream) {
    int b = getc_unlocked(stream);
    if (b == EOF) return -1;
    char buffer[U8_MAXBYTES];
    buffer[0] = static_cast<char>(b);
    std::size_t have = 1;
    const int width = announced_width(b);
    while (have < static_cast<std::size_t>(width)) {
        b = getc_unlocked(stream);
        if (b == EOF) break;
        if (!is_continuation(b)) {
            ungetc(b, stream);
            break;
        }
        buffer[have++] = static_cast<char>(b);
    }
    rune16 r;
    textlib_take(&r, buffer, have, true);
    return r;
}

int rune_fputc(rune16 r, FILE *stream) {
    char buffer[U8_MAXBYTES];
    const int n = u8_encode(buffer, &r);
    for (int i = 0; i < n; i++) {
        if (putc_unlocked(buffer[i], stream) == EOF) return -1;
    }
    return r;
}

int textlib_unit_fgetc(textlib_unit_reader *reader, textlib_unit *unit) {
    for (int b; reader->have < TEXTLIB_UNIT_MAXBYTES && (b = getc_unlocked(reader->stream)) != EOF;)
        reader->ahead[reader->have++] = static_cast<char>(b);
    if (reader->have == 0) return -1;
    // Fewer bytes ahead than a unit may take: the stream has ended.
    const int width = textlib_take_unit(&unit->rune, reader->ahead, reader->have, true);
    unit->n = static_cast<unsigned>(width);
    std::memcpy(unit->bytes, reader->ahead, unit->n);
    reader->have -= unit->n;
    std::memmove(reader->ahead, reader->ahead + unit->n, reader->have);
    return unit->rune;
}

void textlib_unit_fputc(const textlib_unit &unit, FILE *stream) {
    if (keep_bytes && unit.rune == RUNE_BAD) {
        fwrite(unit.bytes, 1, unit.n, stream);
    } else {
        rune_fputc(unit.rune, stream);
    }
}
