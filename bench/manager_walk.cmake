# The operation walk of "stop" over 16 open members against the same
# statements stepped on SQLite directly plus the direct PnP calls.
if(TARGET tqdaq_32 AND TARGET appinstrument AND TARGET tqmtestdriver)
  tq_bench(bench_manager_walk SOURCES ${CMAKE_CURRENT_LIST_DIR}/manager_walk.cpp
    LIBS tqdaq_32 tqmtestdriver PkgConfig::SQLITE3)
  target_include_directories(bench_manager_walk PRIVATE ${PROJECT_SOURCE_DIR}/include)
  target_compile_definitions(bench_manager_walk PRIVATE TQ_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  add_dependencies(bench_manager_walk appinstrument)
endif()
