# cmake --install: the programs, the window's desktop entry and icon, the man page made
# from README.md, libvelmorane (static and shared) with its one header, a pkg-config file
# and a CMake package; and CPack's Debian package of it all.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

install(TARGETS velmorane RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS velmorane-svg RUNTIME DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/velmorane)
if(TARGET velmorane-gui)
  install(TARGETS velmorane-gui RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${CMAKE_SOURCE_DIR}/data/velmorane-gui.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${CMAKE_SOURCE_DIR}/data/icons/velmorane.svg
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
  foreach(size 32 64 128 256)
    install(FILES ${CMAKE_SOURCE_DIR}/data/icons/velmorane-${size}.png
      DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
      RENAME velmorane.png)
  endforeach()
endif()

# The man page follows the README's option table.
set(VELMORANE_MANPAGE ${CMAKE_BINARY_DIR}/velmorane.1)
add_custom_command(OUTPUT ${VELMORANE_MANPAGE}
  COMMAND ${CMAKE_COMMAND} -DREADME=${CMAKE_SOURCE_DIR}/README.md -DVERSION=${PROJECT_VERSION}
    -DOUTPUT=${VELMORANE_MANPAGE} -P ${CMAKE_SOURCE_DIR}/cmake/manpage.cmake
  DEPENDS ${CMAKE_SOURCE_DIR}/README.md ${CMAKE_SOURCE_DIR}/cmake/manpage.cmake
  COMMENT "Making the man page velmorane.1 from README.md")
add_custom_target(velmorane_manpage ALL DEPENDS ${VELMORANE_MANPAGE})
install(FILES ${VELMORANE_MANPAGE} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

install(TARGETS velmorane_static velmorane_shared EXPORT velmoraneTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
set_target_properties(velmorane_shared PROPERTIES EXPORT_NAME velmorane)
set_target_properties(velmorane_static PROPERTIES EXPORT_NAME velmorane_static)
install(FILES ${CMAKE_SOURCE_DIR}/src/api/velmorane.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

# pkg-config finds the prefix from where the file lies, so "--prefix" at install time holds.
file(RELATIVE_PATH VELMORANE_PC_TO_PREFIX ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig
  ${CMAKE_INSTALL_PREFIX})
string(REGEX REPLACE "/$" "" VELMORANE_PC_TO_PREFIX "${VELMORANE_PC_TO_PREFIX}")
configure_file(${CMAKE_SOURCE_DIR}/cmake/velmorane.pc.in ${CMAKE_BINARY_DIR}/velmorane.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/velmorane.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

set(VELMORANE_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/velmorane)
install(EXPORT velmoraneTargets NAMESPACE velmorane:: DESTINATION ${VELMORANE_CMAKE_DIR})
configure_package_config_file(${CMAKE_SOURCE_DIR}/cmake/velmoraneConfig.cmake.in
  ${CMAKE_BINARY_DIR}/velmoraneConfig.cmake INSTALL_DESTINATION ${VELMORANE_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/velmoraneConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/velmoraneConfig.cmake
  ${CMAKE_BINARY_DIR}/velmoraneConfigVersion.cmake DESTINATION ${VELMORANE_CMAKE_DIR})

# cpack -G DEB in the build folder makes velmorane_<version>_<arch>.deb.
set(CPACK_PACKAGE_NAME velmorane)
set(CPACK_PACKAGE_VENDOR "Velmorane Converter Pro")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "HTML to RTF and plain-text converter")
set(CPACK_PACKAGE_DESCRIPTION
  "Converts HTML pages, folders and folder trees into RTF documents or plain text,\
 keeping fonts, colours, lists, links, tables and pictures. Command line, desktop\
 window and the libvelmorane library with its C interface.")
set(CPACK_PACKAGE_CONTACT "Velmorane Converter Pro maintainers <velmorane@localhost>")
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION text)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
include(CPack)
