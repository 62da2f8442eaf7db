#include "textlib.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

int frame_getopt(int argc, char **argv, const char *options) {
    // A leading '+' keeps glibc from moving operands ahead of options: parsing stops at the
    // first operand, so "expand a -t 4" names three inputs.
    static char posix_options[64];
    if (posix_options[0] == '\0') {
        posix_options[0] = '+';
        strncpy(posix_options + 1, options, sizeof posix_options - 2);
        opterr = 0;
    }
    return getopt(argc, argv, posix_options);
}

void frame_identify(const char *identification) {
    fprintf(stderr, "%s\n", identification);
    exit(0);
}

void frame_usage(const char *usage) {
    fprintf(stderr, "usage: %s\n", usage);
    exit(1);
}

int frame_positive(const char *text, const char *message) {
    errno = 0;
    const int value = int_strict_parse(text, 10);
    if (errno == ERANGE || errno == EDOM || value <= 0) diag_fatal("%s", message);
    return value;
}

int frame_run(int argc, char **argv, void (*per_file)(const char *name)) {
    if (optind >= argc) {
        per_file("-");
        return 0;
    }
    for (int i = optind; i < argc; i++)
        per_file(argv[i]);
    return argc - optind;
}

void frame_exit() {
    if (fflush(stdout) != 0 || ferror(stdout)) diag_fatal("write error");
    exit(0);
}

FILE *input_open(const char *name) {
    if (strcmp(name, "-") == 0) return stdin;
    FILE *stream = fopen(name, "r");
    if (stream == nullptr) diag_fatal("unable to open %s", name);
    return stream;
}

void input_close(FILE *stream, const char *name) {
    if (ferror(stream)) diag_fatal("unable to read %s", name);
    if (stream != stdin) fclose(stream);
}
