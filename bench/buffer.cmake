# Segmented buffer against memcpy of the same bytes, and thermocouple
# conversion per call.
tq_bench(bench_buffer_move SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/buffer_move.cpp LIBS tqstream_32 tqplatform)
tq_bench(bench_thermocouple SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/thermocouple_convert.cpp LIBS tqstream_32 tqplatform)
