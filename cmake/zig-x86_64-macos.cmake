# macOS on Intel, cross-built with Zig, for macOS 11.0 and later.
set(CMAKE_SYSTEM_NAME Darwin)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(VELMORA_ZIG_TARGET x86_64-macos.11.0)
include(${CMAKE_CURRENT_LIST_DIR}/zig-macos.cmake)
# Zig's x86-64 runtime lacks what __builtin_cpu_supports reads; a Mac's has it. The stand-in
# (src/platform/cpu_model_standin.cpp) reports no feature: such a build runs the portable kernel.
set(VELMORA_CPU_MODEL_STANDIN ON)
