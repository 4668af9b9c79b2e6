# The release for Windows users: `dist` makes <build>/kestrune-99-windows.zip with the show, the
# tool, the generated content and a short readme.
set(dist_root ${CMAKE_BINARY_DIR}/dist)
set(dist_dir ${dist_root}/kestrune-99)
set(dist_zip ${CMAKE_BINARY_DIR}/kestrune-99-windows.zip)
add_custom_target(dist
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${dist_root} ${dist_zip}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${dist_dir}
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:kestrune> $<TARGET_FILE:krv>
            ${CMAKE_BINARY_DIR}/show/krv.dat ${CMAKE_BINARY_DIR}/show/test.xm ${dist_dir}
    COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_SOURCE_DIR}/cmake/windows-readme.txt
            ${dist_dir}/README.txt
    COMMAND ${CMAKE_COMMAND} -E chdir ${dist_root}
            ${CMAKE_COMMAND} -E tar cf ${dist_zip} --format=zip kestrune-99
    DEPENDS kestrune krv show-content
    COMMENT "Packing ${dist_zip}"
    VERBATIM)
