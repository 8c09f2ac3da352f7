# Tests of the stream message queue (over the static copy made in buffer.cmake).

tq_test(stream_msgqueue_test SOURCES core/tests/msgqueue_test.cpp LIBS tqstream_core_tests LABELS unit threads)
