# The front panel host's start-up against the Java launcher running the same
# class (whole programs).
if(TARGET panelmate)
  tq_bench(bench_panelmate_startup SOURCES ${CMAKE_CURRENT_LIST_DIR}/panelmate_startup.cpp)
  add_dependencies(bench_panelmate_startup panelmate panelmate_jar)
  target_compile_definitions(bench_panelmate_startup PRIVATE TQ_PANELMATE="$<TARGET_FILE:panelmate>"
    TQ_PANELMATE_JAR="${TQ_PANELMATE_JAR}" TQ_JAVA_HOME="${TQ_JAVA_HOME}")
endif()
