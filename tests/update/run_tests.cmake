kivrel_test(update_run_tests
  SOURCES update_run_test.cpp found_file_names_test.cpp signed_update_test.cpp
  LIBS kivrel_update_run kivrel_device_test_support kivrel_test_http_server
       kivrel_test_archives)
