# Tests of thermocouple conversion (over the static copy made in buffer.cmake).

tq_test(stream_thermocouple_test SOURCES core/tests/thermocouple_test.cpp LIBS tqstream_core_tests LABELS unit)
