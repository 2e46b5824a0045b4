# One lighting field (brightness) through the LightingWriter and the upload of
# one profile's key colours, against the simulated keyboard at 1 ms per report
# each way. Prints measured time / (reports x 2 ms + 10 ms per end-update),
# goal at most 1.05, and the ratio to the reports alone.
kst_add_benchmark(bench_lighting_writes
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/lighting_writes_bench.cpp
  LIBS kst_lighting kst_device)
target_compile_definitions(bench_lighting_writes PRIVATE KST_BIN_DIR="${KST_BIN_DIR}")
if(TARGET TolvaneSim)
  add_dependencies(bench_lighting_writes TolvaneSim)
endif()
target_include_directories(bench_lighting_writes PRIVATE ${PROJECT_SOURCE_DIR}/tests)
