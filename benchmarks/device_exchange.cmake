# 1000 read-settings exchanges with the simulated keyboard at 1 ms per report
# each way; prints measured time / (1000 x 2 ms), goal at most 1.05; then the
# same on the hidapi library over the test stand-in against the simulated
# library, goal at most 1.05.
kst_add_benchmark(bench_device_exchange
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/device_exchange.cpp
  LIBS kst_device)
target_compile_definitions(bench_device_exchange PRIVATE KST_BIN_DIR="${KST_BIN_DIR}")
if(TARGET TolvaneSim)
  add_dependencies(bench_device_exchange TolvaneSim)
endif()
if(TARGET TolvaneFakeHid)
  add_dependencies(bench_device_exchange TolvaneFakeHid)
endif()
target_include_directories(bench_device_exchange PRIVATE ${PROJECT_SOURCE_DIR}/tests)
