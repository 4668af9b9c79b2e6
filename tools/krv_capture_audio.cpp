// The sound track of krv capture: the module through a wave device on the offline output, so the
// stretch holds exactly what the show's device plays.
#include "tools/krv_capture_audio.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include "music/module_player.h"
#include "music/offline_output.h"
#include "music/sound_buffer.h"
#include "music/wave_out_device.h"

namespace kestrune {

bool writeCaptureAudio(const std::string& wavPath, const char* modulePath, int64_t startFrame,
                       int64_t frames, int64_t attachFrame) {
    frames = std::max<int64_t>(frames, 0);
    std::vector<int16_t> samples(size_t(frames) * 2, 0);
    if (attachFrame >= 0) {
        // Music frames to leave out (the stretch starts after the attach) and silent frames to
        // lead with (it starts before).
        const int64_t skip = std::max<int64_t>(0, startFrame - attachFrame);
        const int64_t silence = std::min(frames, std::max<int64_t>(0, attachFrame - startFrame));
        const int64_t needed = skip + frames - silence;
        ModulePlayer player;
        if (needed > 0 && player.loadFromFile(modulePath) != 0) {
            auto output = std::make_unique<OfflineOutput>(needed);
            OfflineOutput* offline = output.get();
            WaveOutDevice device;
            // Attached before the output opens, so the first block holds the song's start.
            device.attach(&player);
            device.open(std::move(output));
            offline->waitFinished();
            device.detach(&player);
            device.stop();
            const std::vector<int16_t>& music = offline->frames();
            for (int64_t i = 0; i < frames - silence; ++i) {
                const size_t from = size_t(skip + i) * 2, to = size_t(silence + i) * 2;
                if (from + 1 >= music.size()) break;
                samples[to] = music[from];
                samples[to + 1] = music[from + 1];
            }
        }
    }
    std::FILE* file = std::fopen(wavPath.c_str(), "wb");
    if (!file) return false;
    uint8_t header[44];
    wavHeader(header, frames, kMixRate);
    bool ok = std::fwrite(header, 1, 44, file) == 44;
    std::vector<uint8_t> bytes(samples.size() * 2);
    for (size_t i = 0; i < samples.size(); ++i) {
        bytes[2 * i] = uint8_t(uint16_t(samples[i]) & 0xFF);
        bytes[2 * i + 1] = uint8_t(uint16_t(samples[i]) >> 8);
    }
    ok = ok && std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && ok;
}

} // namespace kestrune
