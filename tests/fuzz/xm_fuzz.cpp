// Loads arbitrary bytes as a module and renders about 200 ticks through the device (no thread),
// once with the packed mixing kernels and once with their scalar definition, which must agree.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>
#include <vector>

#include "music/module_player.h"
#include "music/wave_out_device.h"

namespace {

// One module on one device; the player is loaded afresh, since rendering advances it.
struct Rendering {
    kestrune::ModulePlayer player;
    kestrune::WaveOutDevice device;
    std::vector<int16_t> block = std::vector<int16_t>(2 * kestrune::kBlockFrames);
    bool attached = false;

    Rendering(std::span<const uint8_t> module, int switches) : device(switches) {
        attached = player.loadFromMemory(module) != 0 && device.attach(&player) != 0;
    }
    ~Rendering() {
        if (attached) device.detach(&player);
    }
    void render() { device.render(block.data(), kestrune::kBlockFrames); }
};

} // namespace

// The last byte picks the mixer's ramping and interpolation switches (its two low bits), as the
// show itself only ever mixes with both on; the bytes before it are the module.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace kestrune;
    if (size < 2 || size > (1u << 20)) return 0; // keep each input's work bounded
    const int switches = data[size - 1] & (MixRamping | MixInterpolation);
    const std::span<const uint8_t> module(data, size - 1);
    Rendering packed(module, switches);
    if (!packed.attached) return 0;
    Rendering scalar(module, switches | MixScalarKernels);
    if (!scalar.attached) std::abort();
    // 8250 frames a block: 9 to 30 ticks each at the tempos a module can set.
    for (int i = 0; i < 12; ++i) {
        packed.render();
        scalar.render();
        if (std::memcmp(packed.block.data(), scalar.block.data(), packed.block.size() * 2) != 0)
            std::abort(); // the packed kernels left their definition
    }
    return 0;
}
