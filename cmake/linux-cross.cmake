# Cross build for another Linux processor family with Debian's cross compilers; programs and
# tests run through qemu-user. Included by a file that sets VELMORA_CROSS_TRIPLE and
# VELMORA_QEMU (the emulator's name for the family).
set(CMAKE_SYSTEM_NAME Linux)
string(REGEX MATCH "^[^-]+" CMAKE_SYSTEM_PROCESSOR "${VELMORA_CROSS_TRIPLE}")

set(CMAKE_C_COMPILER ${VELMORA_CROSS_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${VELMORA_CROSS_TRIPLE}-g++)

set(CMAKE_FIND_ROOT_PATH /usr/${VELMORA_CROSS_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The target's loader and libraries come from the cross package's tree.
set(CMAKE_CROSSCOMPILING_EMULATOR ${VELMORA_QEMU} -L /usr/${VELMORA_CROSS_TRIPLE})
