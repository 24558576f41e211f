# The window-side sources of this folder (paths relative to it), built into
# ksv27_window.
target_sources(ksv27_window PRIVATE
  ModalDialogs.cpp WorkerDialog.cpp MessagePump.cpp Ksv27mainform.h Ksv27mainform.cpp Ksv27mainformEvents.cpp
  MainFormViews.cpp WorkerView.h ControlEnabling.h ControlEnabling.cpp HandlerGuard.h Ksv27mainform.ui TLed.h TLed.cpp
  TPageControl.h TPageControl.cpp TApplication.h TApplication.cpp DecimalSeparator.cpp WindowsVersion.cpp
  WindowGeometry.cpp THintPlacement.cpp TWorkerLifecycle.cpp ToolkitTranslations.cpp resources/ksv27_vorn.qrc)
# The form headers (ui_*.h) are generated into the library's autogen folder;
# everything that includes the window's header needs to find them.
target_include_directories(ksv27_window PUBLIC ${CMAKE_BINARY_DIR}/ksv27_window_autogen/include)
