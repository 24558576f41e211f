# `cmake --install` puts the program, the two crate libraries beside it and
# the crate server into one folder (the program loads the libraries from its
# own folder and keeps its settings file there), with a demo launcher, a
# desktop entry and the icon.
include(GNUInstallDirs)
set(KSV_INSTALL_SUBDIR "${CMAKE_INSTALL_LIBDIR}/ksv27-vorn")
file(RELATIVE_PATH KSV_BIN_TO_FOLDER "/p/${CMAKE_INSTALL_BINDIR}" "/p/${KSV_INSTALL_SUBDIR}")

install(TARGETS KSV27_Vorn_User ksv27-vorn-cli ksv-crate-server ksvapi ksv27api
  RUNTIME DESTINATION ${KSV_INSTALL_SUBDIR}
  LIBRARY DESTINATION ${KSV_INSTALL_SUBDIR})

# The command-line tool on the search path: a link to it in its folder, where
# it finds the libraries beside its real path. (Windows: the folder itself.)
if(NOT WIN32)
install(CODE "
  file(MAKE_DIRECTORY \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
  file(CREATE_LINK \"${KSV_BIN_TO_FOLDER}/ksv27-vorn-cli\"
    \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/ksv27-vorn-cli\" SYMBOLIC)
  message(STATUS \"Installing: \$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/ksv27-vorn-cli\")
")
endif()
configure_file(${CMAKE_SOURCE_DIR}/cmake/install/ksv27-vorn-demo.in ${CMAKE_BINARY_DIR}/install/ksv27-vorn-demo @ONLY)
install(PROGRAMS ${CMAKE_BINARY_DIR}/install/ksv27-vorn-demo DESTINATION ${CMAKE_INSTALL_BINDIR})
# The desktop entry names the program by its absolute path: written when
# installing, so it follows a prefix given to `cmake --install --prefix`.
install(CODE "
  set(KSV_INSTALL_FOLDER \"\${CMAKE_INSTALL_PREFIX}/${KSV_INSTALL_SUBDIR}\")
  configure_file(\"${CMAKE_SOURCE_DIR}/cmake/install/ksv27-vorn.desktop.in\"
    \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DATADIR}/applications/ksv27-vorn.desktop\" @ONLY)
  message(STATUS \"Installing: \$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DATADIR}/applications/ksv27-vorn.desktop\")
")
install(FILES ${CMAKE_SOURCE_DIR}/app/resources/ksv27_vorn_icon.svg
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps RENAME ksv27-vorn.svg)
