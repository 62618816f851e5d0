# Linux on aarch64, cross-built and run under qemu-aarch64.
set(VELMORA_CROSS_TRIPLE aarch64-linux-gnu)
set(VELMORA_QEMU qemu-aarch64)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
