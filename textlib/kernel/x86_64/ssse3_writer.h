// The writer of one-byte runes with SSSE3 byte shuffles, shared by the x86-64 levels from SSSE3 up.
#ifndef TEXTLIB_KERNEL_X86_64_SSSE3_WRITER_H
#define TEXTLIB_KERNEL_X86_64_SSSE3_WRITER_H

#include <cstdint>

char *textlib_reencode_bytes_ssse3(char *o, const char *p, unsigned n, std::uint64_t doubled,
                                   std::uint64_t drop);

#endif
