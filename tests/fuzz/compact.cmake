# Fuzz target: the compact ".3d" object reader.
kestrune_fuzz(compact SOURCES ${CMAKE_CURRENT_LIST_DIR}/compact_fuzz.cpp LIBS mesh)
