# Metaball frames, LWOB loading and JPEG decoding.
kestrune_bench(bench_mesh SOURCES ${CMAKE_CURRENT_LIST_DIR}/mesh_bench.cpp LIBS mesh)
