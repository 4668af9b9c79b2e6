# Scene text read and drawn at a few frames on the recording backend.
kestrune_fuzz(draw SOURCES ${CMAKE_CURRENT_LIST_DIR}/draw_fuzz.cpp LIBS render render_recording scene mesh)
