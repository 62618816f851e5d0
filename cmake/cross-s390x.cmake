# Linux on s390x, cross-built and run under qemu-s390x.
set(VELMORA_CROSS_TRIPLE s390x-linux-gnu)
set(VELMORA_QEMU qemu-s390x)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
