# Repaint of a skinned window with 120 image buttons against one blit of the
# whole window; prints the number of picture decodes and the ratio (goal <= 3).
if(TARGET kst_skin)
  kst_add_benchmark(skin_repaint_benchmark
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/skin_repaint.cpp
    LIBS kst_skin Qt6::Widgets)
endif()
