# Helpers shared by every directory of the build.

# tq_c_interface(<library>)
# A shared library whose interface is C: its version script keeps every C++
# name local, and the exports test (c_exports_test, added once the whole
# build is declared) checks the built library for any that got out. Every
# library the build delivers is declared with it (tq_shared_library does so
# for its own), the simulated platform libraries too.
set(TQ_C_EXPORTS_MAP ${CMAKE_CURRENT_LIST_DIR}/c_exports.map)
function(tq_c_interface name)
  target_link_options(${name} PRIVATE -Wl,--version-script=${TQ_C_EXPORTS_MAP})
  set_property(TARGET ${name} APPEND PROPERTY LINK_DEPENDS ${TQ_C_EXPORTS_MAP})
  set_property(GLOBAL APPEND PROPERTY TQ_C_INTERFACE_LIBRARIES ${name})
endfunction()

# The shared library targets declared in <dir> and below, except those of
# test directories and benchmarks, which are the build's own fixtures.
function(tq_shared_libraries_below dir out)
  set(found "")
  get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  foreach(t ${targets})
    get_target_property(type ${t} TYPE)
    if(type STREQUAL "SHARED_LIBRARY" OR type STREQUAL "MODULE_LIBRARY")
      list(APPEND found ${t})
    endif()
  endforeach()
  get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(sub ${subdirs})
    if(NOT sub MATCHES "/tests$" AND NOT sub STREQUAL "${PROJECT_SOURCE_DIR}/bench")
      tq_shared_libraries_below(${sub} below)
      list(APPEND found ${below})
    endif()
  endforeach()
  set(${out} ${found} PARENT_SCOPE)
endfunction()

# c_exports_test: nm over every library declared with tq_c_interface fails
# on any C++ name it exports; a shared library outside the tests that was
# not declared fails it too, so that a new library cannot go unchecked.
function(tq_c_exports_test)
  get_property(declared GLOBAL PROPERTY TQ_C_INTERFACE_LIBRARIES)
  tq_shared_libraries_below(${PROJECT_SOURCE_DIR} all)
  set(args "")
  foreach(lib ${all})
    if(NOT lib IN_LIST declared)
      list(APPEND args -u ${lib})
    endif()
  endforeach()
  foreach(lib ${declared})
    list(APPEND args $<TARGET_FILE:${lib}>)
  endforeach()
  add_test(NAME c_exports_test COMMAND sh ${PROJECT_SOURCE_DIR}/scripts/tests/c-exports ${args})
  set_tests_properties(c_exports_test PROPERTIES LABELS integration ENVIRONMENT "NM=${CMAKE_NM}")
endfunction()
cmake_language(DEFER DIRECTORY ${PROJECT_SOURCE_DIR} CALL tq_c_exports_test)

# tq_shared_library(<name> SOURCES ... [LIBS ...] [HEADER <public header>])
# A deliverable shared library: hidden visibility (from the top level), static
# helpers kept private with --exclude-libs, installed with a pkg-config file.
function(tq_shared_library name)
  cmake_parse_arguments(ARG "" "HEADER" "SOURCES;LIBS" ${ARGN})
  add_library(${name} SHARED ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS})
  target_link_options(${name} PRIVATE -Wl,--exclude-libs,ALL -Wl,--no-undefined)
  tq_c_interface(${name})
  # Public headers include the shared C headers of platform/include (tq/*.h).
  target_include_directories(${name} PUBLIC
    $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include>
    $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/platform/include>
    $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
  install(TARGETS ${name} LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
  if(ARG_HEADER)
    install(FILES ${ARG_HEADER} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
  endif()
  set(TQ_PC_NAME ${name})
  configure_file(${PROJECT_SOURCE_DIR}/cmake/library.pc.in ${PROJECT_BINARY_DIR}/pkgconfig/${name}.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/pkgconfig/${name}.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
endfunction()

# tq_program(<name> SOURCES ... [LIBS ...])
function(tq_program name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS})
  install(TARGETS ${name} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endfunction()

# tq_test(<name> SOURCES ... [LIBS ...] [LABELS ...] [ENV ...] [TIMEOUT s])
# One GoogleTest executable registered with CTest. Tests are built into
# build/tests so that they stay apart from the deliverables.
function(tq_test name)
  cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LIBS;LABELS;ENV" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main Threads::Threads)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/tests)
  add_test(NAME ${name} COMMAND ${name})
  if(NOT ARG_LABELS)
    set(ARG_LABELS unit)
  endif()
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  set_tests_properties(${name} PROPERTIES LABELS "${ARG_LABELS}" TIMEOUT ${ARG_TIMEOUT}
    ENVIRONMENT "TQ_TEST_TMPDIR=${PROJECT_BINARY_DIR}/testtmp;${ARG_ENV}")
endfunction()

# tq_fuzz(<name> SOURCES ... [LIBS ...] [CORPUS <folder of seed inputs>])
# A libFuzzer target, built only in the fuzz build (TQ_SANITIZE=fuzz, clang)
# into build-fuzz/fuzz; scripts/fuzz runs it seeded with CORPUS when given.
function(tq_fuzz name)
  cmake_parse_arguments(ARG "" "CORPUS" "SOURCES;LIBS" ${ARGN})
  if(NOT TQ_SANITIZE STREQUAL "fuzz")
    return()
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/fuzz)
  add_dependencies(fuzz_all ${name})
  if(ARG_CORPUS)
    file(WRITE ${PROJECT_BINARY_DIR}/fuzz/${name}.corpus ${ARG_CORPUS})
  endif()
endfunction()
