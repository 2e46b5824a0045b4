# kestrunectl as a script runs it: "status" without the window against the
# reports it exchanges (2 ms each) plus a bare start of the program, and
# "dump" of the largest profile file against reading it and printing as many
# lines; prints both ratios (goals: at most 1.5 and 2).
if(TARGET kestrunectl)
  kst_add_benchmark(bench_ctl
    SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/ctl_bench.cpp
    LIBS kst_store Qt6::Core)
  target_compile_definitions(bench_ctl PRIVATE KST_BIN_DIR="${KST_BIN_DIR}")
  add_dependencies(bench_ctl kestrunectl)
endif()
