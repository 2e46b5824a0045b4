# Apply of one profile (10 macros of 50 events) and the rebuild of all four
# profiles with a full macro area, against the simulated keyboard at 1 ms per
# report each way. Prints measured time / (reports x 2 ms + the protocol's
# fixed waits); goal at most 1.05.
kst_add_benchmark(bench_device_upload
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/device_upload_bench.cpp
          ${PROJECT_SOURCE_DIR}/tests/device/upload_sim_rig.cpp
  LIBS kst_device kst_store)
target_include_directories(bench_device_upload PRIVATE ${PROJECT_SOURCE_DIR}/tests/device)
target_compile_definitions(bench_device_upload PRIVATE KST_BIN_DIR="${KST_BIN_DIR}")
if(TARGET TolvaneSim)
  add_dependencies(bench_device_upload TolvaneSim)
endif()
target_include_directories(bench_device_upload PRIVATE ${PROJECT_SOURCE_DIR}/tests)
