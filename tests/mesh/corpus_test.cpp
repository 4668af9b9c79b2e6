// Third-party objects and images load or are refused cleanly.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "mesh/mesh.h"
#include "mesh/texture.h"

namespace kestrune {
namespace {

const std::filesystem::path corpus =
    std::filesystem::path(KESTRUNE_SOURCE_DIR) / "../shared/corpus";

std::vector<uint8_t> slurp(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(Corpus, LwobObjects) {
    if (!std::filesystem::exists(corpus / "lwo")) GTEST_SKIP() << "no corpus";
    struct Expect {
        const char* file;
        int points, polygons;
    };
    const Expect expected[] = {{"assimp--formatDetection.lwo", 24, 1},
                               {"assimp--bluewithcylindrictexz.lwo", 8, 6},
                               {"assimp--ConcavePolygon.lwo", 64, 1},
                               {"gtkglarea--penguin.lwo", 296, 616}};
    for (const Expect& e : expected) {
        std::string name = (corpus / "lwo" / e.file).string();
        Mesh mesh;
        loadObject(name.data(), mesh);
        EXPECT_EQ(mesh.pointCount, e.points) << e.file;
        EXPECT_EQ(mesh.polygonCount, e.polygons) << e.file;
        for (uint32_t p = 0; p < mesh.polygonCount; ++p)
            for (uint16_t v : mesh.polygons[p].vertices) ASSERT_LT(v, mesh.pointCount);
    }
    // The cylinder-mapped cube: textured polygons with coordinates from the map.
    std::string name = (corpus / "lwo" / "assimp--bluewithcylindrictexz.lwo").string();
    Mesh mesh;
    loadObject(name.data(), mesh);
    ASSERT_EQ(mesh.polygonCount, 6);
    EXPECT_TRUE(mesh.polygons[0].flags & PolyTextured);
    // Every cut of every object is read or refused without reading past it.
    for (const auto& entry : std::filesystem::directory_iterator(corpus / "lwo")) {
        if (entry.path().extension() != ".lwo") continue;
        const auto bytes = slurp(entry.path());
        for (size_t n = 0; n < bytes.size(); n += 13) {
            Mesh cut;
            readLwobObject(bytes.data(), n, cut);
            EXPECT_EQ(cut.polygons.size(), cut.polygonCount);
        }
    }
}

TEST(Corpus, JpegImages) {
    if (!std::filesystem::exists(corpus / "jpeg")) GTEST_SKIP() << "no corpus";
    int32_t width = 0, height = 0;
    auto decode = [&](const char* file) {
        const auto bytes = slurp(corpus / "jpeg" / file);
        width = height = 0;
        return decodeJpegBytes(bytes.data(), bytes.size(), width, height);
    };
    auto colour = decode("testorig.jpg");
    ASSERT_TRUE(colour);
    EXPECT_EQ(width, 227);
    EXPECT_EQ(height, 149);
    EXPECT_EQ(colour->size(), 227u * 149 * 3);
    auto grey = decode("testorig-grey.jpg");
    ASSERT_TRUE(grey);
    EXPECT_EQ(grey->size(), size_t(width) * height * 3);
    EXPECT_EQ((*grey)[0], (*grey)[1]);
    EXPECT_TRUE(decode("testorig-progressive.jpg"));
    EXPECT_FALSE(decode("testorig12.jpg")); // 12-bit samples: refused by an 8-bit decoder
    // A cut file is padded by the library; an arithmetic-coded one may be refused. Either way
    // the result is whole or none.
    for (const char* file : {"testorig-truncated-half.jpg", "testimgari.jpg"}) {
        auto pixels = decode(file);
        if (pixels) {
            EXPECT_EQ(pixels->size(), size_t(width) * height * 3) << file;
        }
    }
}

} // namespace
} // namespace kestrune
