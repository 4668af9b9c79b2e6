// A music source the output device advances tick by tick and whose voices it mixes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "music/voice.h"

namespace kestrune {

class WaveOutDevice;

constexpr int kMaxSourceVoices = 32;
constexpr int kSyncEvents = 256;

struct SyncEvent {
    int time = -1; // ms on the device's clock; -1 = empty entry
    int channel = 0;
    int parameter = 0;
    int reserved = 0;
};

struct SyncEventList {
    SyncEvent entries[kSyncEvents];
};

class SoundSource {
public:
    virtual ~SoundSource() = default;
    virtual int loadFromMemory(std::span<const uint8_t> data) = 0; // channel count or 0
    virtual int loadFromFile(const char* name) = 0;                // channel count or 0
    virtual int finished() = 0;
    virtual void tick() = 0;
    virtual void resetChannels() = 0;
    virtual void restart() = 0;
    virtual float ticksPerSecond() = 0;

    Voice* voices[kMaxSourceVoices] = {}; // claimed from the device at attach
    int voicesNeeded = 0;                 // the channel count
    int attached = 0;
    WaveOutDevice* device = nullptr;
    int syncTime = 0; // ms on the device's clock when the current tick will be heard
    SyncEventList syncEvents;
    int masterVolume = 9; // in 32nds
};

} // namespace kestrune
