# Archivers found through App Paths and run hidden, with a stand-in archiver built here.
add_executable(fake_archiver fake_archiver.cpp)
kivrel_warnings(fake_archiver)
target_link_libraries(fake_archiver PRIVATE shell32)

kivrel_test(win_staging_tests
  SOURCES staging_test.cpp
  LIBS kivrel_win_test_support kivrel_staging)
add_dependencies(win_staging_tests fake_archiver)
