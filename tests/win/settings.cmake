# The province and settings windows, built from the real templates (the resource script is
# linked into the test) and driven with real messages. The gallery opens either window in a
# given state for scripts/screenshot.
set(settings_rc ${PROJECT_SOURCE_DIR}/res/kivrel.rc)
set_source_files_properties(${settings_rc} PROPERTIES
  OBJECT_DEPENDS "${KIVREL_RES_FILES};${PROJECT_SOURCE_DIR}/res/version_info.rc")

kivrel_test(win_settings_tests
  SOURCES settings_windows_test.cpp ${settings_rc}
  LIBS kivrel_win_test_support kivrel_settings_win32 kivrel_version)
target_include_directories(win_settings_tests PRIVATE ${KIVREL_RES_DIR})
add_dependencies(win_settings_tests kivrel_resources)

add_executable(settings_gallery WIN32 settings_gallery.cpp ${settings_rc})
kivrel_warnings(settings_gallery)
target_include_directories(settings_gallery PRIVATE ${KIVREL_RES_DIR})
target_link_options(settings_gallery PRIVATE -municode)
target_link_libraries(settings_gallery PRIVATE kivrel_settings_win32 kivrel_version shell32)
add_dependencies(settings_gallery kivrel_resources)
