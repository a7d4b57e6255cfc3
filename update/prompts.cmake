# Message boxes behind the prompts seam, for the windows of Kivrel.exe.
if(WIN32 AND NOT KIVREL_FUZZ)
  kivrel_library(kivrel_prompts_win32 prompts_win32.cpp)
  target_link_libraries(kivrel_prompts_win32 PUBLIC kivrel_base user32)
endif()
