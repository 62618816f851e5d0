# Unit tests of the Windows program, cross-built against GoogleTest compiled from Debian's
# source package (there is no mingw build of it), to run under Wine.
include(${CMAKE_CURRENT_LIST_DIR}/gtest-from-source.cmake)

# The shared unit tests, and those of the Win32 layer that only Windows can run.
file(GLOB VELMORA_UNIT_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/unit/*.cpp
     ${PROJECT_SOURCE_DIR}/tests/win32/*.cpp)
add_executable(velmora_unit ${VELMORA_UNIT_SOURCES})
target_link_libraries(velmora_unit PRIVATE velmora_core gtest_main)
set_target_properties(velmora_unit PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
# GCC 12 sees overlapping copies in std::string's operator+ that cannot happen, as in the
# native unit tests; clang knows no such warning.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  target_compile_options(velmora_unit PRIVATE -Wno-restrict)
endif()
