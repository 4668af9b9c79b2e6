// A block of PCM frames with its format: the mixing ring and every sample's data are one.
#pragma once

#include <cstdint>
#include <vector>

namespace kestrune {

// Zeroed bytes kept before and after the frames. The interpolating mixer reads one frame past the
// current one and a fast voice may stand up to one step outside its loop, so reads just outside
// the frames stay inside the allocation.
constexpr int kSoundBufferSpare = 256;

struct SoundBuffer {
    std::vector<int16_t> storage; // spare, frames, spare; int16_t keeps 16-bit frames aligned
    int sampleRate = 0;           // Hz
    int bitsPerSample = 0;        // 8, 16 or 32
    int channelCount = 0;         // 1 or 2
    int frameCount = 0;
    int bytesPerSample = 0;
    int bytesPerFrame = 0;
    int byteSize = 0; // of the frames, without the spare bytes

    bool hasData() const { return !storage.empty(); }
    uint8_t* bytes() { return reinterpret_cast<uint8_t*>(storage.data()) + kSoundBufferSpare; }
    const uint8_t* bytes() const {
        return reinterpret_cast<const uint8_t*>(storage.data()) + kSoundBufferSpare;
    }
    int8_t* samples8() { return reinterpret_cast<int8_t*>(bytes()); }
    const int8_t* samples8() const { return reinterpret_cast<const int8_t*>(bytes()); }
    int16_t* samples16() { return storage.data() + kSoundBufferSpare / 2; }
    const int16_t* samples16() const { return storage.data() + kSoundBufferSpare / 2; }
};

// Bits other than 8, 16 or 32, or a negative count, give a buffer without data.
SoundBuffer createSoundBuffer(int rate, int frames, int bits, int channels);

// The mixing ring: one second of 16-bit stereo at 44100 Hz.
constexpr int kMixRate = 44100;
SoundBuffer createMixRing();

struct RingSpan {
    int start = 0; // frame
    int count = 0; // frames
};
struct RingRegion {
    RingSpan first, second; // second is empty unless the region crosses the ring's end
};

// count frames from start (taken modulo the ring's length), split at the ring's end; a count
// longer than the ring is cut to the ring.
RingRegion mixRingRegion(const SoundBuffer& ring, int64_t start, int count);

} // namespace kestrune
