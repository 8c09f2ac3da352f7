# Formulas through the formula output stream against muParser's bulk mode and
# compiled C loops over the same scans.
find_package(muparser CONFIG QUIET)
if(TARGET muparser::muparser)
  tq_bench(formula_eval_bench SOURCES formula_eval.cpp LIBS tqstream_stream_tests muparser::muparser)
  target_include_directories(formula_eval_bench PRIVATE ${PROJECT_SOURCE_DIR}/stream)
else()
  message(STATUS "muParser not found: formula_eval_bench not built")
endif()
tq_bench(formula_stream_bench SOURCES formula_stream.cpp LIBS tqstream_stream_tests)
target_include_directories(formula_stream_bench PRIVATE ${PROJECT_SOURCE_DIR}/stream)
