# The stream handle table, through the shared library as drivers load it.
tq_test(stream_handles_test SOURCES core/tests/handles_test.cpp LIBS tqstream_32 tqplatform LABELS unit)
