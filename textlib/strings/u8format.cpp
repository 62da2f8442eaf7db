#include "textlib.h"

#include <cstdarg>

namespace {

// Room for one rebuilt numeric conversion and for the text it makes.
constexpr int CONVERSION_SIZE = 1024;
constexpr int NUMBER_SIZE = 1024;
// "%", the digits, a modifier, a letter and 00 must fit the conversion buffer.
constexpr int MAX_DIGITS = CONVERSION_SIZE - 4;

struct output {
    char *dst;
    int size;
    int count; // bytes stored so far
};

// Stores one byte; once the destination is full, ends it over its last byte and says so.
bool put_byte(output *out, char b) {
    out->dst[out->count++] = b;
    if (out->count < out->size) return false;
    out->dst[out->size - 1] = '\0';
    return true;
}

bool put_bytes(output *out, const char *bytes, int length) {
    for (int i = 0; i < length; i++) {
        if (put_byte(out, bytes[i])) return true;
    }
    return false;
}

bool put_string(output *out, const char *s) {
    if (s == nullptr) s = "(null)";
    return put_bytes(out, s, u8_bytelen(s));
}

inline bool is_digit(char b) {
    return b >= '0' && b <= '9';
}

// Formats one value with the rebuilt conversion, bounded by the number buffer, so a width
// beyond it is cut; a value the platform cannot format at all yields no text.
template <typename T>
void format_number(char (&number)[NUMBER_SIZE], const char *conversion, T value) {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    // The conversion is built here from "%", digits, at most one of h and l, and one of d, o and x,
    // each matched to the type of value.
    const int made = std::snprintf(number, sizeof number, conversion, value);
#pragma GCC diagnostic pop
    if (made < 0) number[0] = '\0';
}

// A numeric conversion from the byte after its "%": digits, an optional h or l, and d, o or x,
// or d when none follows (that byte is then left to the format). Returns where the format goes
// on.
const char *put_number(output *out, const char *format, va_list *args, bool *full) {
    char conversion[CONVERSION_SIZE];
    int used = 0;
    conversion[used++] = '%';
    for (int digits = 0; is_digit(*format); format++, digits++) {
        if (digits < MAX_DIGITS) conversion[used++] = *format;
    }
    const char modifier = *format == 'h' || *format == 'l' ? *format : '\0';
    if (modifier != '\0') conversion[used++] = *format++;
    char letter = 'd';
    if (*format == 'd' || *format == 'o' || *format == 'x') letter = *format++;
    conversion[used++] = letter;
    conversion[used] = '\0';

    char number[NUMBER_SIZE];
    const bool is_signed = letter == 'd';
    if (modifier == 'l') {
        const long value = va_arg(*args, long);
        if (is_signed)
            format_number(number, conversion, value);
        else
            format_number(number, conversion, static_cast<unsigned long>(value));
    } else {
        int value = va_arg(*args, int);
        if (modifier == 'h') value = static_cast<short>(value);
        if (is_signed)
            format_number(number, conversion, value);
        else
            format_number(number, conversion, static_cast<unsigned>(value));
    }
    *full = put_bytes(out, number, u8_bytelen(number));
    return format;
}

int format_into(output *out, const char *format, va_list *args) {
    for (;;) {
        const char b = *format;
        if (b == '\0') {
            out->dst[out->count] = '\0';
            return out->count;
        }
        bool full = false;
        if (b != '%') {
            full = put_byte(out, b);
            format++;
        } else if (format[1] == 's') {
            full = put_string(out, va_arg(*args, const char *));
            format += 2;
        } else if (format[1] == 'c') {
            full = put_byte(out, static_cast<char>(va_arg(*args, int)));
            format += 2;
        } else if (format[1] == '%') {
            full = put_byte(out, '%');
            format += 2;
        } else {
            format = put_number(out, format + 1, args, &full);
        }
        if (full) return out->size;
    }
}

} // namespace

int u8_snprintf(char *dst, int size, const char *format, ...) {
    if (size <= 0) return 0;
    output out = {dst, size, 0};
    va_list args;
    va_start(args, format);
    const int result = format_into(&out, format, &args);
    va_end(args);
    return result;
}
