// Music written to a WAV file as the show's output device plays it, block by block: music before
// the wanted stretch is rendered and dropped, so memory stays constant however far the stretch
// starts, and the file takes its name only once it is complete.
#pragma once

#include <cstdint>
#include <string>

namespace kestrune {

class ModulePlayer;

// The most frames a 16-bit stereo WAV file can hold: its 32-bit size fields count bytes.
constexpr int64_t kMaxWavFrames = (0xFFFFFFFFll - 36) / 4;

// Whether seconds of sound fit in one WAV file; when not, message says the longest that does.
bool wavLengthFits(double seconds, std::string& message);

struct WavStretch {
    int64_t silence = 0; // frames of silence the file starts with
    int64_t skip = 0;    // frames of music rendered and dropped before the kept music
    int64_t frames = 0;  // frames in the file, the silence included; at most kMaxWavFrames
};

// Plays the loaded player from its start through a wave device on an offline output into the
// stretch of wavPath (no player: silence throughout). False, with a one-line reason in error,
// when the file cannot be written; the target is then as it was.
bool writeMusicWav(ModulePlayer* player, const std::string& wavPath, const WavStretch& stretch,
                   std::string& error);

} // namespace kestrune
