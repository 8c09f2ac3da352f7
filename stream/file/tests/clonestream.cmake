# Cloned streams, over the engine's internal view (tqstream_stream_tests of
# stream.cmake).
tq_test(stream_clone_test SOURCES file/tests/clonestream_test.cpp LIBS tqstream_stream_tests LABELS unit)
