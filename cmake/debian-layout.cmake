# Run by cpack on the staged files before it packs them (CPACK_PRE_BUILD_SCRIPTS): a Debian
# package carries its manual pages gzip-compressed and a copyright file and changelog with its
# documentation, none of which belongs in a plain `cmake --install`.
if(NOT CPACK_GENERATOR STREQUAL "DEB")
  return()
endif()
set(staged "${CPACK_TEMPORARY_INSTALL_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}")

file(GLOB pages "${staged}/share/man/man[1-9]/*.[1-9]")
foreach(page IN LISTS pages)
  # -n leaves the name and time stamp out, so the same page always packs the same.
  execute_process(COMMAND gzip -9n "${page}" RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "gzip failed on ${page}")
  endif()
endforeach()

# file(COPY), not file(INSTALL): cpack still has DESTDIR set, which file(INSTALL) would prepend.
set(doc "${staged}/share/doc/${CPACK_PACKAGE_NAME}")
file(COPY "${CPACK_VELMORA_COPYRIGHT_FILE}" "${CPACK_VELMORA_CHANGELOG_FILE}" DESTINATION "${doc}"
  FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
# A native package's changelog is share/doc/NAME/changelog.gz.
execute_process(COMMAND gzip -9nf "${doc}/changelog" RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "gzip failed on ${doc}/changelog")
endif()
