# The downloader against `curl -o` on the same local file (bench/net_download.sh runs it).
add_executable(net_download_driver net_download_driver.cpp)
kivrel_warnings(net_download_driver)
target_include_directories(net_download_driver PRIVATE ${PROJECT_SOURCE_DIR})
target_link_libraries(net_download_driver PRIVATE kivrel_net kivrel_test_http_server)
