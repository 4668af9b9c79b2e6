# Show frames through the software Direct3D device against the OpenGL backend on Mesa llvmpipe.
if(TARGET render_direct3d_soft AND TARGET render_opengl AND TARGET shell AND TARGET content)
    kestrune_bench(bench_direct3d OWN_MAIN SOURCES ${CMAKE_CURRENT_LIST_DIR}/direct3d_frames.cpp
        LIBS shell content render_opengl render_direct3d_soft render_direct3d render scene mesh
             archive)
endif()
