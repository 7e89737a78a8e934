# The Debian package, made by CPack's DEB generator from the install rules (`make deb`). The
# version is the project's; the date of that version's release is set here, once.
set(KORVALEN_RELEASE_DATE 2026-12-09)
set(KORVALEN_MAINTAINER "The Korvalen developers <korvalen@example.org>")
set(KORVALEN_ID org.example.korvalen)

# The AppStream entry, with the version and its date.
set(metainfo ${CMAKE_CURRENT_BINARY_DIR}/${KORVALEN_ID}.metainfo.xml)
configure_file(${KORVALEN_ID}.metainfo.xml.in ${metainfo} @ONLY)
install(FILES ${metainfo} DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# The manual page and the package's changelog go compressed with -n, so that the same sources
# give the same bytes whatever the time of the build.
execute_process(COMMAND date -u -R -d "${KORVALEN_RELEASE_DATE} 00:00:00"
  OUTPUT_VARIABLE KORVALEN_RELEASE_RFC2822 OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
configure_file(debian/changelog.in ${CMAKE_CURRENT_BINARY_DIR}/changelog @ONLY)
set(manpage ${CMAKE_CURRENT_BINARY_DIR}/korvalen.1.gz)
set(changelog ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz)
add_custom_command(OUTPUT ${manpage}
  COMMAND sh -c [[gzip -9n -c "$1" > "$2"]] gzip ${CMAKE_CURRENT_SOURCE_DIR}/debian/korvalen.1 ${manpage}
  DEPENDS debian/korvalen.1 VERBATIM)
add_custom_command(OUTPUT ${changelog}
  COMMAND sh -c [[gzip -9n -c "$1" > "$2"]] gzip ${CMAKE_CURRENT_BINARY_DIR}/changelog ${changelog}
  DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/changelog VERBATIM)
add_custom_target(packagedocs ALL DEPENDS ${manpage} ${changelog})
install(FILES ${manpage} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
# A package whose version has no Debian revision is native: its changelog is changelog.gz.
install(FILES debian/copyright ${changelog} DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/korvalen)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME korvalen)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Korvalen developers")
set(CPACK_PACKAGE_CONTACT ${KORVALEN_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${KORVALEN_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "measure the Sun's elevation on the Moon from a photograph")
string(CONCAT CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "Korvalen is a desktop tool for amateur astronomers. From a photograph of the\n"
  "whole lunar disc it finds the elevation of the Sun above the local horizon at\n"
  "a chosen place on the Moon: the user clicks the two cusps of the crescent,\n"
  "fits the traced limb circle and terminator to the photograph, and turns a\n"
  "spin box until the curve of equal solar elevation passes through the place\n"
  "under study.\n"
  "\n"
  "A calculator turns the length of a shadow and the Sun's elevation into the\n"
  "height of the relief that casts it. The interface is in French; JPEG, BMP,\n"
  "ICO, WMF and EMF pictures are read.")
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://example.org/korvalen/)
# Run-time dependencies come from the libraries the program is linked with (dpkg-shlibdeps),
# not from a list kept by hand.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
# Whatever the packager's umask, the folders are rwxr-xr-x as Debian wants.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
include(CPack)
