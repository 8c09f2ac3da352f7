# The formula engine and its output stream, over in-memory streams.
tq_test(stream_formulaengine_test SOURCES formula/tests/formulaengine_test.cpp LIBS tqstream_stream_tests LABELS unit)
tq_test(stream_formulastream_test SOURCES formula/tests/formulastream_test.cpp LIBS tqstream_stream_tests LABELS unit threads)
tq_test(stream_formulablock_test SOURCES formula/tests/formulablock_test.cpp LIBS tqstream_stream_tests LABELS unit)
