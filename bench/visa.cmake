# Simulated VISA register access and interrupt delivery.
if(TARGET visa32 AND TARGET tqvisabinding)
  tq_bench(bench_visa SOURCES ${CMAKE_CURRENT_LIST_DIR}/visa_registers.cpp LIBS tqvisabinding simvisa_control)
  target_compile_definitions(bench_visa PRIVATE TQ_SIM_VISA_LIBRARY="$<TARGET_FILE:visa32>")
  add_dependencies(bench_visa visa32)
endif()
