# Capture throughput of the stream engine against plain write() of the same bytes.
tq_bench(stream_capture_bench SOURCES stream_capture.cpp LIBS tqstream_stream_tests)
