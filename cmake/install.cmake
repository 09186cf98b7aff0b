# cmake --install: the programs, the window's desktop entry and icon, the man page made
# from README.md, libvelmorane (static and shared) with its one header, a pkg-config file
# and a CMake package; and CPack's Debian packages of them, in three components:
# runtime (package velmorane: the command line, the shared library, the man page and the
# documentation), gui (velmorane-gui) and dev (libvelmorane-dev: header, static library,
# pkg-config and CMake files).
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

install(TARGETS velmorane RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
install(TARGETS velmorane-svg RUNTIME DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/velmorane
  COMPONENT runtime)
if(TARGET velmorane-gui)
  install(TARGETS velmorane-gui RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT gui)
  install(FILES ${CMAKE_SOURCE_DIR}/data/velmorane-gui.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT gui)
  install(FILES ${CMAKE_SOURCE_DIR}/data/icons/velmorane.svg
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps COMPONENT gui)
  foreach(size 32 64 128 256)
    install(FILES ${CMAKE_SOURCE_DIR}/data/icons/velmorane-${size}.png
      DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
      RENAME velmorane.png COMPONENT gui)
  endforeach()
endif()

# The man page follows the README's option table.
set(VELMORANE_MANPAGE ${CMAKE_BINARY_DIR}/velmorane.1)
add_custom_command(OUTPUT ${VELMORANE_MANPAGE} BYPRODUCTS ${VELMORANE_MANPAGE}.gz
  COMMAND ${CMAKE_COMMAND} -DREADME=${CMAKE_SOURCE_DIR}/README.md -DVERSION=${PROJECT_VERSION}
    -DOUTPUT=${VELMORANE_MANPAGE} -P ${CMAKE_SOURCE_DIR}/cmake/manpage.cmake
  DEPENDS ${CMAKE_SOURCE_DIR}/README.md ${CMAKE_SOURCE_DIR}/cmake/manpage.cmake
  COMMAND gzip -9nkf ${VELMORANE_MANPAGE}
  COMMENT "Making the man page velmorane.1 (and velmorane.1.gz) from README.md")
add_custom_target(velmorane_manpage ALL DEPENDS ${VELMORANE_MANPAGE})
# Installed gzipped, as Debian keeps its man pages.
install(FILES ${VELMORANE_MANPAGE}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT runtime)
# The documentation folder: the README and the copyright note (gzipped as Debian keeps
# larger documents), and the examples for the library's users.
set(VELMORANE_README_GZ ${CMAKE_BINARY_DIR}/README.md.gz)
add_custom_command(OUTPUT ${VELMORANE_README_GZ}
  COMMAND gzip -9nc ${CMAKE_SOURCE_DIR}/README.md > ${VELMORANE_README_GZ}
  DEPENDS ${CMAKE_SOURCE_DIR}/README.md VERBATIM)
add_custom_target(velmorane_readme_gz ALL DEPENDS ${VELMORANE_README_GZ})
install(FILES ${VELMORANE_README_GZ} ${CMAKE_SOURCE_DIR}/data/copyright
  DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT runtime)
install(FILES ${CMAKE_SOURCE_DIR}/examples/convert_stdin.c ${CMAKE_SOURCE_DIR}/examples/convert.py
  DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/libvelmorane-dev/examples COMPONENT dev)

install(TARGETS velmorane_static velmorane_shared EXPORT velmoraneTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT dev
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
set_target_properties(velmorane_shared PROPERTIES EXPORT_NAME velmorane)
set_target_properties(velmorane_static PROPERTIES EXPORT_NAME velmorane_static)
install(FILES ${CMAKE_SOURCE_DIR}/src/api/velmorane.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
  COMPONENT dev)

# pkg-config finds the prefix from where the file lies, so "--prefix" at install time holds.
file(RELATIVE_PATH VELMORANE_PC_TO_PREFIX ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig
  ${CMAKE_INSTALL_PREFIX})
string(REGEX REPLACE "/$" "" VELMORANE_PC_TO_PREFIX "${VELMORANE_PC_TO_PREFIX}")
# The picture libraries are the static library's business only: their link flags go to
# Libs.private, and no compile flags of theirs reach our users (--cflags is our folder).
set(VELMORANE_PICTURE_LIBS_PRIVATE "")
if(VELMORANE_PICTURE_MODULES)
  separate_arguments(modules UNIX_COMMAND "${VELMORANE_PICTURE_MODULES}")
  execute_process(COMMAND ${PKG_CONFIG_EXECUTABLE} --libs ${modules}
    OUTPUT_VARIABLE VELMORANE_PICTURE_LIBS_PRIVATE OUTPUT_STRIP_TRAILING_WHITESPACE)
endif()
configure_file(${CMAKE_SOURCE_DIR}/cmake/velmorane.pc.in ${CMAKE_BINARY_DIR}/velmorane.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/velmorane.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
  COMPONENT dev)

set(VELMORANE_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/velmorane)
install(EXPORT velmoraneTargets NAMESPACE velmorane:: DESTINATION ${VELMORANE_CMAKE_DIR}
  COMPONENT dev)
configure_package_config_file(${CMAKE_SOURCE_DIR}/cmake/velmoraneConfig.cmake.in
  ${CMAKE_BINARY_DIR}/velmoraneConfig.cmake INSTALL_DESTINATION ${VELMORANE_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/velmoraneConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/velmoraneConfig.cmake
  ${CMAKE_BINARY_DIR}/velmoraneConfigVersion.cmake DESTINATION ${VELMORANE_CMAKE_DIR}
  COMPONENT dev)

# Everything cmake --install takes, so that a build of this target (./run.sh) can be
# installed or packed without building the tests.
add_custom_target(installables)
add_dependencies(installables velmorane velmorane_static velmorane_shared velmorane_manpage
  velmorane_readme_gz)
if(TARGET velmorane-gui)
  add_dependencies(installables velmorane-gui)
endif()

# cpack in the build folder makes velmorane_<version>_<arch>.deb, libvelmorane-dev_... and,
# with the window, velmorane-gui_....
set(CPACK_PACKAGE_NAME velmorane)
set(CPACK_PACKAGE_VENDOR "Velmorane Converter Pro")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "HTML to RTF and plain-text converter")
set(CPACK_PACKAGE_DESCRIPTION
  "Converts HTML pages, folders and folder trees into RTF documents or plain text,\
 keeping fonts, colours, lists, links, tables and pictures.")
set(CPACK_PACKAGE_CONTACT "Velmorane Converter Pro maintainers <velmorane@localhost>")
set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING IGNORE)
set(CPACK_COMPONENTS_ALL runtime dev)
if(TARGET velmorane-gui)
  list(APPEND CPACK_COMPONENTS_ALL gui)
endif()
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION text)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME velmorane)
set(CPACK_DEBIAN_RUNTIME_DESCRIPTION "HTML to RTF and plain-text converter
 The command line velmorane and the shared library libvelmorane.")
# The picture libraries and libcurl are opened at run time, so the program's own links
# do not name them.
set(CPACK_DEBIAN_RUNTIME_PACKAGE_DEPENDS "librsvg2-2, libwebp7, libtiff6, libcurl4")
set(CPACK_DEBIAN_GUI_PACKAGE_NAME velmorane-gui)
set(CPACK_DEBIAN_GUI_DESCRIPTION "HTML to RTF converter: the desktop window
 velmorane-gui, a Qt window for converting pages, folders and folder trees.")
set(CPACK_DEBIAN_GUI_PACKAGE_DEPENDS "velmorane (= ${PROJECT_VERSION})")
set(CPACK_DEBIAN_DEV_PACKAGE_NAME libvelmorane-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEV_DESCRIPTION "HTML to RTF converter: development files
 The C header velmorane.h, the static library, pkg-config and CMake files.")
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "velmorane (= ${PROJECT_VERSION}), libjpeg-dev, librsvg2-dev, libwebp-dev, libtiff-dev")
include(CPack)
