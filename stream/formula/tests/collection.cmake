# Stream collections, over in-memory streams.
tq_test(stream_collection_test SOURCES formula/tests/collection_test.cpp LIBS tqstream_stream_tests LABELS unit threads)
