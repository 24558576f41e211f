target_sources(ksv27_window PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/DiscoveryView.h
  ${CMAKE_CURRENT_LIST_DIR}/DevicePanel.h
  ${CMAKE_CURRENT_LIST_DIR}/DevicePanel.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Initandconfigthread.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Initandconfigthread.h
)
