# Mixer throughput per voice kind and whole-module rendering as a multiple of real time.
kestrune_bench(bench_music SOURCES ${CMAKE_CURRENT_LIST_DIR}/music_mixer.cpp
    ${CMAKE_CURRENT_LIST_DIR}/music_render.cpp LIBS music)
