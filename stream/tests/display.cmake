# Display model: graph objects, synchronisation, time windows and display
# windows, over the engine's internal view (tqstream_stream_tests of
# stream.cmake).
tq_test(display_graph_test SOURCES tests/display_graph_test.cpp LIBS tqstream_stream_tests LABELS unit threads)
tq_test(display_window_test SOURCES tests/display_window_test.cpp LIBS tqstream_stream_tests LABELS unit)
tq_test(display_sync_test SOURCES tests/display_sync_test.cpp LIBS tqstream_stream_tests LABELS unit)

# Through the shared library, with the layout built in C over the public header.
tq_test(display_layout_test SOURCES tests/display_layout_test.cpp tests/display_layout_c.c LIBS tqstream_32 tqplatform
  LABELS integration)
