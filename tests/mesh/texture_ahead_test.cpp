// Textures decoded on the second thread while loading goes on: what the table and the backend
// get must be what loading one by one gives them.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "archive/content_file.h"
#include "jpeg_writer.h"
#include "mesh/texture.h"
#include "texture_files.h"

namespace kestrune {
namespace {

using namespace test;

struct Loaded {
    std::vector<uint16_t> slots;
    std::vector<Upload> uploads;
    std::vector<TextureSlot> table;
};

void expectSame(const Loaded& ahead, const Loaded& oneByOne) {
    EXPECT_EQ(ahead.slots, oneByOne.slots);
    ASSERT_EQ(ahead.uploads.size(), oneByOne.uploads.size());
    for (size_t i = 0; i < ahead.uploads.size(); ++i) {
        const Upload &a = ahead.uploads[i], &b = oneByOne.uploads[i];
        EXPECT_TRUE(a.index == b.index && a.width == b.width && a.height == b.height &&
                    a.mipmap == b.mipmap && a.pixels == b.pixels)
            << "upload " << i;
    }
    ASSERT_EQ(ahead.table.size(), oneByOne.table.size());
    for (size_t i = 0; i < ahead.table.size(); ++i) {
        const TextureSlot &a = ahead.table[i], &b = oneByOne.table[i];
        EXPECT_STREQ(a.name, b.name);
        EXPECT_TRUE(a.width == b.width && a.height == b.height && a.bitsPerPixel == b.bitsPerPixel)
            << "slot " << i;
    }
}

// Good, greyscale, missing, undecodable and repeated names; each decode ahead must land in its
// own slot and be uploaded in request order once the loads are finished.
TEST_F(TextureFiles, DecodedAheadGiveTheSameSlotsAndUploadsInRequestOrder) {
    const std::vector<uint8_t> garbage(64, 0x5A);
    archive({{"wall.jpg", encodeJpeg(stripes(4, {{200, 10, 10}, {10, 10, 200}}), 4, 2)},
             {"grey.jpg", encodeJpeg({30, 30, 220, 220}, 2, 2, 1)},
             {"broken.jpg", garbage},
             {"late.jpg", encodeJpeg(stripes(2, {{0, 90, 0}, {0, 90, 0}}), 2, 2)}});
    const char* const names[] = {"wall.jpg", "missing.jpg", "broken.jpg", "wall.jpg", "grey.jpg"};
    auto load = [&](auto&& between) {
        useTextureBackend(true);
        Loaded loaded;
        for (const char* name : names) loaded.slots.push_back(renderBackend.loadTexture(name, 1));
        between();
        loaded.slots.push_back(renderBackend.loadTexture("late.jpg", 0));
        return loaded;
    };
    auto finish = [](Loaded& loaded) {
        loaded.uploads = uploads;
        loaded.table.assign(textureTable.slots, textureTable.slots + textureTable.count);
    };

    Loaded oneByOne = load([] {});
    finish(oneByOne);
    ASSERT_EQ(oneByOne.uploads.size(), 5u);

    Loaded ahead;
    {
        TexturesDecodedAhead decoding;
        ahead = load([] {
            // With a second core nothing is uploaded until the loads are finished.
            if (std::thread::hardware_concurrency() > 1) {
                EXPECT_TRUE(uploads.empty());
            }
            finishTextureLoads();
            EXPECT_EQ(uploads.size(), 4u);
        });
    } // the end of the last holder finishes the rest
    finish(ahead);
    expectSame(ahead, oneByOne);
    useTextureBackend(false);
}

// Images decoded from the kept archive before anyone asks: a request takes one only when the
// bytes it reads are those decoded, so a loose file put down since is the one shown, and an image
// the decoder refuses is refused again at the request.
TEST_F(TextureFiles, DecodedWithTheArchiveAheadGiveWhatTheRequestReads) {
    if (!loadingThreadsAvailable()) GTEST_SKIP() << "no second thread to decode ahead on";
    std::vector<uint8_t> refused = {0xFF, 0xD8}; // a JPEG's first marker, then nothing of one
    refused.resize(64, 0x5A);
    archive({{"wall.jpg", encodeJpeg(stripes(4, {{200, 10, 10}, {10, 10, 200}}), 4, 2)},
             {"grey.jpg", encodeJpeg({30, 30, 220, 220}, 2, 2, 1)},
             {"broken.jpg", refused}});
    const char* const names[] = {"wall.jpg", "grey.jpg", "broken.jpg"};
    auto writeLooseGrey = [] {
        const std::vector<uint8_t> other = encodeJpeg({200, 200, 10, 10}, 2, 2, 1);
        std::ofstream("grey.jpg", std::ios::binary)
            .write(reinterpret_cast<const char*>(other.data()), std::streamsize(other.size()));
    };
    auto load = [&] {
        useTextureBackend(true);
        Loaded loaded;
        {
            TexturesDecodedAhead decoding;
            for (const char* name : names) loaded.slots.push_back(renderBackend.loadTexture(name, 1));
        }
        loaded.uploads = uploads;
        loaded.table.assign(textureTable.slots, textureTable.slots + textureTable.count);
        return loaded;
    };

    writeLooseGrey();
    const Loaded oneByOne = load();
    std::filesystem::remove("grey.jpg");

    decodeArchiveTexturesAhead(true);
    Loaded ahead;
    {
        ArchiveKeptOpen kept;
        openArchiveAhead();
        for (int waited = 0; archiveTexturesWaiting() < 2 && waited < 5000; ++waited)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        EXPECT_EQ(archiveTexturesWaiting(), 2u); // the refused one is not kept
        writeLooseGrey();
        ahead = load();
        EXPECT_EQ(archiveTexturesWaiting(), 0u);
    }
    decodeArchiveTexturesAhead(false);
    expectSame(ahead, oneByOne);
    useTextureBackend(false);
}

} // namespace
} // namespace kestrune
