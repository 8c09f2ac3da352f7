# Install time of each catalogue into a fresh device database, against the
# same rows inserted in one bare transaction.
if(TARGET tqinstaller)
  tq_bench(bench_installers SOURCES ${CMAKE_CURRENT_LIST_DIR}/installers_catalogue.cpp LIBS tqinstaller)
  target_compile_definitions(bench_installers PRIVATE TQ_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    TQ_BIN_DIR="${PROJECT_BINARY_DIR}/bin")
  add_dependencies(bench_installers tq714install tq723install tq718install tq747install tq775install ux176install
    tq740install tq726install panelmateproinstall panelmateinstall)
endif()
