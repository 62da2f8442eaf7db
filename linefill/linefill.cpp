// The settings and the output column that both paths share, and the tool's per-file routine.
#include "linefill.h"

#include "buffers.h"

#include <cstdint>
#include <cstring>

int line_length = 70;
bool whole_lines_only = false;

std::uint64_t out_column = 0;
bool line_open = false;

namespace {

// The output on a terminal: complete lines go on at once, the open line's bytes wait here.
byte_buffer open_line = {nullptr, 0, 0};

ssize_t pass_whole_lines(void *, const char *bytes, std::size_t n) {
    byte_buffer_append(&open_line, bytes, n);
    const void *const last = memrchr(open_line.bytes, '\n', open_line.length);
    if (last != nullptr) {
        const auto whole =
            static_cast<std::size_t>(static_cast<const char *>(last) + 1 - open_line.bytes);
        fwrite(open_line.bytes, 1, whole, stdout);
        fflush(stdout);
        open_line.length -= whole;
        std::memmove(open_line.bytes, open_line.bytes + whole, open_line.length);
    }
    return static_cast<ssize_t>(n);
}

FILE *whole_lines_stream() {
    static FILE *stream = nullptr;
    if (stream == nullptr) {
        stream = fopencookie(nullptr, "w", {nullptr, pass_whole_lines, nullptr, nullptr});
        if (stream == nullptr) diag_fatal("realloc() failed");
        setvbuf(stream, nullptr, _IONBF, 0);
    }
    return stream;
}

// The block path with its output held back to whole lines; at the end of the input, the line
// still open goes too.
void linefill_whole_lines(textlib_input *in, textlib_output *out) {
    textlib_output_start(out, whole_lines_stream());
    linefill_blocks(in, out);
    textlib_output_flush(out);
    fwrite(open_line.bytes, 1, open_line.length, stdout);
    fflush(stdout);
    open_line.length = 0;
    textlib_output_start(out, stdout);
}

} // namespace

void linefill_file(const char *name) {
    textlib_filter_file(name, whole_lines_only ? linefill_whole_lines : linefill_blocks);
}
