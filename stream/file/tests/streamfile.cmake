# The stream file format.
# Golden stream files come from an independent script that builds them from
# the file layout with Python's struct; the same script reads our files back.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
tq_test(streamfile_test SOURCES file/tests/streamfile_test.cpp LIBS tqstream_stream_tests LABELS unit)
target_compile_definitions(streamfile_test PRIVATE
  TQ_PYTHON="${Python3_EXECUTABLE}"
  TQ_GOLDEN_SCRIPT="${CMAKE_CURRENT_SOURCE_DIR}/file/tests/streamfile_golden.py")

tq_fuzz(streamfile_parse_fuzz SOURCES file/tests/streamfile_fuzz.cpp LIBS tqstream_stream_tests
  CORPUS ${CMAKE_CURRENT_SOURCE_DIR}/file/tests/fuzz-corpus/streamfile_parse_fuzz)
