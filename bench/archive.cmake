# Archive extraction against plain zlib on the same streams.
kestrune_bench(bench_archive OWN_MAIN SOURCES ${CMAKE_CURRENT_LIST_DIR}/archive_bench.cpp LIBS archive ZLIB::ZLIB)
