# The model 726 output thread on the simulated board: CPU per second of
# output at its top rate with the refill every 50 ms, and whether every
# period was written.
if(TARGET tqp726_32 AND TARGET visa32)
  tq_bench(bench_tq726 SOURCES ${CMAKE_CURRENT_LIST_DIR}/tq726_output.cpp
    LIBS tqp726_32 tqstream_32 tqplatform simvisa_control)
  target_compile_definitions(bench_tq726 PRIVATE TQ_SIM_VISA_LIBRARY="$<TARGET_FILE:visa32>")
  add_dependencies(bench_tq726 visa32)
endif()
