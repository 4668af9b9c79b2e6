// One playing sample as the mixer sees it.
#pragma once

#include <cstdint>

#include "music/sample.h"

namespace kestrune {

enum VoiceState : int { VoiceOwned = 0, VoiceFree = 1, VoiceReleasing = 3 };

struct Voice {
    const Sample* sample = nullptr; // none = silent
    int64_t time = -1;              // output frame up to which it has been mixed; -1 until placed
    int targetLeftVolume = 0;       // 0..255
    int targetRightVolume = 0;      // 0..255
    int position = 0;               // frame in the sample
    int positionFraction = 0;       // 1/65536 frames
    int step = 0;                   // whole frames per output frame
    int stepFraction = 0;           // 1/65536 frames
    int state = VoiceFree;
    int direction = 1;          // +1 forward, -1 backward (ping-pong)
    int currentLeftVolume = 0;  // 0..255
    int currentRightVolume = 0; // 0..255
    int volume = 0;             // 0..255 (the sequencer writes 0..72)
    int panning = 128;          // 0..255, 128 centre
    float frequency = 0;        // Hz
};

} // namespace kestrune
