target_sources(ksv27_window PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/MainFormMeasure.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Mainthread.h
  ${CMAKE_CURRENT_LIST_DIR}/Mainthread.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Ksv27adcchannelpanel.h
  ${CMAKE_CURRENT_LIST_DIR}/Ksv27adcchannelpanel.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Ksv27adcchannelpanel.ui
  ${CMAKE_CURRENT_LIST_DIR}/RecordTrendPanel.h
  ${CMAKE_CURRENT_LIST_DIR}/RecordTrendPanel.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TrendWindow.h
  ${CMAKE_CURRENT_LIST_DIR}/TrendWindow.cpp
  ${CMAKE_CURRENT_LIST_DIR}/StripChart.h
  ${CMAKE_CURRENT_LIST_DIR}/StripChart.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PlotCanvas.h
  ${CMAKE_CURRENT_LIST_DIR}/PlotCanvas.cpp
)
