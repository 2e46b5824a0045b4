# The rebuild from the keyboard (settings, key maps, macro area as a keyboard
# could return them) and the key map decoder; corpus in corpus/device_rebuild.
kst_add_fuzzer(device_rebuild_fuzz
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/device_rebuild_fuzz.cpp
  LIBS kst_device kst_store)
