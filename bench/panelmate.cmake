# The front panel host's start-up against the Java launcher running the same
# class (whole programs).
if(TARGET panelmate)
  tq_bench(bench_panelmate_startup SOURCES ${CMAKE_CURRENT_LIST_DIR}/panelmate_startup.cpp)
  add_dependencies(bench_panelmate_startup panelmate panelmate_jar)
  target_compile_definitions(bench_panelmate_startup PRIVATE TQ_PANELMATE="$<TARGET_FILE:panelmate>"
    TQ_PANELMATE_JAR="${TQ_PANELMATE_JAR}" TQ_JAVA_HOME="${TQ_JAVA_HOME}")
endif()

# TqStream.getRate through JNI against a bare native returning a constant.
if(TARGET panelmatejni)
  set(CMAKE_JAVA_COMPILE_FLAGS --release 17)
  set(CMAKE_JAVA_INCLUDE_PATH ${TQ_PANELMATE_JAR})
  add_jar(bench_stream_natives_jar SOURCES ${CMAKE_CURRENT_LIST_DIR}/StreamNativesBench.java
    OUTPUT_NAME stream-natives-bench OUTPUT_DIR ${PROJECT_BINARY_DIR}/bench-data)
  add_dependencies(bench_stream_natives_jar panelmate_jar)
  add_library(bench_stream_natives_lib SHARED ${CMAKE_CURRENT_LIST_DIR}/panelmate_stream_natives.cpp)
  target_compile_definitions(bench_stream_natives_lib PRIVATE TQ_BENCH_NATIVES)
  target_include_directories(bench_stream_natives_lib PRIVATE ${JNI_INCLUDE_DIRS})
  target_link_libraries(bench_stream_natives_lib PRIVATE tqstream_32)
  tq_bench(bench_panelmate_stream_natives SOURCES ${CMAKE_CURRENT_LIST_DIR}/panelmate_stream_natives.cpp)
  add_dependencies(bench_panelmate_stream_natives bench_stream_natives_jar bench_stream_natives_lib panelmatejni)
  target_compile_definitions(bench_panelmate_stream_natives PRIVATE TQ_JAVA="${Java_JAVA_EXECUTABLE}"
    TQ_PANELMATE_JAR="${TQ_PANELMATE_JAR}" TQ_BENCH_JAR="${PROJECT_BINARY_DIR}/bench-data/stream-natives-bench.jar"
    TQ_JNI="$<TARGET_FILE:panelmatejni>" TQ_BENCH_NATIVES_LIB="$<TARGET_FILE:bench_stream_natives_lib>")
endif()
