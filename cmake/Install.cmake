# What `cmake --install` puts where (GNUInstallDirs: CMAKE_INSTALL_PREFIX and
# DESTDIR are honoured), and the Debian package CPack makes of the same files.
set(LW_PACKAGE ledgerwick-optimizer)
set(LW_DOC_DIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/${LW_PACKAGE})

install(TARGETS jetdb RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${LW_JETDB_MAN} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES README.md DESTINATION ${LW_DOC_DIR})

if(LW_BUILD_APP)
  configure_file(packaging/app.desktop.in ${CMAKE_BINARY_DIR}/packaging/${LW_APP_ID}.desktop @ONLY)
  configure_file(packaging/app.metainfo.xml.in
                 ${CMAKE_BINARY_DIR}/packaging/${LW_APP_ID}.metainfo.xml @ONLY)
  install(TARGETS ledgerwick-optimizer RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${CMAKE_BINARY_DIR}/packaging/${LW_APP_ID}.desktop
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/applications)
  install(FILES ${CMAKE_BINARY_DIR}/packaging/${LW_APP_ID}.metainfo.xml
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/metainfo)
  install(DIRECTORY ${LW_ICONS_DIR}/hicolor DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/icons)
endif()

# `cpack -G DEB` in a build folder (a Release one) makes the .deb; its
# dependencies come from the binaries' libraries through dpkg-shlibdeps.
set(CPACK_PACKAGE_NAME ${LW_PACKAGE})
set(CPACK_PACKAGE_VENDOR "The Ledgerwick Optimizer developers")
set(CPACK_PACKAGE_CONTACT "The Ledgerwick Optimizer developers <support@ledgerwick.example>")
set(CPACK_PACKAGE_HOMEPAGE_URL https://ledgerwick.example/)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_DESCRIPTION "Compacts Ledgerwick.mdb, the password-protected Jet database \
of the Ledgerwick host application, into a repaired copy, with a dated backup and a safe \
replacement. Also jetdb, a command line that reads, checks and compacts Jet 3 and Jet 4 files.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
