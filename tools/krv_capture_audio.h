// The sound track of krv capture: the show's music rendered offline for a stretch of show time.
#pragma once

#include <cstdint>
#include <string>

namespace kestrune {

constexpr double kCaptureRate = 44100; // frames per second of the WAV file

// Writes frames stereo frames to a 16-bit WAV file: the stretch from startFrame of show time, in
// which the module (read from modulePath) plays from attachFrame on, silence before it; -1 for
// music never attached. A module that cannot be read leaves the stretch silent.
bool writeCaptureAudio(const std::string& wavPath, const char* modulePath, int64_t startFrame,
                       int64_t frames, int64_t attachFrame);

} // namespace kestrune
