# The flat exports, through the shared library as client programs link it.
tq_test(stream_exports_test
  SOURCES tests/exports_test.cpp tests/exports_scans_test.cpp tests/exports_file_test.cpp
  LIBS tqstream_32 tqplatform LABELS unit)
