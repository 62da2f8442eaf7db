# IBM Z, big-endian: g++-s390x-linux-gnu, run by qemu-s390x (qemu-user).
set(CMAKE_SYSTEM_PROCESSOR s390x)
set(TEXTFILTERS_TRIPLE s390x-linux-gnu)
set(TEXTFILTERS_QEMU_CPU s390x)
include(${CMAKE_CURRENT_LIST_DIR}/linux-gnu-cross.cmake)
