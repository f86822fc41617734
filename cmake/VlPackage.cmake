# A Debian package of the install tree: `cpack -G DEB` in the build folder
# makes vlsuite_<version>_<arch>.deb (programs, host runtime with its header,
# pkg-config file and CMake package, man pages, README and examples).
set(CPACK_PACKAGE_NAME vlsuite)
set(CPACK_PACKAGE_VENDOR "vlsuite developers")
set(CPACK_PACKAGE_CONTACT "vlsuite developers <vlsuite@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_GENERATOR DEB)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
# The libraries the programs need, found by dpkg-shlibdeps (dpkg-dev) when it
# is there; the host runtime inside the package needs no package of its own.
find_program(VL_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(VL_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libstdc++6, libgcc-s1")
endif()
include(CPack)
