#include "textlib.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdlib>

const char *diag_progname = nullptr;

namespace {

void diag_line(const char *format, va_list args) {
    if (diag_progname != nullptr) fprintf(stderr, "%s: ", diag_progname);
    vfprintf(stderr, format, args);
    fputc('\n', stderr);
}

} // namespace

void diag_warn(const char *format, ...) {
    va_list args;
    va_start(args, format);
    diag_line(format, args);
    va_end(args);
}

void diag_fatal(const char *format, ...) {
    va_list args;
    va_start(args, format);
    diag_line(format, args);
    va_end(args);
    exit(1);
}

int int_clamp_parse(const char *text, char **end, int base) {
    const int saved = errno;
    errno = 0;
    const long v = strtol(text, end, base);
    if (v > INT_MAX) {
        errno = ERANGE;
        return INT_MAX;
    }
    if (v < INT_MIN) {
        errno = ERANGE;
        return INT_MIN;
    }
    errno = saved;
    return static_cast<int>(v);
}

int int_strict_parse(const char *text, int base) {
    char *end = nullptr;
    const int r = int_clamp_parse(text, &end, base);
    for (const char *p = end; *p != '\0'; p++) {
        // isspace takes an unsigned char value; bytes above 0x7F are never white space.
        const unsigned char c = static_cast<unsigned char>(*p);
        if (c >= 0x80 || !isspace(c)) {
            errno = EDOM;
            return 0;
        }
    }
    return r;
}
