# The show's start-up loading against the bare zlib and JPEG decoding of the same archive.
if(TARGET content AND TARGET render_recording)
    kestrune_bench(bench_startup OWN_MAIN SOURCES ${CMAKE_CURRENT_LIST_DIR}/startup_bench.cpp
        LIBS content render_recording render scene mesh music archive ZLIB::ZLIB)
endif()
