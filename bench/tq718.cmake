# The model 718 acquisition on the simulated board: CPU per second of
# acquisition with readers converting every sample, and the cost of one
# interrupt.
if(TARGET tqp718_32 AND TARGET visa32)
  tq_bench(bench_tq718 SOURCES ${CMAKE_CURRENT_LIST_DIR}/tq718_acquisition.cpp
    LIBS tqp718_32 tqstream_32 tqplatform simvisa_control)
  target_compile_definitions(bench_tq718 PRIVATE TQ_SIM_VISA_LIBRARY="$<TARGET_FILE:visa32>")
  add_dependencies(bench_tq718 visa32)
endif()
