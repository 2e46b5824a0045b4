# One recorded key press through the key hook, the macro page and its action
# list on show (offscreen), into a macro of 1999 rows (in the middle, and after
# the last row as a recording goes on) against the first row of an empty macro
# (goal: at most 2x), and into 1999 rows against into 30 rows (what the length
# itself costs); prints the ratios.
if(TARGET kst_editors)
  kst_add_benchmark(bench_macro_recording
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/macro_recording_bench.cpp
    LIBS kst_editors Qt6::Widgets)
  target_compile_definitions(bench_macro_recording PRIVATE KST_BIN_DIR="${KST_BIN_DIR}")
endif()
