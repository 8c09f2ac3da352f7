# Tests of the stream object, readers, events and capture.
#
# They, and the tests of the other rooms, link a static copy of the engine: besides the records' function fields
# and the exports, they call the functions drivers reach through the handle
# table (hidden in the shared library) and the engine's internal record view.
add_library(tqstream_stream_tests STATIC EXCLUDE_FROM_ALL ${TQSTREAM_SOURCES})
target_include_directories(tqstream_stream_tests PUBLIC ${PROJECT_SOURCE_DIR}/include ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(tqstream_stream_tests PUBLIC tqplatform tqpolyfit PkgConfig::GDLIB)

tq_test(stream_object_test SOURCES core/tests/stream_object_test.cpp LIBS tqstream_stream_tests LABELS unit threads)
tq_test(stream_events_test SOURCES core/tests/stream_events_test.cpp LIBS tqstream_stream_tests LABELS unit threads)
tq_test(stream_capture_test SOURCES core/tests/stream_capture_test.cpp LIBS tqstream_stream_tests LABELS integration)

# Through the shared library, as a driver binds it.
tq_test(stream_driver_road_test SOURCES core/tests/stream_driver_road_test.cpp LIBS tqstream_32 tqplatform
  LABELS integration threads)
