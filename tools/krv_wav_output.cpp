// Music written to a WAV file block by block through the show's output device.
#include "tools/krv_wav_output.h"

#include <algorithm>
#include <bit>
#include <memory>
#include <vector>

#include "archive/replace_file.h"
#include "music/module_player.h"
#include "music/offline_output.h"
#include "music/sound_buffer.h"
#include "music/wave_out_device.h"
#include "platform/audio.h"
#include "tools/krv_files.h"

namespace kestrune {

namespace {

bool writeSilence(FileReplacement& file, int64_t frames) {
    static const std::vector<uint8_t> zeros(64 * 1024, 0);
    for (int64_t left = frames * 4; left > 0;) {
        const size_t n = size_t(std::min<int64_t>(left, int64_t(zeros.size())));
        if (!file.write(zeros.data(), n)) return false;
        left -= int64_t(n);
    }
    return true;
}

} // namespace

bool wavLengthFits(double seconds, std::string& message) {
    if (seconds * kMixRate + 0.5 <= double(kMaxWavFrames)) return true;
    message = "a WAV file holds at most " + std::to_string(kMaxWavFrames / kMixRate) +
              " seconds (4 GiB)";
    return false;
}

bool writeMusicWav(ModulePlayer* player, const std::string& wavPath, const WavStretch& stretch,
                   std::string& error) {
    if (!checkOutputIsNotFolder(wavPath, error)) return false;
    error = "cannot write '" + wavPath + "'";
    if (stretch.frames < 0 || stretch.frames > kMaxWavFrames) return false;
    FileReplacement file(wavPath);
    if (!file.isOpen()) return false;
    uint8_t header[44];
    wavHeader(header, stretch.frames, kMixRate);
    const int64_t silence = std::clamp<int64_t>(stretch.silence, 0, stretch.frames);
    if (!file.write(header, sizeof header) ||
        !writeSilence(file, player ? silence : stretch.frames))
        return false;
    if (player && stretch.frames > silence) {
        // WAV data is little-endian; so is every machine this builds for.
        static_assert(std::endian::native == std::endian::little);
        auto output = std::make_unique<OfflineOutput>(
            stretch.frames - silence,
            [&file](const int16_t* frames, int64_t count) {
                return file.write(frames, size_t(count) * 4);
            },
            stretch.skip);
        OfflineOutput* offline = output.get();
        WaveOutDevice device;
        // Attached before the output opens, so the first block already holds the song's start.
        device.attach(player);
        device.open(std::move(output));
        const bool written = offline->waitFinished();
        device.detach(player);
        device.stop();
        if (!written) return false;
    }
    if (!file.commit()) return false;
    error.clear();
    return true;
}

} // namespace kestrune
