# Display model: graph objects, synchronisation, time windows and display
# windows, over the engine's internal view (tqstream_stream_tests of
# stream.cmake).
tq_test(display_graph_test SOURCES display/tests/display_graph_test.cpp LIBS tqstream_stream_tests LABELS unit threads)
tq_test(display_window_test SOURCES display/tests/display_window_test.cpp LIBS tqstream_stream_tests LABELS unit)
tq_test(display_sync_test SOURCES display/tests/display_sync_test.cpp LIBS tqstream_stream_tests LABELS unit)

# Through the shared library, with the layout built in C over the public header.
tq_test(display_layout_test SOURCES display/tests/display_layout_test.cpp display/tests/display_layout_c.c LIBS tqstream_32 tqplatform
  LABELS integration)

# Rendering, decoded with libpng and checked with pngcheck; the display model XML.
pkg_check_modules(LIBPNG REQUIRED IMPORTED_TARGET libpng)
tq_test(display_render_test SOURCES display/tests/display_render_test.cpp LIBS tqstream_stream_tests PkgConfig::LIBPNG
  LABELS unit)
tq_test(display_xml_test SOURCES display/tests/display_xml_test.cpp LIBS tqstream_stream_tests LABELS unit)
tq_fuzz(stream_graphxml_fuzz SOURCES display/tests/graphxml_fuzz.cpp LIBS tqstream_stream_tests
  CORPUS ${CMAKE_CURRENT_SOURCE_DIR}/display/tests/fuzz-corpus/stream_graphxml_fuzz)

# Text export of a graph object's window, and widgets (dials decoded with libpng).
tq_test(display_export_test SOURCES display/tests/graphexport_test.cpp LIBS tqstream_stream_tests LABELS unit)
tq_test(display_widget_test SOURCES display/tests/widget_test.cpp LIBS tqstream_stream_tests PkgConfig::LIBPNG LABELS unit)
