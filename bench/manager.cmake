# Manager sessions opened and closed, and reading the selected database
# against the same query run on SQLite directly.
if(TARGET tqdaq_32 AND TARGET appinstrument)
  tq_bench(bench_manager SOURCES ${CMAKE_CURRENT_LIST_DIR}/manager_sessions.cpp LIBS tqdaq_32 PkgConfig::SQLITE3)
  target_compile_definitions(bench_manager PRIVATE TQ_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  add_dependencies(bench_manager appinstrument)
endif()

# tqdaq_assignAllPresources over 8 and 64 devices named by the test plug-in
# and run by the test driver.
if(TARGET tqdaq_32 AND TARGET tqmtestdriver AND TARGET tqmtestplugin)
  tq_bench(bench_manager_assign SOURCES ${CMAKE_CURRENT_LIST_DIR}/manager_assign.cpp LIBS tqdaq_32 PkgConfig::SQLITE3)
  target_compile_definitions(bench_manager_assign PRIVATE TQ_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  add_dependencies(bench_manager_assign appinstrument tqmtestdriver tqmtestplugin)
endif()

# Saving and loading a large stored display layout against the 50 ms limit.
if(TARGET tqdaq_32 AND TARGET appinstrument)
  tq_bench(bench_manager_layouts SOURCES ${CMAKE_CURRENT_LIST_DIR}/manager_layouts.cpp
    LIBS tqdaq_32 tqstream_32 PkgConfig::SQLITE3)
  target_compile_definitions(bench_manager_layouts PRIVATE TQ_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  add_dependencies(bench_manager_layouts appinstrument)
endif()

# One formula build of 8 members with 16 enabled channels and 20 stored
# formulas, over the test driver with named channels.
if(TARGET tqdaq_objects AND TARGET tqmfakechan)
  tq_bench(bench_manager_formulas SOURCES ${CMAKE_CURRENT_LIST_DIR}/manager_formulas.cpp
    LIBS tqdaq_objects tqstream_32 PkgConfig::SQLITE3)
  target_compile_definitions(bench_manager_formulas PRIVATE TQ_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  add_dependencies(bench_manager_formulas tqmfakechan appinstrument)
endif()

# Discovery of 16 instruments and a serial crate with 4 units in 16 slots on
# the simulated VISA library, against the time-outs it must wait for.
if(TARGET tqdaq_32 AND TARGET appinstrument AND TARGET visa32)
  tq_bench(bench_manager_discovery SOURCES ${CMAKE_CURRENT_LIST_DIR}/manager_discovery.cpp
    LIBS tqdaq_32 tqplatform simvisa_control PkgConfig::SQLITE3)
  target_compile_definitions(bench_manager_discovery PRIVATE TQ_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    TQ_SIM_VISA_LIBRARY="$<TARGET_FILE:visa32>")
  add_dependencies(bench_manager_discovery appinstrument visa32)
endif()
