# The update run: the procedure of the update worker over the device, the downloader, the
# archivers and the owner's seams.
if(NOT KIVREL_FUZZ)
  kivrel_library(kivrel_update_run update_run.cpp)
  target_link_libraries(kivrel_update_run PUBLIC kivrel_package kivrel_device kivrel_net
                                                 kivrel_staging kivrel_base)
endif()
