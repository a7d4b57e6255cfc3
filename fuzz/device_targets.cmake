# The device link's parsers: reply frames, settings blocks, layout blocks, a whole unit reading
# over the simulator (identity, layout and settings handling), and the sim's unit.json.
kivrel_fuzz_target(fuzz_reply_frame
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/reply_frame_fuzz.cpp
  LIBS kivrel_device)
kivrel_fuzz_target(fuzz_settings_block
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/settings_block_fuzz.cpp
  LIBS kivrel_settings_block)
kivrel_fuzz_target(fuzz_layout_block
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/layout_block_fuzz.cpp
  LIBS kivrel_device)
kivrel_fuzz_target(fuzz_unit_reading
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/unit_reading_fuzz.cpp
  LIBS kivrel_device)
kivrel_fuzz_target(fuzz_sim_unit_file
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/sim_unit_file_fuzz.cpp
  LIBS kivrel_device)
kivrel_fuzz_target(fuzz_vendor_text
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/vendor_text_fuzz.cpp
  LIBS kivrel_device)
