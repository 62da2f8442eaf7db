// The settings and the output column that both paths share, and the tool's per-file routine.
#include "linefill.h"

#include <cstdint>

int line_length = 70;

std::uint64_t out_column = 0;

void linefill_file(const char *name) {
    textlib_filter_file(name, linefill_blocks);
}
