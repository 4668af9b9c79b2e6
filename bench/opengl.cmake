if(TARGET render_opengl)
    kestrune_bench(opengl_bench SOURCES opengl_bench.cpp LIBS render_opengl)
endif()
