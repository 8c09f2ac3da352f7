# The front panel host's start-up against the Java launcher running the same
# class (whole programs).
if(TARGET panelmate)
  tq_bench(bench_panelmate_startup SOURCES ${CMAKE_CURRENT_LIST_DIR}/panelmate_startup.cpp)
  add_dependencies(bench_panelmate_startup panelmate panelmate_jar)
  target_compile_definitions(bench_panelmate_startup PRIVATE TQ_PANELMATE="$<TARGET_FILE:panelmate>"
    TQ_PANELMATE_JAR="${TQ_PANELMATE_JAR}" TQ_JAVA_HOME="${TQ_JAVA_HOME}")
endif()

# GraphObject.getGraph through JNI against the C rendering alone, in one
# process with a headless VM.
if(TARGET panelmatejni)
  tq_bench(bench_panelmate_graph_natives SOURCES ${CMAKE_CURRENT_LIST_DIR}/panelmate_graph_natives.cpp
    LIBS panelmatejni tqstream_32 ${CMAKE_DL_LIBS})
  # jni.h as the natives see it.
  target_include_directories(bench_panelmate_graph_natives PRIVATE ${PROJECT_SOURCE_DIR}/stream
    $<TARGET_PROPERTY:tqpanelmatetable,INTERFACE_INCLUDE_DIRECTORIES>)
  add_dependencies(bench_panelmate_graph_natives panelmate_jar)
  target_compile_definitions(bench_panelmate_graph_natives PRIVATE TQ_PANELMATE_JAR="${TQ_PANELMATE_JAR}"
    TQ_JAVA_HOME="${TQ_JAVA_HOME}")
endif()
