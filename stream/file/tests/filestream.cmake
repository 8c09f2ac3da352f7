# File streams: opening, channels and converters, readers, text export.
tq_test(filereader_test SOURCES file/tests/filereader_test.cpp LIBS tqstream_stream_tests LABELS unit threads)

# The engineering-units library is found only on the loader's path: the
# same tests run with it and, for the calibration lookup, without it.
tq_test(filestream_test SOURCES file/tests/filestream_test.cpp LIBS tqstream_stream_tests LABELS unit
  ENV "LD_LIBRARY_PATH=${PROJECT_BINARY_DIR}/sim/eu" "TQ_TEST_EU=1")
add_dependencies(filestream_test eu)
add_test(NAME filestream_without_eu_test COMMAND filestream_test --gtest_filter=FileStreamUnits.*)
set_tests_properties(filestream_without_eu_test PROPERTIES LABELS unit TIMEOUT 60
  ENVIRONMENT "TQ_TEST_TMPDIR=${PROJECT_BINARY_DIR}/testtmp;TQ_TEST_EU=0")

tq_fuzz(filestream_open_fuzz SOURCES file/tests/filestream_fuzz.cpp LIBS tqstream_stream_tests
  CORPUS ${CMAKE_CURRENT_SOURCE_DIR}/file/tests/fuzz-corpus/filestream_open_fuzz)
