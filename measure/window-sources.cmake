target_sources(ksv27_window PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/MeasurementView.h
  ${CMAKE_CURRENT_LIST_DIR}/MultimeterPage.h
  ${CMAKE_CURRENT_LIST_DIR}/MultimeterPage.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Mainthread.h
  ${CMAKE_CURRENT_LIST_DIR}/Mainthread.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Ksv27adcchannelpanel.h
  ${CMAKE_CURRENT_LIST_DIR}/Ksv27adcchannelpanel.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Ksv27adcchannelpanel.ui
  ${CMAKE_CURRENT_LIST_DIR}/RecordTrendPanel.h
  ${CMAKE_CURRENT_LIST_DIR}/RecordTrendPanel.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TrendWindow.h
  ${CMAKE_CURRENT_LIST_DIR}/TrendWindow.cpp
)
target_link_libraries(ksv27_window PUBLIC Qt6::Charts)
