# The update-file format built with MinGW: the portable tests of tests/update, plus opening
# files by wide names with Chinese characters through the Windows C runtime.
set(update_tests_dir ${CMAKE_CURRENT_SOURCE_DIR}/../update)
kivrel_test(win_update_tests
  SOURCES
    ${update_tests_dir}/build_date_test.cpp
    ${update_tests_dir}/scrambler_test.cpp
    ${update_tests_dir}/package_index_test.cpp
    ${update_tests_dir}/package_loader_test.cpp
    ${update_tests_dir}/regional_database_test.cpp
    ${update_tests_dir}/vendor_check_test.cpp
  LIBS kivrel_update)
