# Unit tests of the Windows program, cross-built against GoogleTest compiled from Debian's
# source package (there is no mingw build of it), to run under Wine.
set(VELMORA_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest source tree")
if(NOT EXISTS ${VELMORA_GTEST_SOURCE_DIR}/CMakeLists.txt)
  message(FATAL_ERROR "GoogleTest sources not found in ${VELMORA_GTEST_SOURCE_DIR}")
endif()

set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(${VELMORA_GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
# Third-party code: our warning flags are not its contract.
foreach(target gtest gtest_main)
  set_target_properties(${target} PROPERTIES COMPILE_OPTIONS "")
endforeach()

# The shared unit tests, and those of the Win32 layer that only Windows can run.
file(GLOB VELMORA_UNIT_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/unit/*.cpp
     ${PROJECT_SOURCE_DIR}/tests/win32/*.cpp)
add_executable(velmora_unit ${VELMORA_UNIT_SOURCES})
target_link_libraries(velmora_unit PRIVATE velmora_core gtest_main)
set_target_properties(velmora_unit PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
