kivrel_test(update_tests
  SOURCES
    build_date_test.cpp
    scrambler_test.cpp
    package_index_test.cpp
    package_loader_test.cpp
    regional_database_test.cpp
    province_names_test.cpp
    vendor_check_test.cpp
    package_commands_test.cpp
  LIBS kivrel_update kivrel_cli)
