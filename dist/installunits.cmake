# Run by cmake --install (and by cpack): writes the systemd units for the
# installation prefix and installs them with the defaults file. Under the
# prefix /usr the defaults file goes to /etc, elsewhere to PREFIX/etc.
set(prefix "${CMAKE_INSTALL_PREFIX}")
if(prefix STREQUAL "/usr")
  set(TALLY_SYSCONF "/etc")
else()
  set(TALLY_SYSCONF "${prefix}/etc")
endif()
set(TALLY_LIBEXEC "${prefix}/${TALLY_LIBEXECDIR}/tallyscope")

# The user and sandbox block that every service shares.
file(STRINGS "${TALLY_DIST_SOURCE}/systemd/sandbox.conf" sandbox)
list(JOIN sandbox "\n" TALLY_SANDBOX)

set(units)
foreach(unit tallyscope@.service tallyscope-host.service tallyscope-retention.service)
  configure_file("${TALLY_DIST_SOURCE}/systemd/${unit}.in" "${TALLY_DIST_BINARY}/units/${unit}" @ONLY)
  list(APPEND units "${TALLY_DIST_BINARY}/units/${unit}")
endforeach()
list(APPEND units "${TALLY_DIST_SOURCE}/systemd/tallyscope-retention.timer")

file(INSTALL ${units} DESTINATION "${prefix}/lib/systemd/system"
     FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
file(INSTALL "${TALLY_DIST_SOURCE}/default/tallyscope" DESTINATION "${TALLY_SYSCONF}/default"
     FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
