# Tests of the stream object, readers, events, capture and stream files.
#
# They link a static copy of the engine: besides the records' function fields
# and the exports, they call the functions drivers reach through the handle
# table (hidden in the shared library) and the engine's internal record view.
add_library(tqstream_stream_tests STATIC EXCLUDE_FROM_ALL ${TQSTREAM_SOURCES})
target_include_directories(tqstream_stream_tests PUBLIC ${PROJECT_SOURCE_DIR}/include ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(tqstream_stream_tests PUBLIC tqplatform tqpolyfit PkgConfig::GDLIB)

tq_test(stream_object_test SOURCES tests/stream_object_test.cpp LIBS tqstream_stream_tests LABELS unit threads)
tq_test(stream_events_test SOURCES tests/stream_events_test.cpp LIBS tqstream_stream_tests LABELS unit threads)
tq_test(stream_capture_test SOURCES tests/stream_capture_test.cpp LIBS tqstream_stream_tests LABELS integration)

# Golden stream files come from an independent script that builds them from
# the file layout with Python's struct; the same script reads our files back.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
tq_test(streamfile_test SOURCES tests/streamfile_test.cpp LIBS tqstream_stream_tests LABELS unit)
target_compile_definitions(streamfile_test PRIVATE
  TQ_PYTHON="${Python3_EXECUTABLE}"
  TQ_GOLDEN_SCRIPT="${CMAKE_CURRENT_SOURCE_DIR}/tests/streamfile_golden.py")

tq_fuzz(streamfile_parse_fuzz SOURCES tests/streamfile_fuzz.cpp LIBS tqstream_stream_tests
  CORPUS ${CMAKE_CURRENT_SOURCE_DIR}/tests/fuzz-corpus/streamfile_parse_fuzz)

# Through the shared library, as a driver binds it.
tq_test(stream_driver_road_test SOURCES tests/stream_driver_road_test.cpp LIBS tqstream_32 tqplatform
  LABELS integration threads)
