# Writes the files that name installed programs by their full path, now that the prefix is
# final: the application-menu entry (which opens the running program's settings window) and
# the systemd user unit (the program without a desktop). Set before this runs:
# TERVANE_PACKAGING_SOURCE_DIR, TERVANE_INSTALL_PROGRAM_DIR, TERVANE_INSTALL_BINDIR,
# TERVANE_INSTALL_DATADIR.

set(prefix "${CMAKE_INSTALL_PREFIX}")
set(root "$ENV{DESTDIR}${prefix}")

# Returns in out the path as one double-quoted argument of a desktop entry's Exec key: '"',
# '`', '$' and '\' take a backslash, '%' is doubled (no field code), and then every backslash is
# doubled once more, as the entry's string values ask.
function(tervane_desktop_quoted out path)
  string(REPLACE "\\" "\\\\" text "${path}")
  foreach(special IN ITEMS "\"" "`" "$")
    string(REPLACE "${special}" "\\${special}" text "${text}")
  endforeach()
  string(REPLACE "%" "%%" text "${text}")
  string(REPLACE "\\" "\\\\" text "${text}")
  set(${out} "\"${text}\"" PARENT_SCOPE)
endfunction()

# Returns in out the path as one double-quoted word of a systemd command line: '\' and '"'
# take a backslash, '%' (specifiers) and '$' (variables) are doubled.
function(tervane_systemd_quoted out path)
  string(REPLACE "\\" "\\\\" text "${path}")
  string(REPLACE "\"" "\\\"" text "${text}")
  string(REPLACE "%" "%%" text "${text}")
  string(REPLACE "$" "$$" text "${text}")
  set(${out} "\"${text}\"" PARENT_SCOPE)
endfunction()

function(tervane_write_configured template destination)
  file(READ "${TERVANE_PACKAGING_SOURCE_DIR}/${template}" text)
  string(CONFIGURE "${text}" text @ONLY)
  get_filename_component(name "${template}" NAME_WLE)
  file(MAKE_DIRECTORY "${root}/${destination}")
  file(WRITE "${root}/${destination}/${name}" "${text}")
  list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${root}/${destination}/${name}")
  set(CMAKE_INSTALL_MANIFEST_FILES "${CMAKE_INSTALL_MANIFEST_FILES}" PARENT_SCOPE)
  message(STATUS "Installing: ${root}/${destination}/${name}")
endfunction()

tervane_desktop_quoted(OECTL "${prefix}/${TERVANE_INSTALL_BINDIR}/oectl")
tervane_write_configured(tervane-antispam-settings.desktop.in
                         "${TERVANE_INSTALL_DATADIR}/applications")

tervane_systemd_quoted(PROGRAM "${prefix}/${TERVANE_INSTALL_PROGRAM_DIR}/TervaneAntiSpam")
tervane_write_configured(tervane-antispam.service.in "${TERVANE_INSTALL_DATADIR}/systemd/user")
