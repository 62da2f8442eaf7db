# 64-bit Arm, little-endian: g++-aarch64-linux-gnu, run by qemu-aarch64 (qemu-user).
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(TEXTFILTERS_TRIPLE aarch64-linux-gnu)
set(TEXTFILTERS_QEMU_CPU aarch64)
include(${CMAKE_CURRENT_LIST_DIR}/linux-gnu-cross.cmake)
