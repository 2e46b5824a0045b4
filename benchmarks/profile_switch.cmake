# A click on a profile button until the window shows the new profile's keys
# and lighting, on the real main window over the simulated keyboard at 1 ms
# per report each way. Prints measured time against the reports (2 ms each)
# and the protocol's waits (10 ms before every end-update), with one 16 ms
# frame allowed for drawing; goal at most 1.05.
if(TARGET kst_profile_bar AND TARGET kst_lighting_panel)
  kst_add_benchmark(bench_profile_switch
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/profile_switch_bench.cpp
    LIBS kst_profile_bar kst_lighting_panel ${CMAKE_DL_LIBS} Qt6::Widgets)
  target_compile_definitions(bench_profile_switch PRIVATE KST_BIN_DIR="${KST_BIN_DIR}")
  target_include_directories(bench_profile_switch PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  add_dependencies(bench_profile_switch TolvaneSim kst_skin_files kst_resources)
endif()
