# The devices of test programs and fuzz targets: memory images, and the
# definition of the core's openDevice that a test can replace, which they
# link in place of the programs' own (src/core/device/open_device.h).
# Linked as objects, so the definition is there whatever the link order.
if(NOT TARGET dudorazu-test-devices)
  add_library(dudorazu-test-devices OBJECT ${CMAKE_CURRENT_LIST_DIR}/device_opener.cpp
              ${CMAKE_CURRENT_LIST_DIR}/memory_device.cpp)
  target_include_directories(dudorazu-test-devices PUBLIC ${CMAKE_CURRENT_LIST_DIR}/..)
  target_link_libraries(dudorazu-test-devices PUBLIC dudorazu-disks)
endif()
