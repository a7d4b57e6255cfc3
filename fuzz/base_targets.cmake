# Names from update files decoded from GBK for terminals and JSON.
kivrel_fuzz_target(fuzz_gbk_text
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/gbk_text_fuzz.cpp
  LIBS kivrel_base)
