# Shared by the cross toolchain files: Debian's cross g++ for TEXTFILTERS_TRIPLE, libraries and
# packages looked up in its tree alone (so that the host's GoogleTest is never taken for the
# target's), and the target's programs run under qemu-user against that tree's C and C++
# libraries, which is how ctest and gtest_discover_tests start them.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_CXX_COMPILER ${TEXTFILTERS_TRIPLE}-g++)

set(CMAKE_FIND_ROOT_PATH /usr/${TEXTFILTERS_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

find_program(TEXTFILTERS_QEMU qemu-${TEXTFILTERS_QEMU_CPU})
if(TEXTFILTERS_QEMU)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${TEXTFILTERS_QEMU} -L /usr/${TEXTFILTERS_TRIPLE})
endif()
