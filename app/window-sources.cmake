target_sources(ksv27_window PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/ModalDialogs.cpp
  ${CMAKE_CURRENT_LIST_DIR}/WorkerDialog.cpp
  ${CMAKE_CURRENT_LIST_DIR}/MessagePump.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Ksv27mainform.h
  ${CMAKE_CURRENT_LIST_DIR}/Ksv27mainform.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Ksv27mainformEvents.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Ksv27mainform.ui
  ${CMAKE_CURRENT_LIST_DIR}/TLed.h
  ${CMAKE_CURRENT_LIST_DIR}/TLed.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TPageControl.h
  ${CMAKE_CURRENT_LIST_DIR}/TPageControl.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TApplication.h
  ${CMAKE_CURRENT_LIST_DIR}/TApplication.cpp
  ${CMAKE_CURRENT_LIST_DIR}/DecimalSeparator.cpp
  ${CMAKE_CURRENT_LIST_DIR}/WindowsVersion.cpp
  ${CMAKE_CURRENT_LIST_DIR}/WindowGeometry.cpp
  ${CMAKE_CURRENT_LIST_DIR}/THintPlacement.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TWorkerLifecycle.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ToolkitTranslations.cpp
  ${CMAKE_CURRENT_LIST_DIR}/resources/ksv27_vorn.qrc
)
# The form headers (ui_*.h) are generated into the library's autogen folder;
# everything that includes the window's header needs to find them.
target_include_directories(ksv27_window PUBLIC ${CMAKE_BINARY_DIR}/ksv27_window_autogen/include)
