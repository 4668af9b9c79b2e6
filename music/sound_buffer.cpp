// Creating sound buffers and splitting regions of the mixing ring.
#include "music/sound_buffer.h"

#include <algorithm>

namespace kestrune {

SoundBuffer createSoundBuffer(int rate, int frames, int bits, int channels) {
    SoundBuffer b;
    b.sampleRate = rate;
    b.bitsPerSample = bits;
    b.channelCount = channels;
    if ((bits != 8 && bits != 16 && bits != 32) || frames < 0 || channels < 1 || channels > 2)
        return b;
    b.frameCount = frames;
    b.bytesPerSample = bits / 8;
    b.bytesPerFrame = b.bytesPerSample * channels;
    b.byteSize = frames * b.bytesPerFrame;
    b.storage.assign((static_cast<size_t>(b.byteSize) + 2 * kSoundBufferSpare + 1) / 2, 0);
    return b;
}

SoundBuffer createMixRing() {
    return createSoundBuffer(kMixRate, kMixRate, 16, 2);
}

RingRegion mixRingRegion(const SoundBuffer& ring, int64_t start, int count) {
    RingRegion r;
    const int n = ring.frameCount;
    if (n <= 0 || count <= 0) return r;
    count = std::min(count, n);
    const int begin = static_cast<int>(((start % n) + n) % n);
    r.first.start = begin;
    if (begin + count < n) {
        r.first.count = count;
    } else {
        r.first.count = n - begin;
        r.second.count = count - r.first.count;
    }
    return r;
}

} // namespace kestrune
