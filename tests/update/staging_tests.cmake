# Archives built in the tests: stored RAR written from the format, zip and 7z by libarchive.
find_package(LibArchive REQUIRED)
add_library(kivrel_test_archives STATIC test_archives.cpp)
target_include_directories(kivrel_test_archives PUBLIC ${PROJECT_SOURCE_DIR})
kivrel_warnings(kivrel_test_archives)
target_link_libraries(kivrel_test_archives PUBLIC LibArchive::LibArchive)

kivrel_test(staging_tests
  SOURCES staging_rules_test.cpp staging_search_test.cpp staging_unpack_test.cpp
    archive_listing_test.cpp
  LIBS kivrel_staging kivrel_test_archives)
