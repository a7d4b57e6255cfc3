# The update-file format: loading, scrambling, writing, regional databases, vendor checks.
kivrel_library(kivrel_update
  build_date.cpp
  update_package.cpp
  scrambler.cpp
  package_index.cpp
  package_source.cpp
  package_loader.cpp
  package_writer.cpp
  sample_package.cpp
  province_names.cpp
  regional_database.cpp
  vendor_config.cpp
  vendor_check.cpp)
target_link_libraries(kivrel_update PUBLIC kivrel_base)
