// The Direct3D backend over the real DirectX 6 interfaces: device choice, surfaces, depth buffer,
// viewport, a mip-mapped texture, a drawn triangle read back from the back buffer, the flip; a
// flat-shaded fan coloured as the software device colours it; and a call DirectX refuses reaching
// "error.out" with its real result code.
#include <gtest/gtest.h>

#include <windows.h>

#include <jpeglib.h>

#include <bit>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "platform/window.h"
#include "render/direct3d/direct3d_backend.h"
#include "render/direct3d/dx6/dx6_device.h"
#include "render/direct3d/soft/soft_device.h"

namespace kestrune {
namespace {

struct ProcessEnded {
    int status;
};

std::vector<std::string> dialogDescriptions;
PlatformWindow* outputWindow = nullptr;
PlatformWindow windowWithoutSystemWindow; // a record the system knows nothing of

// A 64 x 32 JPEG of one colour, written with the library the show decodes with.
void writeSolidJpeg(const std::string& path, uint8_t r, uint8_t g, uint8_t b) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    jpeg_compress_struct info;
    jpeg_error_mgr errors;
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, file);
    info.image_width = 64;
    info.image_height = 32;
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 95, TRUE);
    jpeg_start_compress(&info, TRUE);
    std::vector<uint8_t> row(64 * 3);
    for (int x = 0; x < 64; ++x) {
        row[x * 3] = r;
        row[x * 3 + 1] = g;
        row[x * 3 + 2] = b;
    }
    while (info.next_scanline < info.image_height) {
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::fclose(file);
}

class DirectX6 : public ::testing::Test {
protected:
    void SetUp() override {
        saved = direct3DHost;
        direct3DHost.system = &directX6System();
        direct3DHost.createOutputWindow = [](void*, WindowProcedure procedure) -> void* {
            int width = 0, height = 0;
            screenSize(width, height);
            outputWindow =
                createWindow("KRV-99", 0, 0, width, height, false, false, procedure, nullptr);
            return outputWindow;
        };
        direct3DHost.destroyOutputWindow = [](void* window) {
            destroyWindow(static_cast<PlatformWindow*>(window));
        };
        direct3DHost.chooseDevice = [](void*, const std::vector<DirectDrawDeviceRecord>& devices) {
            for (const auto& d : devices) dialogDescriptions.push_back(d.driverDescription);
            return devices.empty() ? -1 : 0;
        };
        direct3DHost.messageBox = [](void*, const char*, const char*) {};
        direct3DHost.exitProcess = [](int status) { throw ProcessEnded{status}; };
        direct3DHost.endProcess = [](int status) { throw ProcessEnded{status}; };
        folder = std::filesystem::temp_directory_path() /
                 ("kestrune-dx6-" + std::to_string(GetCurrentProcessId()));
        std::filesystem::create_directories(folder);
        errorPath = (folder / "error.out").string();
        direct3DHost.errorFilePath = errorPath.c_str();
        direct3DDisplay.directDrawErrorCount = 0;
        direct3DDisplay.direct3DErrorCount = 0;
        textureTable.count = 0;
        dialogDescriptions.clear();
    }
    void TearDown() override {
        direct3d::closeDisplay();
        direct3DHost = saved;
        textureTable.count = 0;
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }
    // The status the process would have ended with, or -1 when the display opened.
    int open(int width, int height) {
        try {
            direct3d::openDisplay(width, height, nullptr, nullptr);
        } catch (const ProcessEnded& ended) {
            return ended.status;
        }
        return -1;
    }

    Direct3DHost saved;
    std::filesystem::path folder;
    std::string errorPath;
};

TEST_F(DirectX6, OpensTexturesDrawsAndFlips) {
    ASSERT_EQ(open(640, 480), -1);
    Direct3DDisplay& d = direct3DDisplay;
    ASSERT_FALSE(dialogDescriptions.empty()); // the primary display driver at least
    ASSERT_NE(d.device, nullptr);
    ASSERT_NE(d.viewport, nullptr);
    EXPECT_EQ(outputSize.width, 640);
    EXPECT_EQ(outputSize.height, 480);
    EXPECT_EQ(d.textureFormat.bitCount, 16u);
    EXPECT_GT(d.depthBits, 0u);
    // The back buffer has the display's mode: 640 x 480 x 16 where the switch is allowed, the
    // desktop's mode where it is not (an X server of another depth).
    SurfaceDesc back;
    ASSERT_GE(d.backBuffer->getSurfaceDesc(back), 0);
    DEVMODEA mode{};
    mode.dmSize = sizeof mode;
    ASSERT_TRUE(EnumDisplaySettingsA(nullptr, ENUM_CURRENT_SETTINGS, &mode));
    EXPECT_EQ(back.width, mode.dmPelsWidth);
    EXPECT_EQ(back.height, mode.dmPelsHeight);
    EXPECT_EQ(back.pixelFormat.bitCount, mode.dmBitsPerPel);
    EXPECT_EQ(d.directDrawErrorCount, 12u); // every start-up result went through the reporter

    // A mip-mapped texture: the full chain filled through staging surfaces.
    // (Texture names are short file names in the working directory.)
    const std::string jpeg = "kestrune-dx6-green.jpg";
    writeSolidJpeg(jpeg, 0, 255, 0);
    const uint16_t index = direct3d::loadTexture(jpeg.c_str(), 1);
    std::filesystem::remove(jpeg);
    ASSERT_LT(index, textureTable.count);
    auto* texture = static_cast<Direct3DTextureData*>(textureTable.slots[index].direct3dData);
    ASSERT_NE(texture, nullptr);
    ASSERT_NE(texture->surface, nullptr);
    // Every level of the chain holds the image: the smallest one is green as well.
    int levels = 1;
    DirectDrawSurface* level = texture->surface;
    level->addRef();
    for (;;) {
        DirectDrawSurface* next = nullptr;
        level->getAttachedSurface(DDSCAPS_TEXTURE | DDSCAPS_MIPMAP, &next);
        if (!next) break;
        level->release();
        level = next;
        ++levels;
    }
    EXPECT_GE(levels, 6); // 64 x 32 down to 2 x 1 at least
    SurfaceDesc smallest;
    ASSERT_GE(level->lock(smallest), 0);
    const uint16_t texel = *static_cast<const uint16_t*>(smallest.surface);
    level->unlock();
    level->release();
    const PixelFormat& tf = d.textureFormat;
    EXPECT_EQ(texel & tf.greenMask, tf.greenMask);
    EXPECT_EQ(texel & (tf.redMask | tf.blueMask), 0u);

    // One untextured red triangle over the middle, read back from the back buffer.
    direct3d::beginFrame();
    direct3d::beginScene();
    d.device->setTexture(0, nullptr);
    d.device->setRenderState(D3DRENDERSTATE_CULLMODE, D3DCULL_NONE);
    const LitVertex triangle[3] = {{-0.2f, -0.2f, 1, 0, 0xFF0000, 0, 0, 0},
                                   {0.2f, -0.2f, 1, 0, 0xFF0000, 0, 0, 0},
                                   {0, 0.2f, 1, 0, 0xFF0000, 0, 0, 0}};
    EXPECT_GE(d.device->drawPrimitive(D3DPT_TRIANGLELIST, D3DFVF_LVERTEX, triangle, 3,
                                      D3DDP_WAIT | D3DDP_DONOTLIGHT),
              0);
    direct3d::endScene();
    SurfaceDesc pixels;
    ASSERT_GE(d.backBuffer->lock(pixels), 0);
    auto at = [&](int x, int y) -> uint32_t {
        const auto* row = static_cast<const uint8_t*>(pixels.surface) + y * pixels.pitch;
        if (back.pixelFormat.bitCount == 32) return reinterpret_cast<const uint32_t*>(row)[x];
        return reinterpret_cast<const uint16_t*>(row)[x];
    };
    const uint32_t middle = at(320, 240); // the middle of the 640 x 480 viewport
    const uint32_t corner = at(5, 5);
    d.backBuffer->unlock();
    EXPECT_EQ(middle & back.pixelFormat.redMask, back.pixelFormat.redMask);
    EXPECT_EQ(middle & (back.pixelFormat.greenMask | back.pixelFormat.blueMask), 0u);
    EXPECT_EQ(corner & 0xFFFFFFu, 0u); // cleared to black
    direct3d::endFrame();
    EXPECT_FALSE(std::filesystem::exists(errorPath));
}

// Draws a flat-shaded fan through the open display: a square around the middle with red, green,
// blue and white corners. Returns the colours, as 0xRRGGBB with each channel on or off, above the
// diagonal (fan triangle 0) and below it (fan triangle 1).
std::pair<uint32_t, uint32_t> flatFanColours() {
    Direct3DDisplay& d = direct3DDisplay;
    direct3d::beginFrame();
    direct3d::beginScene();
    d.device->setTexture(0, nullptr);
    d.device->setRenderState(D3DRENDERSTATE_CULLMODE, D3DCULL_NONE);
    d.device->setRenderState(D3DRENDERSTATE_SHADEMODE, D3DSHADE_FLAT);
    const LitVertex fan[4] = {{-0.2f, 0.2f, 1, 0, 0xFF0000, 0, 0, 0},
                              {0.2f, 0.2f, 1, 0, 0x00FF00, 0, 0, 0},
                              {0.2f, -0.2f, 1, 0, 0x0000FF, 0, 0, 0},
                              {-0.2f, -0.2f, 1, 0, 0xFFFFFF, 0, 0, 0}};
    EXPECT_GE(d.device->drawPrimitive(D3DPT_TRIANGLEFAN, D3DFVF_LVERTEX, fan, 4,
                                      D3DDP_WAIT | D3DDP_DONOTLIGHT),
              0);
    direct3d::endScene();
    SurfaceDesc pixels;
    EXPECT_GE(d.backBuffer->lock(pixels), 0);
    if (!pixels.surface) return {0xBAD, 0xBAD};
    const PixelFormat& f = pixels.pixelFormat;
    auto at = [&](int x, int y) {
        const auto* row = static_cast<const uint8_t*>(pixels.surface) + y * pixels.pitch;
        const uint32_t p = f.bitCount == 32 ? reinterpret_cast<const uint32_t*>(row)[x]
                                            : reinterpret_cast<const uint16_t*>(row)[x];
        auto on = [p](uint32_t mask) { return (p & std::bit_floor(mask)) != 0; }; // its top bit
        return (on(f.redMask) ? 0xFF0000u : 0) | (on(f.greenMask) ? 0x00FF00u : 0) |
               (on(f.blueMask) ? 0x0000FFu : 0);
    };
    const auto colours = std::make_pair(at(340, 220), at(300, 260));
    d.backBuffer->unlock();
    direct3d::endFrame();
    return colours;
}

TEST_F(DirectX6, FlatFanColoursMatchTheSoftwareDevice) {
    ASSERT_EQ(open(640, 480), -1);
    const auto directX = flatFanColours();
    direct3d::closeDisplay();

    SoftDirectDrawSystem soft;
    direct3DHost.system = &soft;
    ASSERT_EQ(open(640, 480), -1);
    const auto software = flatFanColours();
    // Fan triangle i takes vertex i + 1: green above the diagonal, blue below.
    EXPECT_EQ(directX.first, 0x00FF00u);
    EXPECT_EQ(directX.second, 0x0000FFu);
    EXPECT_EQ(software, directX);
    direct3d::closeDisplay(); // while the software system still exists
}

TEST_F(DirectX6, RefusedCooperativeLevelWritesItsRealCode) {
    // Exclusive full screen without a window: DirectDraw itself refuses the cooperative level,
    // the third result through the reporter.
    direct3DHost.createOutputWindow = [](void*, WindowProcedure) -> void* {
        return &windowWithoutSystemWindow;
    };
    direct3DHost.destroyOutputWindow = [](void*) {};
    EXPECT_EQ(open(640, 480), 1);
    std::ifstream in(errorPath, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str(), "DDraw error:Count:3 ERROR:DDERR_INVALIDPARAMS ");
}

} // namespace
} // namespace kestrune
