# Tests of the segmented buffer. They run over a static copy of the buffer,
# message queue, thermocouple and status sources, so that they can watch the
# debug output through the platform layer's capture hook.
if(NOT TARGET tqstream_core_tests)
  add_library(tqstream_core_tests STATIC EXCLUDE_FROM_ALL
    ${CMAKE_CURRENT_SOURCE_DIR}/core/buffer.cpp ${CMAKE_CURRENT_SOURCE_DIR}/core/msgqueue.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/core/thermocouple.cpp ${CMAKE_CURRENT_SOURCE_DIR}/core/status.cpp)
  target_include_directories(tqstream_core_tests PUBLIC ${PROJECT_SOURCE_DIR}/include ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(tqstream_core_tests PUBLIC tqplatform)
endif()

tq_test(stream_buffer_test SOURCES core/tests/buffer_test.cpp core/tests/buffer_model_test.cpp
  LIBS tqstream_core_tests LABELS unit)
tq_test(stream_buffer_threads_test SOURCES core/tests/buffer_threads_test.cpp
  LIBS tqstream_core_tests LABELS unit threads)
