# Windows on ARM64 (velmora.exe for Snapdragon laptops), cross-built with Zig's MinGW-w64.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ARM64)
set(VELMORA_ZIG_TARGET aarch64-windows-gnu)
include(${CMAKE_CURRENT_LIST_DIR}/zig.cmake)
