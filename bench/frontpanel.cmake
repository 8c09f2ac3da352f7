# Reading one front panel command (copy, split, classify), against copying
# the same bytes.
if(TARGET tqfrontpanelcommon)
  tq_bench(bench_frontpanel_uievent SOURCES ${CMAKE_CURRENT_LIST_DIR}/frontpanel_uievent.cpp LIBS tqfrontpanelcommon)
endif()
