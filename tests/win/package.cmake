# The update-file format built with MinGW: the portable tests of tests/package, plus opening
# files by wide names with Chinese characters through the Windows C runtime, and GBK names
# decoded by code page 936.
set(package_tests_dir ${CMAKE_CURRENT_SOURCE_DIR}/../package)
kivrel_test(win_package_tests
  SOURCES
    ${package_tests_dir}/build_date_test.cpp
    ${package_tests_dir}/scrambler_test.cpp
    ${package_tests_dir}/package_index_test.cpp
    ${package_tests_dir}/package_loader_test.cpp
    ${package_tests_dir}/regional_database_test.cpp
    ${package_tests_dir}/vendor_check_test.cpp
    ${package_tests_dir}/province_names_test.cpp
    ${package_tests_dir}/../base/gbk_text_test.cpp
  LIBS kivrel_package)
