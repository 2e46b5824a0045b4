# Save then load of the largest profile file (100 macros of 2000 events, texts
# on many entries) against a plain write and read of the same number of bytes;
# prints their ratio (goal: at most 1.5).
kst_add_benchmark(bench_store_profile_file
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/store_profile_file_bench.cpp
  LIBS kst_store)
