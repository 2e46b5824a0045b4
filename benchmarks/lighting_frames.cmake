# Showing the painted colour of every key (ShowKeyColours) and repainting the
# main window, offscreen over the simulated keyboard; prints the time against
# one 16 ms frame (goal: at most 1).
if(TARGET kst_lighting_panel)
  kst_add_benchmark(bench_lighting_frames
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/lighting_frames_bench.cpp
    LIBS kst_lighting_panel Qt6::Widgets ${CMAKE_DL_LIBS})
  target_compile_definitions(bench_lighting_frames PRIVATE KST_BIN_DIR="${KST_BIN_DIR}")
  target_include_directories(bench_lighting_frames PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  add_dependencies(bench_lighting_frames TolvaneSim kst_skin_files kst_resources)
endif()
