# The window-side sources of this folder (paths relative to it), built into
# ksv27_window.
target_sources(ksv27_window PRIVATE
  DiscoveryView.h DevicePanel.h DevicePanel.cpp Initandconfigthread.cpp Initandconfigthread.h)
