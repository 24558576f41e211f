# `cmake --install` puts the program, the two crate libraries beside it and
# the crate server into one folder (the program loads the libraries from its
# own folder and keeps its settings file there), with a demo launcher, a
# desktop entry and the icon.
include(GNUInstallDirs)
set(KSV_INSTALL_SUBDIR "${CMAKE_INSTALL_LIBDIR}/ksv27-vorn")
set(KSV_INSTALL_FOLDER "${CMAKE_INSTALL_PREFIX}/${KSV_INSTALL_SUBDIR}")

install(TARGETS KSV27_Vorn_User ksv-crate-server ksvapi ksv27api
  RUNTIME DESTINATION ${KSV_INSTALL_SUBDIR}
  LIBRARY DESTINATION ${KSV_INSTALL_SUBDIR})

configure_file(${CMAKE_SOURCE_DIR}/cmake/install/ksv27-vorn-demo.in ${CMAKE_BINARY_DIR}/install/ksv27-vorn-demo @ONLY)
configure_file(${CMAKE_SOURCE_DIR}/cmake/install/ksv27-vorn.desktop.in ${CMAKE_BINARY_DIR}/install/ksv27-vorn.desktop @ONLY)
install(PROGRAMS ${CMAKE_BINARY_DIR}/install/ksv27-vorn-demo DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${CMAKE_BINARY_DIR}/install/ksv27-vorn.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_SOURCE_DIR}/app/resources/ksv27_vorn_icon.svg
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps RENAME ksv27-vorn.svg)
