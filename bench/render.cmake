# Per-point transform and lighting, and whole frames of a 100-object scene on the recording backend.
kestrune_bench(bench_render SOURCES ${CMAKE_CURRENT_LIST_DIR}/render_bench.cpp
    LIBS render render_recording)
