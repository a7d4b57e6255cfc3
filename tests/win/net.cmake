# The downloader's contract against WinInet (the same suite as natively against libcurl, the
# proxy and HTTPS servers it starts included: Wine runs them from the machine), signed version
# files checked by CNG up to a whole signed update from nginx, and the Windows file and
# temp-folder edges.
kivrel_test(win_net_tests
  SOURCES
    ${PROJECT_SOURCE_DIR}/tests/net/http_download_contract_test.cpp
    ${PROJECT_SOURCE_DIR}/tests/net/http_download_network_test.cpp
    ${PROJECT_SOURCE_DIR}/tests/net/trusted_authority_win32.cpp
    ${PROJECT_SOURCE_DIR}/tests/net/version_check_test.cpp
    ${PROJECT_SOURCE_DIR}/tests/net/partial_download_test.cpp
    ${PROJECT_SOURCE_DIR}/tests/net/signed_version_test.cpp
    ${PROJECT_SOURCE_DIR}/tests/net/download_test_support.cpp
    ${PROJECT_SOURCE_DIR}/tests/procedures/signed_update_test.cpp
    ${PROJECT_SOURCE_DIR}/tests/device/device_test_support.cpp
    net_temp_folder_test.cpp
  LIBS kivrel_net kivrel_procedures kivrel_test_http_server crypt32)
