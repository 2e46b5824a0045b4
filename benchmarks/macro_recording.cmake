# One recorded key event inserted into a macro of 1999 rows against the same
# event as the first row of an empty macro, through the key hook, the macro
# page and its action list on show (offscreen); prints their ratio (goal <= 2).
if(TARGET kst_editors)
  kst_add_benchmark(bench_macro_recording
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/macro_recording_bench.cpp
    LIBS kst_editors Qt6::Widgets)
  target_compile_definitions(bench_macro_recording PRIVATE KST_BIN_DIR="${KST_BIN_DIR}")
endif()
