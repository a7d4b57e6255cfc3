# Local staging: the staging folder, archive names, archivers and their command lines, the
# search for the update file and the clean-up. The core is portable; the edges list folders,
# delete, and find and run archivers (App Paths on Windows, PATH elsewhere).
kivrel_library(kivrel_staging staging.cpp)
if(WIN32)
  target_sources(kivrel_staging PRIVATE archivers_win32.cpp staging_files_win32.cpp)
  target_link_libraries(kivrel_staging PUBLIC advapi32)
else()
  target_sources(kivrel_staging PRIVATE archivers_posix.cpp staging_files_posix.cpp)
endif()
target_link_libraries(kivrel_staging PUBLIC kivrel_base)
