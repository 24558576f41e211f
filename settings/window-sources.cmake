target_sources(ksv27_window PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/SettingsController.h
  ${CMAKE_CURRENT_LIST_DIR}/SettingsController.cpp
)
