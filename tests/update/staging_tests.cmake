kivrel_test(staging_tests
  SOURCES staging_rules_test.cpp staging_search_test.cpp staging_archivers_test.cpp
  LIBS kivrel_staging)
