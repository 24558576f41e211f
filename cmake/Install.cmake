# Install rules in two components, one per Debian package:
#
#   ksv27-vorn       lib/ksv27-vorn/: the program, the command-line tool and
#                    the launchers' shared shell functions; bin/: the launcher
#                    `ksv27-vorn` and a link to the tool; the desktop entry, the
#                    icon, the manual pages, the service unit and its example
#                    options file. No crate library: the maker's go on the
#                    system's library path (or beside the program).
#   ksv27-vorn-demo  lib/ksv27-vorn-demo/: the simulated crate server, the two
#                    stand-in libraries and a copy of the tool beside them;
#                    bin/: the demo launcher and its manual page.
#
# The program keeps its settings file beside its executable and loads the
# crate libraries from there first, so it never runs from the installed
# folder: its launcher copies it into a folder of the user's own (see
# cmake/install/user-folder.sh) and starts the copy there.
include(GNUInstallDirs)
set(KSV_INSTALL_SUBDIR "lib/ksv27-vorn")
set(KSV_DEMO_SUBDIR "lib/ksv27-vorn-demo")
set(KSV_MAIN_COMPONENT ksv27-vorn)
set(KSV_DEMO_COMPONENT ksv27-vorn-demo)
file(RELATIVE_PATH KSV_BIN_TO_FOLDER "/p/${CMAKE_INSTALL_BINDIR}" "/p/${KSV_INSTALL_SUBDIR}")
file(RELATIVE_PATH KSV_BIN_TO_DEMO "/p/${CMAKE_INSTALL_BINDIR}" "/p/${KSV_DEMO_SUBDIR}")
# scripts/package.sh versions the packages from here.
file(WRITE ${CMAKE_BINARY_DIR}/install/version "${PROJECT_VERSION}\n")

install(TARGETS KSV27_Vorn_User ksv27-vorn-cli
  RUNTIME DESTINATION ${KSV_INSTALL_SUBDIR} COMPONENT ${KSV_MAIN_COMPONENT})
install(FILES ${CMAKE_SOURCE_DIR}/cmake/install/user-folder.sh
  DESTINATION ${KSV_INSTALL_SUBDIR} COMPONENT ${KSV_MAIN_COMPONENT})
install(TARGETS ksv-crate-server ksvapi ksv27api ksv27-vorn-cli
  RUNTIME DESTINATION ${KSV_DEMO_SUBDIR} COMPONENT ${KSV_DEMO_COMPONENT}
  LIBRARY DESTINATION ${KSV_DEMO_SUBDIR} COMPONENT ${KSV_DEMO_COMPONENT})

foreach(_launcher ksv27-vorn ksv27-vorn-demo)
  configure_file(${CMAKE_SOURCE_DIR}/cmake/install/${_launcher}.in ${CMAKE_BINARY_DIR}/install/${_launcher} @ONLY)
  install(PROGRAMS ${CMAKE_BINARY_DIR}/install/${_launcher}
    DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT ${_launcher})
  install(FILES ${CMAKE_SOURCE_DIR}/docs/man/${_launcher}.1
    DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT ${_launcher})
endforeach()
install(FILES ${CMAKE_SOURCE_DIR}/app/resources/ksv27_vorn_icon.svg
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps RENAME ksv27-vorn.svg
  COMPONENT ${KSV_MAIN_COMPONENT})

# Written when installing, so they follow a prefix given to
# `cmake --install --prefix`: the link to the tool on the search path (it
# finds the libraries beside its real path), the desktop entry, and the
# service unit with its example options file. Under /usr the unit and the
# options go to the system's own folders, elsewhere below the prefix.
install(CODE "
  set(_root \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}\")
  set(KSV_BINDIR \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
  if(CMAKE_INSTALL_PREFIX STREQUAL \"/usr\")
    set(KSV_SYSCONFDIR \"/etc\")
    set(_unitdir \"/lib/systemd/system\")
  else()
    set(KSV_SYSCONFDIR \"\${CMAKE_INSTALL_PREFIX}/etc\")
    set(_unitdir \"\${CMAKE_INSTALL_PREFIX}/lib/systemd/system\")
  endif()
  file(MAKE_DIRECTORY \"\${_root}/${CMAKE_INSTALL_BINDIR}\")
  file(CREATE_LINK \"${KSV_BIN_TO_FOLDER}/ksv27-vorn-cli\" \"\${_root}/${CMAKE_INSTALL_BINDIR}/ksv27-vorn-cli\" SYMBOLIC)
  configure_file(\"${CMAKE_SOURCE_DIR}/cmake/install/ksv27-vorn.desktop.in\"
    \"\${_root}/${CMAKE_INSTALL_DATADIR}/applications/ksv27-vorn.desktop\" @ONLY)
  configure_file(\"${CMAKE_SOURCE_DIR}/cmake/install/ksv27-vorn-serve@.service.in\"
    \"\$ENV{DESTDIR}\${_unitdir}/ksv27-vorn-serve@.service\" @ONLY)
  configure_file(\"${CMAKE_SOURCE_DIR}/cmake/install/serve-example.conf\"
    \"\$ENV{DESTDIR}\${KSV_SYSCONFDIR}/ksv27-vorn/serve-example.conf\" COPYONLY)
  message(STATUS \"Installing: the tool's link, the desktop entry, \$ENV{DESTDIR}\${_unitdir}/ksv27-vorn-serve@.service, \$ENV{DESTDIR}\${KSV_SYSCONFDIR}/ksv27-vorn/serve-example.conf\")
" COMPONENT ${KSV_MAIN_COMPONENT})

# The tool's manual page is made from its --help text, so every option it
# has is in it (not when the tool is built for another system).
if(NOT CMAKE_CROSSCOMPILING)
  install(CODE "
    set(KSV_CLI \"$<TARGET_FILE:ksv27-vorn-cli>\")
    set(KSV_VERSION ${PROJECT_VERSION})
    set(KSV_MAN_DIR \"${CMAKE_SOURCE_DIR}/docs/man\")
    set(KSV_PAGE \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_MANDIR}/man1/ksv27-vorn-cli.1\")
    include(\"${CMAKE_SOURCE_DIR}/cmake/install/CliManPage.cmake\")
  " COMPONENT ${KSV_MAIN_COMPONENT})
endif()
