# The web build: the show as <build>/page/ (index.html, kestrune.js, kestrune.wasm and the content
# packed into kestrune.data, which the page loads once into its file system), and `dist-web`,
# which zips that folder as <build>/kestrune-99-web.zip for any static host.
set(web_page_dir ${CMAKE_BINARY_DIR}/page)
set(web_show_dir ${CMAKE_BINARY_DIR}/show)
set_target_properties(kestrune PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${web_page_dir})
# The blocking loops (the options window's, the device dialog's and the timeline's) run as they
# are: Asyncify unwinds them at their waits and frame ends, so the page gets its turn.
target_link_options(kestrune PRIVATE
    -sASYNCIFY=1
    "-sASYNCIFY_IMPORTS=[\"kestrune_web_next_frame\",\"kestrune_web_message_box\"]"
    -sASYNCIFY_STACK_SIZE=131072
    -sALLOW_MEMORY_GROWTH=1
    -sINITIAL_MEMORY=67108864
    -sEXIT_RUNTIME=1
    -sENVIRONMENT=web
    "-sEXPORTED_RUNTIME_METHODS=[\"FS\"]"
    "SHELL:--preload-file ${web_show_dir}/krv.dat@/krv.dat"
    "SHELL:--preload-file ${web_show_dir}/test.xm@/test.xm")
set_property(TARGET kestrune APPEND PROPERTY LINK_DEPENDS
    ${web_show_dir}/krv.dat ${web_show_dir}/test.xm ${CMAKE_SOURCE_DIR}/platform/web/web_library.js)
configure_file(${CMAKE_SOURCE_DIR}/platform/web/index.html ${web_page_dir}/index.html COPYONLY)

# The content generator runs under Node at build time, reading and writing the real file system.
target_link_options(kestrune-content PRIVATE -sNODERAWFS=1 -sWASM_ASYNC_COMPILATION=0
    -sALLOW_MEMORY_GROWTH=1 -sENVIRONMENT=node)

set(web_zip ${CMAKE_BINARY_DIR}/kestrune-99-web.zip)
set(web_dist ${CMAKE_BINARY_DIR}/dist-web/kestrune-99)
add_custom_target(dist-web
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${CMAKE_BINARY_DIR}/dist-web ${web_zip}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${web_dist}
    COMMAND ${CMAKE_COMMAND} -E copy ${web_page_dir}/index.html ${web_page_dir}/kestrune.js
            ${web_page_dir}/kestrune.wasm ${web_page_dir}/kestrune.data ${web_dist}
    COMMAND ${CMAKE_COMMAND} -E chdir ${CMAKE_BINARY_DIR}/dist-web
            ${CMAKE_COMMAND} -E tar cf ${web_zip} --format=zip kestrune-99
    DEPENDS kestrune
    COMMENT "Packing ${web_zip}"
    VERBATIM)
