// The Direct3D backend on the software device: opening, device and format choice, the error
// reporters end to end through the failure switch, and the process endings.
#include <cstdlib>

#include "mesh/mesh.h"
#include "platform/canvas.h"
#include "render/direct3d/soft/soft_backend.h"
#include "tests/direct3d/direct3d_test_host.h"

namespace kestrune::test {
namespace {

using BackendTest = Direct3DTest;

TEST_F(BackendTest, OpensOnTheSoftwareDevice) {
    EXPECT_EQ(open(64, 48), -1);
    ASSERT_EQ(direct3DRecord.dialogDescriptions.size(), 1u);
    EXPECT_EQ(direct3DRecord.dialogDescriptions[0], kSoftDriverDescription);
    EXPECT_EQ(direct3DRecord.dialogPrimaryFlags[0], 1);
    EXPECT_EQ(device->callCount(), uint64_t(CallSetProjection));

    // The only device is a software RGB device: chosen, but not "found" as a HAL device.
    EXPECT_EQ(direct3DDisplay.deviceGuid, kDirect3DRgbDevice);
    EXPECT_FALSE(direct3DDisplay.deviceFound);
    EXPECT_EQ(direct3DDisplay.depthBits, 16u);
    SurfaceDesc depth;
    ASSERT_GE(direct3DDisplay.depthBuffer->getSurfaceDesc(depth), 0);
    EXPECT_TRUE(depth.caps & DDSCAPS_SYSTEMMEMORY);
    EXPECT_FALSE(depth.caps & DDSCAPS_VIDEOMEMORY);
    EXPECT_EQ(depth.width, 64u);
    EXPECT_EQ(depth.height, 48u);

    // The device lists a 32-bit format first: the first 16-bit one, 5-6-5, is taken.
    EXPECT_EQ(direct3DDisplay.textureFormat.bitCount, 16u);
    EXPECT_EQ(direct3DDisplay.textureFormat.redMask, 0xF800u);
    EXPECT_EQ(direct3DDisplay.textureFormat.greenMask, 0x07E0u);

    EXPECT_EQ(outputSize.width, 64);
    EXPECT_EQ(outputSize.height, 48);
    EXPECT_EQ(outputSize.bitsPerPixel, 16);
    uint32_t value = 0;
    direct3DDisplay.device->getRenderState(D3DRENDERSTATE_ZENABLE, value);
    EXPECT_EQ(value, 1u);
    direct3DDisplay.device->getRenderState(D3DRENDERSTATE_ZFUNC, value);
    EXPECT_EQ(value, uint32_t(D3DCMP_LESSEQUAL));
    // Every DirectDraw result on the way went through the reporter, successes included.
    EXPECT_EQ(direct3DDisplay.directDrawErrorCount, 12u);
    EXPECT_EQ(direct3DDisplay.direct3DErrorCount, 3u);
    EXPECT_FALSE(std::filesystem::exists(errorFile));
}

// Devices listed by the software device in the given order; only its own RGB device can be
// created, so a choice of another ends with "Couldn't get a D3Ddevice".
class DeviceChoiceTest : public Direct3DTest {
protected:
    void list(std::vector<SoftDeviceListing> devices) {
        SoftDeviceConfig config;
        config.devices = std::move(devices);
        device = std::make_unique<SoftDirectDrawSystem>(config);
        direct3DHost.system = device.get();
    }
    static SoftDeviceListing hardware(const Guid& guid) {
        return {guid, "hardware", "hw", {0x1, 0}, {0x7FF, D3DCOLOR_RGB}};
    }
    static SoftDeviceListing mono() {
        return {kMono, "mono", "mono", {0, 0}, {0x7FF, D3DCOLOR_MONO}};
    }
    static constexpr Guid kMono{
        0xF2086B20, 0x259F, 0x11CF, {0xA3, 0x1A, 0, 0xAA, 0, 0xB9, 0x33, 0x56}};
    static constexpr Guid kOtherCard{1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}};
};

TEST_F(DeviceChoiceTest, AHardwareDeviceIsFoundAndGetsItsDepthBufferInVideoMemory) {
    list({kSoftRgbListing, hardware(kDirect3DHalDevice)});
    EXPECT_EQ(open(), 1);
    EXPECT_EQ(direct3DDisplay.deviceGuid, kDirect3DHalDevice);
    EXPECT_TRUE(direct3DDisplay.deviceFound);
    SurfaceDesc depth;
    ASSERT_GE(direct3DDisplay.depthBuffer->getSurfaceDesc(depth), 0);
    EXPECT_TRUE(depth.caps & DDSCAPS_VIDEOMEMORY);
    ASSERT_EQ(direct3DRecord.messages.size(), 1u);
    EXPECT_EQ(direct3DRecord.messages[0], "ERROR!|Couldn\u00B4t get a D3Ddevice :(");
}

TEST_F(DeviceChoiceTest, ALaterHardwareDeviceReplacesAnEarlierOne) {
    list({hardware(kDirect3DHalDevice), kSoftRgbListing, hardware(kOtherCard)});
    EXPECT_EQ(open(), 1);
    EXPECT_EQ(direct3DDisplay.deviceGuid, kOtherCard);
    SurfaceDesc depth;
    ASSERT_GE(direct3DDisplay.depthBuffer->getSurfaceDesc(depth), 0);
    EXPECT_TRUE(depth.caps & DDSCAPS_SYSTEMMEMORY) << "only the HAL device's is in video memory";
}

TEST_F(DeviceChoiceTest, SoftwareDevicesChooseWhileNothingIsFound) {
    // A mono device after the RGB one replaces it (neither sets found)...
    list({kSoftRgbListing, mono()});
    EXPECT_EQ(open(), 1);
    EXPECT_EQ(direct3DDisplay.deviceGuid, kMono);
    EXPECT_FALSE(direct3DDisplay.deviceFound);

    // ... and the RGB device after a mono one is taken and opens.
    TearDown();
    SetUp();
    list({mono(), kSoftRgbListing});
    EXPECT_EQ(open(), -1);
    EXPECT_EQ(direct3DDisplay.deviceGuid, kDirect3DRgbDevice);
}

TEST_F(BackendTest, CancellingTheDialogEndsAtOnceWithStatusZeroAndNoMessage) {
    direct3DRecord.dialogAnswer = -1;
    EXPECT_EQ(open(), 0);
    EXPECT_TRUE(endedAtOnce);
    EXPECT_TRUE(direct3DRecord.messages.empty());
    EXPECT_FALSE(std::filesystem::exists(errorFile));
}

TEST_F(BackendTest, ThirdResultFailingWritesItsEntryWithCountThree) {
    device->failCall(CallSetCooperativeLevel, DDERR_INVALIDPARAMS);
    EXPECT_EQ(open(), 1) << "a failure ends with status 1";
    EXPECT_FALSE(endedAtOnce) << "through the normal exit path";
    // The entry's trailing space is part of the file.
    EXPECT_EQ(errorText(), "DDraw error:Count:3 ERROR:DDERR_INVALIDPARAMS ");
    EXPECT_TRUE(direct3DRecord.messages.empty());
}

TEST_F(BackendTest, EntriesWithoutTrailingSpaceAndUnknownCodes) {
    device->failCall(CallCreatePrimary, DDERR_OUTOFMEMORY);
    EXPECT_EQ(open(), 1);
    EXPECT_EQ(errorText(), "DDraw error:Count:8 ERROR:DDERR_OUTOFMEMORY");

    TearDown();
    SetUp();
    device->failCall(CallGetBackBufferDesc, HResult(int32_t(0x80001234u)));
    EXPECT_EQ(open(), 1);
    EXPECT_EQ(errorText(), "DDraw error:UNKNOWN ERROR CODE:-2147478988 ERROR COUNT:10");
}

TEST_F(BackendTest, EveryEntryIsFormattedWithItsCount) {
    char text[128];
    formatErrorText(directDrawErrorEntry(DDERR_SURFACELOST), DDERR_SURFACELOST, 7, text,
                    sizeof text);
    EXPECT_STREQ(text, "Count:7 ERROR:DDERR_SURFACELOST ");
    formatErrorText(directDrawErrorEntry(DDERR_NOMIPMAPHW), DDERR_NOMIPMAPHW, 1, text, sizeof text);
    EXPECT_STREQ(text, "Count:1 ERROR:DDERR_NOMIPMAPHW ");
    formatErrorText(directDrawErrorEntry(DDERR_INVALIDPIXELFORMAT), DDERR_INVALIDPIXELFORMAT, 2,
                    text, sizeof text);
    EXPECT_STREQ(text, "Count:2 ERROR:DDERR_INVALIDPIXELFORMAT");
    // The Direct3D entries never end in a space, DDERR_INVALIDPARAMS included.
    formatErrorText(direct3DErrorEntry(DDERR_INVALIDPARAMS), DDERR_INVALIDPARAMS, 3, text,
                    sizeof text);
    EXPECT_STREQ(text, "Count:3 ERROR:DDERR_INVALIDPARAMS");
    EXPECT_EQ(directDrawErrorEntry(D3DERR_INBEGIN), nullptr);
    EXPECT_EQ(DDERR_INVALIDPARAMS, int32_t(0x80070057u));
    EXPECT_EQ(DDERR_SURFACELOST, int32_t(0x887601C2u));
    EXPECT_EQ(D3DERR_VERTEXBUFFEROPTIMIZED, int32_t(0x8876080Cu));
}

TEST_F(BackendTest, Direct3DReporterShowsItsBox) {
    device->failCall(CallSetViewport, D3DERR_SETVIEWPORTDATA_FAILED);
    EXPECT_EQ(open(), 1);
    ASSERT_EQ(direct3DRecord.messages.size(), 1u);
    EXPECT_EQ(direct3DRecord.messages[0],
              "Direct3D error!|Count:3 ERROR:D3DERR_SETVIEWPORTDATA_FAILED");
    EXPECT_FALSE(std::filesystem::exists(errorFile));
}

TEST_F(BackendTest, FixedMessagesEndWithStatusOne) {
    // No depth formats reported at all.
    device->failCall(CallEnumZBufferFormats, DDERR_GENERIC);
    EXPECT_EQ(open(), 1);
    ASSERT_EQ(direct3DRecord.messages.size(), 1u);
    EXPECT_EQ(direct3DRecord.messages[0], "ERROR|The device doesn\u00B4t support Zbuffert!");

    TearDown();
    SetUp();
    device->failCall(CallCreateDevice, DDERR_GENERIC);
    EXPECT_EQ(open(), 1);
    ASSERT_EQ(direct3DRecord.messages.size(), 1u);
    EXPECT_EQ(direct3DRecord.messages[0], "ERROR!|Couldn\u00B4t get a D3Ddevice :(");
}

TEST_F(BackendTest, DepthTestThatDoesNotReadBackOnEndsWithStatusOne) {
    device->failCall(CallSetDepthTest, DDERR_GENERIC);
    EXPECT_EQ(open(), 1);
    EXPECT_TRUE(direct3DRecord.messages.empty());
    EXPECT_FALSE(std::filesystem::exists(errorFile));
}

TEST_F(BackendTest, WindowThatCannotBeMadeEndsAtOnceWithStatusOne) {
    direct3DHost.createOutputWindow = [](void*, WindowProcedure) -> void* { return nullptr; };
    EXPECT_EQ(open(), 1);
    EXPECT_TRUE(endedAtOnce);
    EXPECT_EQ(device->callCount(), 0u);
}

TEST_F(BackendTest, CloseReleasesEverythingAndCanOpenAgain) {
    ASSERT_EQ(open(), -1);
    direct3d::closeDisplay();
    EXPECT_EQ(direct3DDisplay.directDraw, nullptr);
    EXPECT_EQ(direct3DDisplay.device, nullptr);
    // Closing twice does nothing more.
    direct3d::closeDisplay();
    EXPECT_EQ(open(32, 32), -1);
    EXPECT_EQ(outputSize.width, 32);
}

TEST_F(BackendTest, FillsTheTableInOrder) {
    RenderBackend table;
    fillDirect3DBackend(table);
    EXPECT_EQ(table.openDisplay, &direct3d::openDisplay);
    EXPECT_EQ(table.endScene, &direct3d::endScene);
    EXPECT_EQ(table.loadTexture, &direct3d::loadTexture);
}

} // namespace
} // namespace kestrune::test

namespace kestrune::test {
namespace {

// The real output window on SDL's offscreen driver: a flip lands in the window's pixels.
TEST(PresentationTest, FlipShowsTheFrontBufferInTheOutputWindow) {
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    const Direct3DHost saved = direct3DHost;
    direct3DHost = platformDirect3DHost();
    direct3DHost.exitProcess = [](int status) { throw ProcessEnded{status, false}; };
    direct3DHost.endProcess = [](int status) { throw ProcessEnded{status, true}; };
    RenderBackend table;
    fillSoftDirect3DBackend(table);
    ASSERT_NO_THROW(table.openDisplay(64, 48, nullptr, nullptr));
    auto* window = static_cast<PlatformWindow*>(direct3DDisplay.window);
    ASSERT_NE(window, nullptr);
    ASSERT_FALSE(window->canvas.empty());

    // A clear to black, then one flat grey point in the middle.
    table.beginFrame();
    table.beginScene();
    Mesh mesh;
    MeshPoint p{};
    p.cameraPosition = {0, 0, 1};
    p.litColor[0] = p.litColor[1] = p.litColor[2] = 50;
    mesh.points.push_back(p);
    mesh.pointCount = 1;
    MeshPolygon polygon{};
    polygon.flags = PolyFlat;
    polygon.vertexCount = 1;
    polygon.vertices = {0};
    table.drawPolygon(mesh, polygon);
    table.endScene();
    table.endFrame();
    EXPECT_EQ(canvasPixel(window, 32, 24), (Color{99, 101, 99})) << "(100, 100, 100) in 5-6-5";
    EXPECT_EQ(canvasPixel(window, 31, 24), (Color{0, 0, 0}));

    table.closeDisplay();
    EXPECT_EQ(direct3DDisplay.window, nullptr);
    direct3DHost = saved;
}

} // namespace
} // namespace kestrune::test
