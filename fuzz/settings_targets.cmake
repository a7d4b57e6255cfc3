# The settings window's model over blocks read from the unit.
kivrel_fuzz_target(fuzz_settings_window
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/settings_window_fuzz.cpp
  LIBS kivrel_settings)
