# The skinned controls under Wine: the text progress bar and the shaded image buttons, drawn
# into memory and driven by real messages and mouse input. The icons come from the tool's own
# resource script. ui_gallery shows the controls in their states for screenshots.
set(kivrel_rc ${PROJECT_SOURCE_DIR}/res/kivrel.rc)
kivrel_test(win_ui_tests
  SOURCES ui_controls_test.cpp ${kivrel_rc}
  LIBS kivrel_win_test_support kivrel_ui kivrel_version)
add_executable(ui_gallery WIN32 ui_gallery.cpp ${kivrel_rc})
kivrel_warnings(ui_gallery)
target_link_options(ui_gallery PRIVATE -municode)
target_link_libraries(ui_gallery PRIVATE kivrel_ui kivrel_version)
foreach(target win_ui_tests ui_gallery)
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR} ${KIVREL_RES_DIR})
  add_dependencies(${target} kivrel_resources)
endforeach()
