target_sources(ksv27_window PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/ModalDialogs.cpp
  ${CMAKE_CURRENT_LIST_DIR}/MessagePump.cpp
)
