# Linux on i686, cross-built. An x86-64 kernel with 32-bit support runs the programs itself,
# through the cross package's loader; qemu-i386 is the fallback, and a poor one: threads with
# fork hang under it.
set(VELMORA_CROSS_TRIPLE i686-linux-gnu)
set(VELMORA_QEMU qemu-i386)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
set(VELMORA_I686_LOADER /usr/${VELMORA_CROSS_TRIPLE}/lib/ld-linux.so.2)
execute_process(COMMAND ${VELMORA_I686_LOADER} --version RESULT_VARIABLE VELMORA_I686_NATIVE
                OUTPUT_QUIET ERROR_QUIET)
if(VELMORA_I686_NATIVE EQUAL 0)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${VELMORA_I686_LOADER} --library-path
      /usr/${VELMORA_CROSS_TRIPLE}/lib)
endif()
