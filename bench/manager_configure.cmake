# tqdaq_configureHW of 8 simulated model 718s with 100 stored values each,
# against the same setPropertyByName calls made directly.
if(TARGET tqdaq_32 AND TARGET appinstrument AND TARGET tqp718_32 AND TARGET visa32 AND TARGET tq718install)
  tq_bench(bench_manager_configure SOURCES ${CMAKE_CURRENT_LIST_DIR}/manager_configure.cpp
    LIBS tqdaq_32 tqplatform PkgConfig::SQLITE3)
  target_include_directories(bench_manager_configure PRIVATE ${PROJECT_SOURCE_DIR}/include)
  target_compile_definitions(bench_manager_configure PRIVATE TQ_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    TQ_BIN_DIR="${PROJECT_BINARY_DIR}/bin" TQ_SIM_VISA_LIBRARY="$<TARGET_FILE:visa32>")
  add_dependencies(bench_manager_configure appinstrument tqp718_32 visa32 tq718install)
endif()
