# The scene reader on arbitrary text.
kestrune_fuzz(scene SOURCES ${CMAKE_CURRENT_LIST_DIR}/scene_fuzz.cpp LIBS scene)
