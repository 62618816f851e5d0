# What a macOS cross build with Zig needs beyond cmake/zig.cmake.
include(${CMAKE_CURRENT_LIST_DIR}/zig.cmake)
# The minimum system is in Zig's target name; CMake would add its own flags for these.
set(CMAKE_OSX_DEPLOYMENT_TARGET "" CACHE STRING "" FORCE)
set(CMAKE_OSX_SYSROOT "" CACHE PATH "" FORCE)
# Zig has no install_name_tool, which CMake asks for; only shared libraries, of which the
# project builds none, would need it.
find_program(CMAKE_INSTALL_NAME_TOOL NAMES install_name_tool llvm-install-name-tool
             llvm-install-name-tool-19 llvm-install-name-tool-14 true)
# Zig's macOS headers lack <util.h> (openpty, for the end-to-end tests' terminals).
set(CMAKE_CXX_STANDARD_INCLUDE_DIRECTORIES ${CMAKE_CURRENT_LIST_DIR}/zig/macos-include)
