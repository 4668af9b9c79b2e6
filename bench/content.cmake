# Generating the show's content: building every file in memory, and writing krv.dat and test.xm.
if(TARGET content)
    kestrune_bench(bench_content SOURCES ${CMAKE_CURRENT_LIST_DIR}/content_bench.cpp LIBS content)
endif()
