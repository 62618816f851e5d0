# Empties the tests' scratch folder (DIR) before a run and opens it to every user, as the
# end-to-end tests may run as nobody. What a killed run left behind goes with it.
if(EXISTS "${DIR}")
  file(REMOVE_RECURSE "${DIR}")
endif()
file(MAKE_DIRECTORY "${DIR}")
file(CHMOD "${DIR}" DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
     GROUP_WRITE GROUP_EXECUTE WORLD_READ WORLD_WRITE WORLD_EXECUTE)
