// A Direct3D backend on a fresh software device, with hooks that record instead of ending the
// process, raising windows or waiting on a person.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "render/direct3d/direct3d_backend.h"
#include "render/direct3d/soft/soft_device.h"
#include "render/direct3d/soft/soft_rasterizer.h"

namespace kestrune::test {

// Thrown by the exit hooks: the process would have ended here.
struct ProcessEnded {
    int status;
    bool atOnce; // without destructors
};

struct Direct3DRecord {
    std::vector<std::string> messages; // "caption|text"
    std::vector<std::string> dialogDescriptions;
    std::vector<uint8_t> dialogPrimaryFlags;
    int dialogAnswer = 0;
};

inline Direct3DRecord direct3DRecord;
inline int dummyWindow;

// The calls of the software device during openDisplay, in order (counted from 1), as the
// failure switch numbers them.
enum OpenCall : uint64_t {
    CallEnumerateDrivers = 1,
    CallCreateDirectDraw,
    CallSetCooperativeLevel,
    CallQueryDirectDraw4,
    CallTestCooperativeLevel,
    CallEnumDisplayModes,
    CallQueryDirect3D,
    CallSetDisplayMode,
    CallCreatePrimary,
    CallGetBackBuffer,
    CallEnumDevices,
    CallGetBackBufferDesc,
    CallEnumZBufferFormats,
    CallCreateDepthBuffer,
    CallAttachDepthBuffer,
    CallCreateDevice,
    CallEnumTextureFormats,
    CallCreateViewport,
    CallAddViewport,
    CallSetViewport,
    CallSetWorld,
    CallSetView,
    CallSetFirstProjection,
    CallSetCurrentViewport,
    CallSetDepthTest,
    CallSetDepthFunction,
    CallReadDepthTest,
    CallSetProjection,
};

class Direct3DTest : public ::testing::Test {
protected:
    void SetUp() override {
        direct3DRecord = {};
        direct3DDisplay.directDrawErrorCount = 0;
        direct3DDisplay.direct3DErrorCount = 0;
        device = std::make_unique<SoftDirectDrawSystem>();
        Direct3DHost host;
        host.system = device.get();
        host.createOutputWindow = [](void*, WindowProcedure) -> void* { return &dummyWindow; };
        host.destroyOutputWindow = [](void*) {};
        host.chooseDevice = [](void*, const std::vector<DirectDrawDeviceRecord>& devices) {
            for (const auto& d : devices) {
                direct3DRecord.dialogDescriptions.push_back(d.driverDescription);
                direct3DRecord.dialogPrimaryFlags.push_back(d.primary);
            }
            return direct3DRecord.dialogAnswer;
        };
        host.messageBox = [](void*, const char* caption, const char* text) {
            direct3DRecord.messages.push_back(std::string(caption) + "|" + text);
        };
        host.exitProcess = [](int status) { throw ProcessEnded{status, false}; };
        host.endProcess = [](int status) { throw ProcessEnded{status, true}; };
        errorFile =
            std::filesystem::temp_directory_path() /
            ("kestrune_error_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
             "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".out");
        std::filesystem::remove(errorFile);
        errorPath = errorFile.string();
        host.errorFilePath = errorPath.c_str();
        saved = direct3DHost;
        direct3DHost = host;
        textureTable.count = 0;
    }

    void TearDown() override {
        direct3d::closeDisplay();
        direct3DHost = saved;
        textureTable.count = 0;
        std::filesystem::remove(errorFile);
    }

    // Opens the display; the status the process would have ended with, or -1 when it goes on.
    int open(int width = 64, int height = 48) {
        try {
            direct3d::openDisplay(width, height, nullptr, nullptr);
        } catch (const ProcessEnded& ended) {
            endedAtOnce = ended.atOnce;
            return ended.status;
        }
        return -1;
    }

    std::string errorText() const {
        std::ifstream in(errorFile, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    // The front buffer after a flip.
    std::vector<uint16_t> frontBuffer(int& width, int& height) {
        SurfaceDesc desc;
        EXPECT_GE(direct3DDisplay.primary->lock(desc), 0);
        width = int(desc.width);
        height = int(desc.height);
        std::vector<uint16_t> pixels(size_t(width) * size_t(height));
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                pixels[size_t(y) * size_t(width) + size_t(x)] = static_cast<const uint16_t*>(
                    desc.surface)[size_t(y) * size_t(desc.pitch / 2) + size_t(x)];
        direct3DDisplay.primary->unlock();
        return pixels;
    }

    std::unique_ptr<SoftDirectDrawSystem> device;
    Direct3DHost saved;
    std::filesystem::path errorFile;
    std::string errorPath;
    bool endedAtOnce = false;
};

} // namespace kestrune::test
