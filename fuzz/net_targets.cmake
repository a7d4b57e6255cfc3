# Text from download servers: the version file with the address on it, its announcement and
# signature (and keys, in the same PEM and DER), and the response headers the downloader reads
# (with the resume record that keeps one of them).
kivrel_fuzz_target(fuzz_version_file
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/version_file_fuzz.cpp
  LIBS kivrel_net)
kivrel_fuzz_target(fuzz_http_headers
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/http_headers_fuzz.cpp
  LIBS kivrel_net)
# A proxy address, from the command line or the proxy variables other programs set.
kivrel_fuzz_target(fuzz_proxy_address
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/proxy_address_fuzz.cpp
  LIBS kivrel_net)
