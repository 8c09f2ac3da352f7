# Tests of the status mapping, the error texts and the debug trace (over the
# static copy made in buffer.cmake: statusFromCode and debugTrace are not
# exported).

tq_test(stream_status_test SOURCES core/tests/status_test.cpp LIBS tqstream_core_tests LABELS unit)
