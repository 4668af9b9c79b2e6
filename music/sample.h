// One sample of an instrument: its playback settings, loop and decoded frames.
#pragma once

#include <cstdint>

#include "music/sound_buffer.h"

namespace kestrune {

enum LoopType : int { LoopNone = 0, LoopForward = 1, LoopPingPong = 2 };

struct Sample {
    uint8_t volume = 0;      // 0..64
    int8_t finetune = 0;     // -128..127, 1/128 of a semitone
    uint8_t panning = 0;     // 0..255
    int8_t relativeNote = 0; // semitones
    char name[22] = {};
    int empty = 1;     // 1 until frames of non-zero length were loaded
    int length = 0;    // frames
    int loopStart = 0; // frames
    int loopEnd = 0;   // frames, loopStart < loopEnd <= length when looping
    int loopType = LoopNone;
    int bits = 8; // 8 or 16
    int size = 0; // bytes
    SoundBuffer data;
};

} // namespace kestrune
