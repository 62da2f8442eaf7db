// Names the kernel level that the tools take on this machine, for bench/compare's heading.
#include "scan.h"

#include <cstdio>

int main() {
    std::printf("kernel level: %s\n", textlib_level_in_use().name);
}
