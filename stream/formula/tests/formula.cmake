# Tests of the formula language: the statement parser and expression nodes
# (over the static copy of the engine made in stream.cmake).
tq_test(stream_formulaparse_test SOURCES formula/tests/formulaparse_test.cpp LIBS tqstream_stream_tests LABELS unit threads)
tq_test(stream_exprnode_test SOURCES formula/tests/exprnode_test.cpp LIBS tqstream_stream_tests LABELS unit)

tq_fuzz(formula_parse_fuzz SOURCES formula/tests/formulaparse_fuzz.cpp LIBS tqstream_stream_tests
  CORPUS ${CMAKE_CURRENT_SOURCE_DIR}/formula/tests/fuzz-corpus/formula_parse_fuzz)
