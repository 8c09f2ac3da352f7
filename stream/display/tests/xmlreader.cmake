# The engine's XML reader. expat serves the tests only, as an outside oracle
# on well-formed documents.
find_package(EXPAT REQUIRED)
tq_test(stream_xmlreader_test SOURCES display/tests/xmlreader_test.cpp LIBS tqstream_stream_tests EXPAT::EXPAT LABELS unit)

tq_fuzz(stream_xmlreader_fuzz SOURCES display/tests/xmlreader_fuzz.cpp LIBS tqstream_stream_tests
  CORPUS ${CMAKE_CURRENT_SOURCE_DIR}/display/tests/fuzz-corpus/stream_xmlreader_fuzz)
