# LoadLangText of a key in an unchanged language file against one stat() of
# that file; prints their ratio (goal: at most 3).
kst_add_benchmark(bench_language_lookup
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/language_lookup_bench.cpp
  LIBS kst_foundation)
