# Opening the key assignment dialog a second time (its pictures made) against
# showing a bare QDialog of the same size, offscreen; prints their ratio
# (goal: at most 3).
if(TARGET kst_editors)
  kst_add_benchmark(bench_composite_open
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/composite_open_bench.cpp
    LIBS kst_editors Qt6::Widgets)
  target_compile_definitions(bench_composite_open PRIVATE KST_BIN_DIR="${KST_BIN_DIR}")
  add_dependencies(bench_composite_open kst_skin_files kst_resources)
endif()
