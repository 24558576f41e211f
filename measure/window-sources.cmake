target_sources(ksv27_window PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/MainFormMeasure.cpp
)
