# The Win32 device edge: SetupAPI discovery, notifications and the GUID table.
kivrel_test(win_device_tests
  SOURCES device_win32_test.cpp
  LIBS kivrel_win_test_support kivrel_device)
target_sources(win_device_tests PRIVATE disk_switch_win32_test.cpp)
