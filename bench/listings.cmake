# XML listings of the resource manager against stepping their query with
# SQLite alone.
if(TARGET tqdaq_32 AND TARGET appinstrument)
  tq_bench(bench_listings SOURCES ${CMAKE_CURRENT_LIST_DIR}/manager_listings.cpp
    ${PROJECT_SOURCE_DIR}/manager/listing_queries.cpp LIBS tqdaq_32 PkgConfig::SQLITE3)
  target_include_directories(bench_listings PRIVATE ${PROJECT_SOURCE_DIR}/manager)
  target_compile_definitions(bench_listings PRIVATE TQ_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  add_dependencies(bench_listings appinstrument)
endif()
