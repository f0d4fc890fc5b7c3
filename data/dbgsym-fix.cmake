# Run by CPack after it made the packages (CPACK_POST_BUILD_SCRIPTS). CMake 3.25 writes the
# debug-symbol package's md5sums with the build machine's absolute paths, so dpkg --verify and
# lintian find none of its files; and a dbgsym package's documents are its program's, through
# the link usr/share/doc/PACKAGE-dbgsym -> PACKAGE that Debian's own dbgsym packages carry.
# This remakes the .ddeb with both put right.
foreach(package IN LISTS CPACK_PACKAGE_FILES)
  if(NOT package MATCHES "/([^/_]+)-dbgsym_[^/]*\\.ddeb$")
    continue()
  endif()
  set(name ${CMAKE_MATCH_1})
  set(tree ${CPACK_TOPLEVEL_DIRECTORY}/dbgsym-fix)
  file(REMOVE_RECURSE ${tree})
  execute_process(COMMAND dpkg-deb -R ${package} ${tree} COMMAND_ERROR_IS_FATAL ANY)
  file(READ ${tree}/DEBIAN/md5sums sums)
  string(REGEX REPLACE "  /[^\n]*-dbgsym/usr/" "  usr/" sums "${sums}")
  file(WRITE ${tree}/DEBIAN/md5sums "${sums}")
  file(MAKE_DIRECTORY ${tree}/usr/share/doc)
  file(CREATE_LINK ${name} ${tree}/usr/share/doc/${name}-dbgsym SYMBOLIC)
  execute_process(COMMAND dpkg-deb --root-owner-group -Zxz --build ${tree} ${package}
    OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
  file(REMOVE_RECURSE ${tree})
endforeach()
