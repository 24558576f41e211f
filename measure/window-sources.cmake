# The window-side sources of this folder (paths relative to it), built into
# ksv27_window.
target_sources(ksv27_window PRIVATE
  MeasurementView.h MultimeterPage.h MultimeterPage.cpp Mainthread.h Mainthread.cpp Ksv27adcchannelpanel.h
  Ksv27adcchannelpanel.cpp Ksv27adcchannelpanel.ui RecordTrendPanel.h RecordTrendPanel.cpp TrendWindow.h
  TrendWindow.cpp)
target_link_libraries(ksv27_window PUBLIC Qt6::Charts)
