// The kernel on SSE2, which every x86-64 CPU has: 16 bytes a compare.
#include "sse2.h"

namespace {

struct sse2_level : sse2_compares {
    static constexpr auto reencode_bytes = textlib_reencode_bytes_scalar;
};

bool always() {
    return true;
}

} // namespace

extern constinit const textlib_level textlib_level_sse2 = {"sse2", always, kernel_of<sse2_level>()};
