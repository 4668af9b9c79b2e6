// Texture images: JPEG row order and error paths, archive decoding without files, the shared
// loadTexture contract and its limits, box-filter resampling.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

#include "archive/archive.h"
#include "jpeg_writer.h"
#include "mesh/texture.h"
#include "texture_backend.h"
#include "texture_files.h"

namespace kestrune {
namespace {

using namespace test;

void expectNear(const uint8_t* pixel, std::vector<uint8_t> colour, int tolerance = 8) {
    for (int c = 0; c < 3; ++c)
        EXPECT_NEAR(pixel[c], colour[size_t(c)], tolerance) << "channel " << c;
}

TEST(DecodeJpeg, RowsAreBottomUpAndTightlyPacked) {
    const auto jpeg = encodeJpeg(stripes(3, {{255, 0, 0}, {0, 0, 255}}), 3, 2);
    int32_t width = 0, height = 0;
    auto pixels = decodeJpegBytes(jpeg.data(), jpeg.size(), width, height);
    ASSERT_TRUE(pixels);
    EXPECT_EQ(width, 3);
    EXPECT_EQ(height, 2);
    ASSERT_EQ(pixels->size(), 18u);
    for (int x = 0; x < 3; ++x) expectNear(pixels->data() + 3 * x, {0, 0, 255}); // bottom row
    for (int x = 3; x < 6; ++x) expectNear(pixels->data() + 3 * x, {255, 0, 0});
}

TEST(DecodeJpeg, GreyscaleIsExpandedAndOtherLayoutsRefused) {
    const auto grey = encodeJpeg({200, 200, 200, 200, 40, 40, 40, 40}, 4, 2, 1);
    int32_t width = 0, height = 0;
    auto pixels = decodeJpegBytes(grey.data(), grey.size(), width, height);
    ASSERT_TRUE(pixels);
    ASSERT_EQ(pixels->size(), 24u);
    expectNear(pixels->data(), {40, 40, 40}, 3);
    expectNear(pixels->data() + 12, {200, 200, 200}, 3);

    std::vector<uint8_t> cmyk(4 * 4 * 4, 100);
    const auto fourComponents = encodeJpeg(cmyk, 4, 4, 4);
    EXPECT_FALSE(decodeJpegBytes(fourComponents.data(), fourComponents.size(), width, height));
}

TEST(DecodeJpeg, CorruptDataReturnsNone) {
    const auto jpeg = encodeJpeg(stripes(8, std::vector<std::vector<uint8_t>>(8, {9, 9, 9})), 8, 8);
    int32_t width = 0, height = 0;
    const std::vector<uint8_t> garbage(64, 0x5A);
    EXPECT_FALSE(decodeJpegBytes(garbage.data(), garbage.size(), width, height));
    EXPECT_FALSE(decodeJpegBytes(jpeg.data(), 0, width, height));
    EXPECT_FALSE(decodeJpegBytes(jpeg.data(), 20, width, height)); // cut inside the header
    // Every prefix either decodes (the library pads a cut scan) or fails; none reads past it.
    // Decoding quietly prints nothing and refuses what the library warned about, the padded ones.
    int padded = 0;
    for (size_t n = 0; n <= jpeg.size(); n += n + 7 < jpeg.size() ? 7 : 1) {
        std::vector<uint8_t> prefix(jpeg.begin(), jpeg.begin() + long(n));
        auto pixels = decodeJpegBytes(prefix.data(), prefix.size(), width, height);
        if (pixels) {
            EXPECT_EQ(pixels->size(), 8u * 8 * 3);
        }
        testing::internal::CaptureStderr();
        auto quiet = decodeJpegQuietly(prefix.data(), prefix.size(), width, height);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << n;
        EXPECT_EQ(quiet.has_value(), n == jpeg.size()) << n;
        padded += pixels && !quiet;
    }
    EXPECT_GT(padded, 0);
    // Images over the size limit are refused before their block is allocated.
    width = height = 0;
    EXPECT_FALSE(decodeJpegBytes(jpeg.data(), jpeg.size(), width, height, 63));
    EXPECT_EQ(width, 8);
}

TEST_F(TextureFiles, ArchivedImagesAreDecodedWithoutWritingAFile) {
    const auto jpeg = encodeJpeg(stripes(2, {{0, 255, 0}, {0, 255, 0}}), 2, 2);
    // Names from object files may point anywhere; nothing may be written by that name.
    const std::string escape = "../kestrune_escape_" + std::to_string(::getpid()) + ".jpg";
    archive({{"boxed.jpg", jpeg}, {escape, jpeg}});
    for (const std::string& name : {std::string("boxed.jpg"), escape}) {
        int32_t width = 0, height = 0;
        auto pixels = decodeJpeg(name.c_str(), width, height);
        ASSERT_TRUE(pixels) << name;
        EXPECT_EQ(width, 2);
        expectNear(pixels->data(), {0, 255, 0});
        EXPECT_FALSE(std::filesystem::exists(name)) << name;
        std::filesystem::remove(name);
    }
    int32_t width = 0, height = 0;
    EXPECT_FALSE(decodeJpeg("nowhere.jpg", width, height));
    EXPECT_FALSE(std::filesystem::exists("nowhere.jpg"));
}

TEST_F(TextureFiles, LooseFileIsReadFirstAndLeftAlone) {
    const auto red = encodeJpeg(stripes(2, {{255, 0, 0}, {255, 0, 0}}), 2, 2);
    const auto blue = encodeJpeg(stripes(2, {{0, 0, 255}, {0, 0, 255}}), 2, 2);
    const std::string loose = "pick.jpg";
    {
        std::ofstream out(loose, std::ios::binary);
        out.write(reinterpret_cast<const char*>(red.data()), long(red.size()));
    }
    archive({{loose, blue}});
    int32_t width = 0, height = 0;
    auto pixels = decodeJpeg(loose.c_str(), width, height);
    ASSERT_TRUE(pixels);
    expectNear(pixels->data(), {255, 0, 0});
    EXPECT_EQ(std::filesystem::file_size(loose), red.size());
}

TEST_F(TextureFiles, SameNameGivesSameSlotAndIsDecodedOnce) {
    const auto jpeg = encodeJpeg(stripes(4, {{10, 20, 30}, {10, 20, 30}}), 4, 2);
    archive({{"wall.jpg", jpeg}});
    EXPECT_EQ(renderBackend.loadTexture("wall.jpg", 1), 0);
    EXPECT_EQ(renderBackend.loadTexture("missing.jpg", 0), 1);
    EXPECT_EQ(renderBackend.loadTexture("wall.jpg", 0), 0);
    EXPECT_EQ(renderBackend.loadTexture("missing.jpg", 1), 1);
    // Names compare exactly, so a different case is another texture.
    EXPECT_EQ(renderBackend.loadTexture("WALL.jpg", 1), 2);
    EXPECT_EQ(textureTable.count, 3);
    ASSERT_EQ(uploads.size(), 3u);
    EXPECT_EQ(uploads[0].width, 4);
    EXPECT_EQ(textureTable.slots[0].bitsPerPixel, 24);
    EXPECT_STREQ(textureTable.slots[0].name, "wall.jpg");
    // Found nowhere: a small white image, still a slot the draw code can use.
    EXPECT_EQ(uploads[1].width, kMissingTextureSize);
    EXPECT_EQ(uploads[1].pixels,
              std::vector<uint8_t>(kMissingTextureSize * kMissingTextureSize * 3, 255));
    EXPECT_EQ(textureTable.slots[1].height, kMissingTextureSize);
    EXPECT_EQ(findTexture("missing.jpg"), 1);
    EXPECT_EQ(findTexture("absent.jpg"), -1);
}

TEST_F(TextureFiles, FullTableAndLongNamesAreRefusedWithSlotZero) {
    const std::string name39(39, 'a');
    const std::string name40(40, 'b');
    EXPECT_EQ(renderBackend.loadTexture(name40.c_str(), 1), 0);
    EXPECT_EQ(textureTable.count, 0);
    EXPECT_EQ(renderBackend.loadTexture(name39.c_str(), 1), 0);
    EXPECT_EQ(textureTable.count, 1);
    for (int i = 1; i < kTextureSlotCount; ++i)
        EXPECT_EQ(renderBackend.loadTexture(("t" + std::to_string(i)).c_str(), 1), i);
    EXPECT_EQ(renderBackend.loadTexture("one_too_many.jpg", 1), 0);
    EXPECT_EQ(textureTable.count, kTextureSlotCount);
    EXPECT_EQ(uploads.size(), size_t(kTextureSlotCount));
    // Already loaded names are still found in a full table.
    EXPECT_EQ(renderBackend.loadTexture("t499", 1), 499);
}

TEST(RequestTexture, WithoutBackendGivesZeroAndDecodesNothing) {
    useTextureBackend(false);
    EXPECT_EQ(requestTexture("anything.jpg", 1), 0);
    EXPECT_EQ(textureTable.count, 0);
}

TEST(ResampleImage, ReductionAveragesTheBox) {
    std::vector<uint8_t> source(4 * 4 * 3);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) {
            source[size_t(y * 4 + x) * 3 + 0] = uint8_t(x * 10 + y);
            source[size_t(y * 4 + x) * 3 + 1] = uint8_t(y * 50);
            source[size_t(y * 4 + x) * 3 + 2] = uint8_t(x == 3 ? 1 : 0);
        }
    std::vector<uint8_t> out(2 * 2 * 3, 0xEE);
    resampleImage(source.data(), out.data(), 4, 4, 2, 2);
    // (0, 0): columns 0..2, rows 0..2 -> mean of x*10 + y = 10 + 1.
    EXPECT_EQ(out[0], 11);
    EXPECT_EQ(out[1], 50);
    EXPECT_EQ(out[2], 0);
    // (1, 1): columns 2..3, rows 2..3, four samples: (20+30)/2 + 2.5 = 27.5 -> 27.
    EXPECT_EQ(out[9], 27);
    EXPECT_EQ(out[10], 125);
    EXPECT_EQ(out[11], 0); // 2 / 4 drops the fraction
}

TEST(ResampleImage, EnlargementRepeatsPixelsAndEmptySizesAreSafe) {
    const std::vector<uint8_t> source = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    std::vector<uint8_t> out(4 * 4 * 3);
    resampleImage(source.data(), out.data(), 2, 2, 4, 4);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            for (int c = 0; c < 3; ++c)
                EXPECT_EQ(out[size_t(y * 4 + x) * 3 + c],
                          source[size_t((y / 2) * 2 + x / 2) * 3 + c]);
    std::vector<uint8_t> untouched(3, 7);
    resampleImage(source.data(), untouched.data(), 2, 2, 0, 1);
    resampleImage(source.data(), untouched.data(), 0, 0, 1, 1);
    EXPECT_EQ(untouched, (std::vector<uint8_t>{0, 0, 0})); // an empty box gives black
}

} // namespace
} // namespace kestrune
