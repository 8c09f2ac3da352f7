# Tests of the status mapping, the error texts and the debug trace (over the
# static copy made in buffer.cmake: statusFromCode and debugTrace are not
# exported).
if(NOT TARGET tqstream_core_tests)
  add_library(tqstream_core_tests STATIC EXCLUDE_FROM_ALL
    ${CMAKE_CURRENT_SOURCE_DIR}/buffer.cpp ${CMAKE_CURRENT_SOURCE_DIR}/msgqueue.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/thermocouple.cpp ${CMAKE_CURRENT_SOURCE_DIR}/status.cpp)
  target_include_directories(tqstream_core_tests PUBLIC ${PROJECT_SOURCE_DIR}/include ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(tqstream_core_tests PUBLIC tqplatform)
endif()

tq_test(stream_status_test SOURCES tests/status_test.cpp LIBS tqstream_core_tests LABELS unit)
