# bench/usb_link.sh: the tool's transport against a bare hidraw loop over one USB HID gadget
# in the throw-away VM; a C echo at the gadget's end.
add_executable(usb_echo_gadget ${CMAKE_CURRENT_LIST_DIR}/usb_echo_gadget.c)
add_executable(hidraw_loop ${CMAKE_CURRENT_LIST_DIR}/hidraw_loop.c)
add_executable(usb_link_driver ${CMAKE_CURRENT_LIST_DIR}/usb_link_driver.cpp)
kivrel_warnings(usb_link_driver)
target_link_libraries(usb_link_driver PRIVATE kivrel_device)
