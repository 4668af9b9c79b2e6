# Fuzz target: arbitrary bytes opened as a data archive.
kestrune_fuzz(archive SOURCES ${CMAKE_CURRENT_LIST_DIR}/archive_fuzz.cpp LIBS archive)
