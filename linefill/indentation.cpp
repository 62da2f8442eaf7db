#include "indentation.h"

#include "linefill.h"

#include <cstring>

namespace {

void put_number(byte_buffer *runs, std::uint64_t n) {
    do {
        const auto byte = static_cast<char>((n & 0x7F) | (n > 0x7F ? 0x80 : 0));
        byte_buffer_append(runs, &byte, 1);
        n >>= 7;
    } while (n != 0);
}

std::uint64_t take_number(const char **p) {
    std::uint64_t n = 0;
    for (int shift = 0;; shift += 7) {
        const auto byte = static_cast<unsigned char>(*(*p)++);
        n |= std::uint64_t{byte & 0x7Fu} << shift;
        if ((byte & 0x80) == 0) return n;
    }
}

} // namespace

void indent_finish_run(indentation *ind) {
    put_number(&ind->runs, ind->spaces);
    put_number(&ind->runs, ind->tabs);
    ind->spaces = ind->tabs = 0;
}

void indent_copy(indentation *to, const indentation *from) {
    byte_buffer runs = to->runs;
    runs.length = 0;
    byte_buffer_append(&runs, from->runs.bytes, from->runs.length);
    *to = *from;
    to->runs = runs;
}

void put_indent_runs(textlib_output *out, const indentation *ind) {
    out_column = ind->width;
    const char *const runs_end = ind->runs.bytes + ind->runs.length;
    for (const char *p = ind->runs.bytes; p < runs_end;) {
        textlib_output_repeat(out, ' ', take_number(&p));
        textlib_output_repeat(out, '\t', take_number(&p));
    }
    textlib_output_repeat(out, ' ', ind->spaces);
    textlib_output_repeat(out, '\t', ind->tabs);
}
