# Graph rendering: one 800x600 image of 8 channels over 10^6 scans, per mode.
tq_bench(graph_render_bench SOURCES graph_render.cpp LIBS tqstream_stream_tests)
