# Fuzz target: arbitrary bytes loaded as an extended module, then a few hundred ticks rendered
# with the mixer switches its last byte picks, by the packed kernels and by their definition.
kestrune_fuzz(xm SOURCES ${CMAKE_CURRENT_LIST_DIR}/xm_fuzz.cpp LIBS music)
