# Motion evaluation and skeletal deformation.
kestrune_bench(scene_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/scene_motion.cpp
    ${CMAKE_CURRENT_LIST_DIR}/scene_bones.cpp LIBS scene)
