# The Debian package: cpack -G DEB in the build directory gives
# tallyscope_<version>_amd64.deb, installed under /usr (units in
# /usr/lib/systemd/system, settings in /etc/default/tallyscope). The shared
# libraries the programs link (zlib, the C and C++ runtimes) become its
# dependencies through dpkg-shlibdeps.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tallyscope)
set(CPACK_PACKAGE_VENDOR "tallyscope")
set(CPACK_PACKAGE_CONTACT "tallyscope maintainers <tallyscope@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "statistics collector for a shared page cache and its host")
set(CPACK_PACKAGE_DESCRIPTION
    "tallyscope samples the counters of a Quillon shared page cache and the host's own\nfigures into a self-describing text archive; tallyread reads the archives;\ncachesim simulates a cache. Includes systemd units, daily retention, manual\npages and bash completion.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
# The install scripts place the units and /etc files by absolute path, so
# the package is staged with DESTDIR under the real prefix.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The retention script compresses with gzip; the package's set-up creates
# the service user with useradd.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "gzip, passwd")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "systemd, bash-completion")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    "${CMAKE_CURRENT_LIST_DIR}/debian/postinst;${CMAKE_CURRENT_LIST_DIR}/debian/prerm;${CMAKE_CURRENT_LIST_DIR}/debian/conffiles")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
include(CPack)
