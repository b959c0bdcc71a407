# Installs the shipped database files into the program folder without ever losing a user's
# lists: cust.mdb only where there is none, ospam.mdb where there is none or where the installed
# one is older than the shipped one (an update may have put a newer one there since). A file
# is put in place whole, by a rename, so a running program never reads half of one.
# Set before this runs: TERVANE_SHIPPED_DIR, TERVANE_INSTALL_PROGRAM_DIR.

set(folder "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/${TERVANE_INSTALL_PROGRAM_DIR}")

# Puts the shipped file name into folder under the same name, keeping its time stamp.
function(tervane_put_database name)
  set(staging "${folder}/.tervane-install")
  file(REMOVE_RECURSE "${staging}")
  file(COPY "${TERVANE_SHIPPED_DIR}/${name}" DESTINATION "${staging}"
       FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
  file(RENAME "${staging}/${name}" "${folder}/${name}")
  file(REMOVE_RECURSE "${staging}")
  list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${folder}/${name}")
  set(CMAKE_INSTALL_MANIFEST_FILES "${CMAKE_INSTALL_MANIFEST_FILES}" PARENT_SCOPE)
  message(STATUS "Installing: ${folder}/${name}")
endfunction()

file(MAKE_DIRECTORY "${folder}")
if(EXISTS "${folder}/cust.mdb")
  message(STATUS "Keeping the lists: ${folder}/cust.mdb")
else()
  tervane_put_database(cust.mdb)
endif()

# Ages in whole seconds, as a copy keeps them: only a strictly older installed file goes.
set(installed_age 0)
if(EXISTS "${folder}/ospam.mdb")
  file(TIMESTAMP "${folder}/ospam.mdb" installed_age "%s" UTC)
endif()
file(TIMESTAMP "${TERVANE_SHIPPED_DIR}/ospam.mdb" shipped_age "%s" UTC)
if(installed_age LESS shipped_age)
  tervane_put_database(ospam.mdb)
else()
  message(STATUS "Keeping the reference list: ${folder}/ospam.mdb")
endif()
