# The window-side sources of this folder (paths relative to it), built into
# ksv27_window.
target_sources(ksv27_window PRIVATE
  MeasurementView.h MultimeterPage.h MultimeterPage.cpp Mainthread.h Mainthread.cpp Ksv27adcchannelpanel.h
  Ksv27adcchannelpanel.cpp Ksv27adcchannelpanel.ui RecordTrendPanel.h RecordTrendPanel.cpp TrendWindow.h
  TrendWindow.cpp StripChart.h StripChart.cpp PlotCanvas.h PlotCanvas.cpp NamedButton.h)
