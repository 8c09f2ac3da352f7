# The model 747 carrier at 1000 scans/s with four model 740 sites and two
# readers: CPU per second of acquisition.
if(TARGET tqp747_32 AND TARGET tqp740_32 AND TARGET visa32)
  tq_bench(bench_tq747 SOURCES ${CMAKE_CURRENT_LIST_DIR}/tq747_acquisition.cpp
    LIBS tqp747_32 tqp740_32 tqstream_32 tqplatform simvisa_control)
  target_compile_definitions(bench_tq747 PRIVATE TQ_SIM_VISA_LIBRARY="$<TARGET_FILE:visa32>")
  add_dependencies(bench_tq747 visa32 tqp740_32)
endif()
