// The software implementation of the Direct3D device layer: one primary display driver and one
// software RGB device drawing into 16-bit 5-6-5 surfaces with a 16-bit depth buffer.
#pragma once

#include <cstdint>
#include <vector>

#include "render/direct3d/direct3d_device.h"

namespace kestrune {

// Where the front buffer goes when the device flips; all null draws nothing (headless).
struct SoftPresenter {
    // The display mode was set (width x height, 16 bits) for the cooperative window.
    void (*setMode)(void* window, int width, int height) = nullptr;
    // Shows the front buffer: 5-6-5 pixels, pitch in pixels.
    void (*present)(void* window, const uint16_t* pixels, int width, int height,
                    int pitch) = nullptr;
    // The desktop mode is back.
    void (*restore)(void* window) = nullptr;
};

// The descriptions the software device enumerates itself with.
inline constexpr const char* kSoftDriverDescription = "Primary Display Driver";
inline constexpr const char* kSoftDeviceDescription = "Kestrune software rasteriser";

// One Direct3D device as enumerated. Only the RGB device can be created; other listings let
// tests put the backend's choice rules to work.
struct SoftDeviceListing {
    Guid guid;
    const char* description;
    const char* name;
    DeviceDesc hardware; // any flag set: a hardware device
    DeviceDesc software;
};

// The software device itself: no hardware flags, the RGB colour model.
inline constexpr SoftDeviceListing kSoftRgbListing{
    kDirect3DRgbDevice, kSoftDeviceDescription, "RGB Emulation", {0, 0}, {0x7FF, D3DCOLOR_RGB}};

struct SoftDeviceConfig {
    uint32_t screenWidth = 640; // the desktop mode, pixels
    uint32_t screenHeight = 480;
    SoftPresenter presenter;
    int rasterThreads = 0; // threads a device rasterises with; 0: rasterThreadCount()
    std::vector<SoftDeviceListing> devices = {kSoftRgbListing};
};

class SoftDirectDrawSystem : public DirectDrawSystem {
public:
    explicit SoftDirectDrawSystem(const SoftDeviceConfig& config = {});
    HResult enumerateDrivers(uint32_t flags, const DriverCallback& callback) override;
    HResult createDirectDraw(const Guid* guid, DirectDraw** result) override;

    // Makes call number n (counted from 1 over every result-returning call of every object of
    // this device) return code without doing its work; n = 0 switches it off.
    void failCall(uint64_t n, HResult code) {
        failAt_ = n;
        failCode_ = code;
    }
    uint64_t callCount() const { return calls_; }

    // Counts a call; the failure code when it is the one chosen to fail, else DD_OK.
    HResult enter() {
        ++calls_;
        return calls_ == failAt_ ? failCode_ : DD_OK;
    }
    const SoftDeviceConfig& config() const { return config_; }

private:
    SoftDeviceConfig config_;
    uint64_t calls_ = 0;
    uint64_t failAt_ = 0;
    HResult failCode_ = DD_OK;
};

} // namespace kestrune
