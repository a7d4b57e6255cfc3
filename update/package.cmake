# The update-file format: loading, scrambling, writing, regional databases, vendor checks.
kivrel_library(kivrel_update
  build_date.cpp
  update_package.cpp)
target_link_libraries(kivrel_update PUBLIC kivrel_base)
