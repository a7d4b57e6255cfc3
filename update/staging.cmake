# Local staging: the staging folder, archive names, finding the update file among the unpacked
# files and removing them, and the archivers seam. The core is portable; the edges list folders
# and delete, and unpack: installed archivers found through App Paths on Windows, libarchive in
# this process on Linux and macOS.
kivrel_library(kivrel_staging staging_paths.cpp archive_names.cpp archive_listing.cpp
               archiver_commands.cpp
               app_paths.cpp update_file_search.cpp folder_tree.cpp)
if(WIN32)
  target_sources(kivrel_staging PRIVATE archivers_win32.cpp staging_files_win32.cpp)
  target_link_libraries(kivrel_staging PUBLIC advapi32)
else()
  find_package(LibArchive REQUIRED)
  target_sources(kivrel_staging PRIVATE archivers_posix.cpp archive_unpack_posix.cpp
                                        staging_files_posix.cpp)
  target_link_libraries(kivrel_staging PRIVATE LibArchive::LibArchive)
endif()
target_link_libraries(kivrel_staging PUBLIC kivrel_base)
