# The flat exports, through the shared library as client programs link it.
tq_test(stream_exports_test
  SOURCES exports/tests/exports_test.cpp exports/tests/exports_scans_test.cpp exports/tests/exports_file_test.cpp
  LIBS tqstream_32 tqplatform LABELS unit)
