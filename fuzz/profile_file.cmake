# Profile file check and load over arbitrary bytes; corpus in corpus/profile_file.
kst_add_fuzzer(profile_file_fuzz
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/profile_file_fuzz.cpp
  LIBS kst_store)
