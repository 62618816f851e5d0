# Cross build with Zig's bundled clang, C library headers and linker, for targets Debian has no
# toolchain for. Included by a file that sets VELMORA_ZIG_TARGET (Zig's target name),
# CMAKE_SYSTEM_NAME and CMAKE_SYSTEM_PROCESSOR. Zig itself is VELMORA_ZIG (a path), else the
# VELMORA_ZIG environment variable, else zig on the PATH.
if(NOT VELMORA_ZIG AND DEFINED ENV{VELMORA_ZIG})
  set(VELMORA_ZIG $ENV{VELMORA_ZIG})
endif()
if(NOT VELMORA_ZIG)
  find_program(VELMORA_ZIG zig REQUIRED)
endif()
# Configure checks run in projects of their own, which see only the variables named here.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES VELMORA_ZIG)

set(CMAKE_C_COMPILER ${VELMORA_ZIG} cc -target ${VELMORA_ZIG_TARGET})
set(CMAKE_CXX_COMPILER ${VELMORA_ZIG} c++ -target ${VELMORA_ZIG_TARGET})
# The archiver must be one program; these call Zig's (this one: written anew if Zig moved).
foreach(tool ar ranlib)
  set(wrapper ${CMAKE_BINARY_DIR}/zig-tools/${tool})
  set(script "#!/bin/sh\nexec '${VELMORA_ZIG}' ${tool} \"$@\"\n")
  set(written "")
  if(EXISTS ${wrapper})
    file(READ ${wrapper} written)
  endif()
  if(NOT written STREQUAL script)
    file(WRITE ${wrapper}.new "${script}")
    file(CHMOD ${wrapper}.new FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
         GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
    file(RENAME ${wrapper}.new ${wrapper})
  endif()
endforeach()
set(CMAKE_AR ${CMAKE_BINARY_DIR}/zig-tools/ar CACHE FILEPATH "" FORCE)
set(CMAKE_RANLIB ${CMAKE_BINARY_DIR}/zig-tools/ranlib CACHE FILEPATH "" FORCE)

# Each configure check is compiled, not linked: a linking check costs Zig a link of its C
# library and C++ runtime for every test program (a configure took 9 minutes so).
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)
# Which library holds a function is then beyond a check's reach (any name is "found"): threads
# are in the C library on macOS, and Windows' C++ runtime needs no library beside it.
set(CMAKE_HAVE_LIBC_PTHREAD 1)

set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Zig's clang refuses -march=armv8-a+... ("unknown CPU: 'armv8'"), which would make the ARM
# kernels' checks fail silently; it takes the same extensions on -mcpu instead.
set(VELMORA_ARM_CRC_FLAGS -mcpu=baseline+crc)
set(VELMORA_ARM_PMULL_FLAGS -mcpu=baseline+crc+crypto)
set(VELMORA_ARM_EOR3_FLAGS -mcpu=baseline+crc+crypto+sha3)
# Zig hands clang 19 its own list of target features, in which -mavx512f no longer brings the
# 512-bit registers with it.
set(VELMORA_VPCLMUL_FLAGS -mvpclmulqdq -mavx512f -mevex512 -mavx512vl -mavx512bw -mpclmul -msse4.1)
