# The model 775 at 1000 scans/s (1 ms window) with eight channels and two
# readers: CPU per second of acquisition.
if(TARGET tqp775_32 AND TARGET visa32)
  tq_bench(bench_tq775 SOURCES ${CMAKE_CURRENT_LIST_DIR}/tq775_acquisition.cpp
    LIBS tqp775_32 tqstream_32 tqplatform simvisa_control)
  target_compile_definitions(bench_tq775 PRIVATE TQ_SIM_VISA_LIBRARY="$<TARGET_FILE:visa32>")
  add_dependencies(bench_tq775 visa32)
endif()
