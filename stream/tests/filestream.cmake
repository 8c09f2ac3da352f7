# File streams: opening, channels and converters, readers, text export.
tq_test(filereader_test SOURCES tests/filereader_test.cpp LIBS tqstream_stream_tests LABELS unit threads)
