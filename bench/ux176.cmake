# The model 176: a register read round trip with the device mutex against
# the bare write and read, and 50000 scans/s with two readers.
if(TARGET ux176_32 AND TARGET SiUSBXp)
  tq_bench(bench_ux176 SOURCES ${CMAKE_CURRENT_LIST_DIR}/ux176_acquisition.cpp
    LIBS ux176_32 SiUSBXp tqstream_32 tqplatform)
endif()
