# Run functions that channel owners register for their value functions,
# through the shared library as drivers reach them.
tq_test(stream_channelruns_test SOURCES file/tests/channelruns_test.cpp LIBS tqstream_32 LABELS unit threads)
