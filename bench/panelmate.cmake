# The front panel host's start-up against the Java launcher running the same
# class (whole programs).
if(TARGET panelmate)
  tq_bench(bench_panelmate_startup SOURCES ${CMAKE_CURRENT_LIST_DIR}/panelmate_startup.cpp)
  add_dependencies(bench_panelmate_startup panelmate panelmate_jar)
  target_compile_definitions(bench_panelmate_startup PRIVATE TQ_PANELMATE="$<TARGET_FILE:panelmate>"
    TQ_PANELMATE_JAR="${TQ_PANELMATE_JAR}" TQ_JAVA_HOME="${TQ_JAVA_HOME}")
endif()

# The resource manager's natives in a VM of the benchmark's own: a listing
# through Java against the C call, and event delivery with the bridge's
# attach-once against attaching per event. The bridge's sources are built in,
# since the library exports nothing but JNI names.
if(TARGET panelmatejni AND TARGET appinstrument)
  tq_bench(bench_panelmate_natives SOURCES ${CMAKE_CURRENT_LIST_DIR}/panelmate_natives.cpp
    ${PROJECT_SOURCE_DIR}/frontpanel/jni/bridge.cpp ${PROJECT_SOURCE_DIR}/frontpanel/jni/jnilayer.cpp
    LIBS tqdaq_32 PkgConfig::SQLITE3 ${JAVA_JVM_LIBRARY})
  target_include_directories(bench_panelmate_natives PRIVATE ${PROJECT_SOURCE_DIR}/frontpanel/jni
    ${JAVA_INCLUDE_PATH} ${JAVA_INCLUDE_PATH2})
  get_filename_component(TQ_JVM_DIR ${JAVA_JVM_LIBRARY} DIRECTORY)
  set_target_properties(bench_panelmate_natives PROPERTIES BUILD_RPATH ${TQ_JVM_DIR})
  add_dependencies(bench_panelmate_natives panelmatejni panelmate_jar appinstrument)
  target_compile_definitions(bench_panelmate_natives PRIVATE TQ_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    TQ_PANELMATE_JAR="${TQ_PANELMATE_JAR}" TQ_JNI="$<TARGET_FILE:panelmatejni>")

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

# TqStream.getRate through JNI against a bare native returning a constant.
if(TARGET panelmatejni)
  # add_jar's class path separator is set per directory by UseJava.
  include(${PROJECT_SOURCE_DIR}/cmake/java.cmake)
  set(CMAKE_JAVA_COMPILE_FLAGS --release 17)
  set(CMAKE_JAVA_INCLUDE_PATH ${TQ_PANELMATE_JAR})
  add_jar(bench_stream_natives_jar SOURCES ${CMAKE_CURRENT_LIST_DIR}/StreamNativesBench.java
    OUTPUT_NAME stream-natives-bench OUTPUT_DIR ${PROJECT_BINARY_DIR}/bench-data)
  add_dependencies(bench_stream_natives_jar panelmate_jar)
  add_library(bench_stream_natives_lib SHARED ${CMAKE_CURRENT_LIST_DIR}/panelmate_stream_natives.cpp)
  target_compile_definitions(bench_stream_natives_lib PRIVATE TQ_BENCH_NATIVES)
  target_include_directories(bench_stream_natives_lib PRIVATE ${JAVA_INCLUDE_PATH} ${JAVA_INCLUDE_PATH2})
  target_link_libraries(bench_stream_natives_lib PRIVATE tqstream_32)
  tq_bench(bench_panelmate_stream_natives SOURCES ${CMAKE_CURRENT_LIST_DIR}/panelmate_stream_natives.cpp)
  add_dependencies(bench_panelmate_stream_natives bench_stream_natives_jar bench_stream_natives_lib panelmatejni)
  target_compile_definitions(bench_panelmate_stream_natives PRIVATE TQ_JAVA="${Java_JAVA_EXECUTABLE}"
    TQ_PANELMATE_JAR="${TQ_PANELMATE_JAR}" TQ_BENCH_JAR="${PROJECT_BINARY_DIR}/bench-data/stream-natives-bench.jar"
    TQ_JNI="$<TARGET_FILE:panelmatejni>" TQ_BENCH_NATIVES_LIB="$<TARGET_FILE:bench_stream_natives_lib>")
endif()
