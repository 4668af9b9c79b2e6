// Drawing a loaded scene allocates nothing: every operator new in this executable is counted.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <new>

#include "mesh/metaballs.h"
#include "recording_test.h"
#include "render/frame_renderer.h"
#include "scene_builder.h"

namespace {

std::atomic<bool> counting{false};
std::atomic<long> allocations{0};

void* allocate(std::size_t size, std::size_t alignment = 0) {
    if (counting.load(std::memory_order_relaxed)) allocations.fetch_add(1);
    if (size == 0) size = 1;
#ifdef _WIN32 // no aligned_alloc on Windows; its aligned blocks have their own free
    return _aligned_malloc(size, std::max(alignment, alignof(std::max_align_t)));
#else
    void* block =
        alignment > alignof(std::max_align_t)
            ? std::aligned_alloc(alignment, (size + alignment - 1) / alignment * alignment)
            : std::malloc(size);
    return block;
#endif
}

// Out of line, so the compiler does not pair the free with a new it sees inlined elsewhere.
[[gnu::noinline]] void release(void* block) noexcept {
#ifdef _WIN32
    _aligned_free(block);
#else
    std::free(block);
#endif
}

} // namespace

void* operator new(std::size_t size) {
    if (void* block = allocate(size)) return block;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
    if (void* block = allocate(size)) return block;
    throw std::bad_alloc();
}
void* operator new(std::size_t size, std::align_val_t alignment) {
    if (void* block = allocate(size, static_cast<std::size_t>(alignment))) return block;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size, std::align_val_t alignment) {
    if (void* block = allocate(size, static_cast<std::size_t>(alignment))) return block;
    throw std::bad_alloc();
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return allocate(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return allocate(size);
}
void operator delete(void* block) noexcept {
    release(block);
}
void operator delete[](void* block) noexcept {
    release(block);
}
void operator delete(void* block, std::size_t) noexcept {
    release(block);
}
void operator delete[](void* block, std::size_t) noexcept {
    release(block);
}
void operator delete(void* block, std::align_val_t) noexcept {
    release(block);
}
void operator delete[](void* block, std::align_val_t) noexcept {
    release(block);
}
void operator delete(void* block, std::size_t, std::align_val_t) noexcept {
    release(block);
}
void operator delete[](void* block, std::size_t, std::align_val_t) noexcept {
    release(block);
}

namespace kestrune {
namespace {

using test::addPoint;
using test::addPolygon;
using test::addTestLight;
using test::addTestObject;

// A scene using every per-frame feature: parents, pivots, dissolve, morph, bones, balls and the
// metaball surface, both passes, all light types with flares.
void buildScene(Scene& scene) {
    test::reserveScene(scene);
    SceneObject& parent = addTestObject(scene, "parent.lwo", {.position = {0, 0, 30}});
    parent.pivot = {1, 0, 0};
    for (int i = 0; i < 4; ++i) {
        SceneObject& object = addTestObject(scene, "thing.lwo", {.position = {float(i), 0, 2}});
        object.parent = &parent;
        for (int k = 0; k < 40; ++k)
            addPoint(object.mesh, {float(k % 7), float(k / 7), 0}, {0, 0, -1});
        for (int k = 0; k + 2 < 40; k += 3)
            addPolygon(object.mesh, {uint16_t(k), uint16_t(k + 1), uint16_t(k + 2)});
        addPolygon(object.mesh, {3, 4, 5}, PolyTranslucent);
        addPolygon(object.mesh, {6}, PolyTextured);
        object.restPoints = object.mesh.points;
        if (i == 1) {
            object.hasDissolve = 1;
            test::setRamp(object.dissolve, 0, 1);
        }
        if (i == 2 || i == 3) {
            object.hasMetamorph = 1;
            test::setRamp(object.metamorph, 0, 1);
            object.morphDeltas.assign(40, MorphDelta{{0, 1, 0}, {0, 0, 0}});
        }
        if (i == 3) {
            Bone& bone = object.bones.emplace_back();
            object.boneCount = 1;
            bone.owner = &object;
            bone.restMatrix = identityMatrix();
            bone.weights.assign(40, 1.0f);
            test::setPlacement(bone.motion, {.position = {0, 1, 0}});
        }
    }
    addTestObject(scene, "mball.lwo", {.position = {0.5f, 0.5f, 0.5f}});
    addTestObject(scene, "mcube.lwo", {.position = {0, 0, 25}});
    addTestObject(scene, "mball.lwo", {.position = {1.5f, 0.5f, 0.5f}});
    addTestLight(scene, 0, 63, 1).lensFlare = 1;
    addTestLight(scene, 1, 63, 1, {.position = {0, 5, 20}}).lensFlare = 1;
    SceneLight& spot = addTestLight(scene, 2, 40, 1, {.position = {0, 0, 0}});
    spot.lensFlare = 1;
    spot.parent = &parent;
}

TEST(AllocationTest, DrawingALoadedSceneAllocatesNothing) {
    Scene scene;
    buildScene(scene);
    test::useRecordingBackend();
    initMetaballs();
    prepareMetaballObjects(scene);
    reserveRecording(4096, 65536);
    clearRecording();

    counting = true;
    for (int frame = 0; frame < 12; ++frame) {
        clearRecording();
        drawScene(scene, static_cast<float>(frame) * 0.75f);
    }
    counting = false;
    EXPECT_EQ(allocations.load(), 0);
    // The scene really was drawn: both passes, the surface and all three flares.
    EXPECT_GT(recording.callCounts[static_cast<int>(EntryPoint::DrawPolygon)], 50u);
    EXPECT_GT(scene.objects[6].mesh.polygonCount, 0);
    EXPECT_EQ(recording.callCounts[static_cast<int>(EntryPoint::SpotFlare)], 1u);
    freeMetaballs();
    renderBackend = {};
}

} // namespace
} // namespace kestrune
