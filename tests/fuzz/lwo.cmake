# Fuzz target: the LWOB object reader.
kestrune_fuzz(lwo SOURCES ${CMAKE_CURRENT_LIST_DIR}/lwo_fuzz.cpp LIBS mesh)
