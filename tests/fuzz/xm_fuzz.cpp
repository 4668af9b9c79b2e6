// Loads arbitrary bytes as a module and renders about 200 ticks through the device (no thread).
#include <cstddef>
#include <cstdint>
#include <vector>

#include "music/module_player.h"
#include "music/wave_out_device.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace kestrune;
    if (size > (1u << 20)) return 0; // keep each input's work bounded
    ModulePlayer player;
    if (player.loadFromMemory(std::span<const uint8_t>(data, size)) == 0) return 0;
    WaveOutDevice device;
    if (device.attach(&player) == 0) return 0;
    static std::vector<int16_t> block(2 * kBlockFrames);
    // 8250 frames a block: 9 to 30 ticks each at the tempos a module can set.
    for (int i = 0; i < 12; ++i) device.render(block.data(), kBlockFrames);
    device.detach(&player);
    return 0;
}
