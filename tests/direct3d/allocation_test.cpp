// A frame through the Direct3D backend on the software device allocates nothing once textures
// are loaded: every operator new in this executable is counted.
#include <atomic>
#include <cstdlib>
#include <new>

#include "mesh/mesh.h"
#include "tests/direct3d/direct3d_test_host.h"

namespace {

std::atomic<bool> counting{false};
std::atomic<long> allocations{0};

void* allocate(std::size_t size) {
    if (counting.load(std::memory_order_relaxed)) allocations.fetch_add(1);
    return std::malloc(size ? size : 1);
}

// Out of line, so the compiler does not pair the free with a new it sees inlined elsewhere.
[[gnu::noinline]] void release(void* block) noexcept {
    std::free(block);
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

namespace kestrune::test {
namespace {

using AllocationTest = Direct3DTest;

TEST_F(AllocationTest, DrawingAFrameAllocatesNothing) {
    // Rasterised by several threads whatever the machine: the workers and their queue are made
    // when the device opens.
    SoftDeviceConfig config;
    config.rasterThreads = 3;
    device = std::make_unique<SoftDirectDrawSystem>(config);
    direct3DHost.system = device.get();
    ASSERT_EQ(open(64, 48), -1);
    const uint16_t texture = direct3d::loadTexture("d3d_alloc_missing.jpg", 1);
    const uint16_t flatTexture = direct3d::loadTexture("d3d_alloc_other.jpg", 0);
    Mesh mesh;
    const float corners[4][2] = {{-0.3f, 0.3f}, {0.3f, 0.3f}, {0.3f, -0.3f}, {-0.3f, -0.3f}};
    for (const auto& c : corners) {
        MeshPoint p{};
        p.cameraPosition = {c[0], c[1], 1};
        p.cameraNormal = {c[0], c[1], -1};
        p.litColor[0] = p.litColor[1] = p.litColor[2] = 90;
        mesh.points.push_back(p);
    }
    mesh.pointCount = 4;
    std::vector<MeshPolygon> polygons;
    const uint8_t flags[] = {PolyFlat,
                             PolySmooth | PolyFlat,
                             PolyTextured,
                             PolyTextured | PolySmooth,
                             PolyFlat | PolyReflection | PolyDoubleSided,
                             PolyOutline | PolySmooth};
    for (uint8_t f : flags) {
        MeshPolygon p{};
        p.flags = f;
        p.vertexCount = 4;
        p.vertices = {0, 1, 2, 3};
        p.u = {0, 1, 1, 0};
        p.v = {0, 0, 1, 1};
        p.texture = flatTexture;
        p.reflectionTexture = texture;
        polygons.push_back(p);
    }
    MeshPolygon sprite{};
    sprite.flags = PolyTextured | PolySmooth;
    sprite.vertexCount = 1;
    sprite.vertices = {0};
    sprite.texture = texture;
    polygons.push_back(sprite);

    counting = true;
    for (int frame = 0; frame < 3; ++frame) {
        direct3d::beginFrame();
        direct3d::beginScene();
        direct3d::setTranslucent(0);
        for (const MeshPolygon& p : polygons) direct3d::drawPolygon(mesh, p);
        direct3d::setTranslucent(1);
        direct3d::drawPolygon(mesh, polygons[3]);
        direct3d::setTranslucent(0);
        direct3d::endScene();
        direct3d::setViewRect(10, 10, 54, 38);
        direct3d::endFrame();
    }
    counting = false;
    EXPECT_EQ(allocations.load(), 0);

    // The counter works: loading a texture does allocate.
    counting = true;
    direct3d::loadTexture("d3d_alloc_third.jpg", 1);
    counting = false;
    EXPECT_GT(allocations.load(), 0);
}

} // namespace
} // namespace kestrune::test
