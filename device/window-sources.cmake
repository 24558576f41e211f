target_sources(ksv27_window PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/MainFormDevice.cpp
  ${CMAKE_CURRENT_LIST_DIR}/DeviceStatusDisplay.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Initandconfigthread.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Initandconfigthread.h
)
