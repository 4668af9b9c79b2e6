# Fuzz target: JPEG decoding from memory.
kestrune_fuzz(jpeg SOURCES ${CMAKE_CURRENT_LIST_DIR}/jpeg_fuzz.cpp LIBS mesh)
