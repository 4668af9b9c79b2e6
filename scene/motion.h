// Keyed motion channels and envelopes: evaluation at a frame and the heading/pitch/bank convention.
#pragma once

#include <cstdint>
#include <vector>

#include "scene/matrix.h"

namespace kestrune {

constexpr int kMotionChannels = 9;

// Degrees to radians as the show converts them: the float nearest 0.01745328, a little below
// pi/180.
constexpr float degreesToRadians = 0.01745328f;

struct MotionKey {
    float values[kMotionChannels] = {}; // only the first channelCount are meaningful
    float tension = 0, continuity = 0, bias = 0;
    int32_t linear = 0; // non-zero: the segment that ends at this key is linear
    int32_t frame = 0;
    MotionKey* prev = nullptr; // neighbours within the same motion, null at the ends
    MotionKey* next = nullptr;
};

// Channels of the nine-channel motions: 0..2 position x, y, z; 3..5 heading, pitch, bank in
// degrees; 6..8 scale x, y, z. An envelope uses channel 0 only.
struct Motion {
    float values[kMotionChannels] = {}; // current channel values, written by evaluateMotion
    std::vector<MotionKey> keys;     // prev/next point into this vector (copies relink them)
    int32_t keyCount = 0;
    int32_t channelCount = 0; // 0..9
    int32_t lastKeyFrame = 0; // frame of the last key read (0 for a constant envelope)
    int32_t endBehavior = 0;  // after the last key: 0 first key, 1 last key, 2 repeat

    Motion() = default;
    Motion(const Motion& other);
    Motion& operator=(const Motion& other);
    Motion(Motion&&) noexcept = default;
    Motion& operator=(Motion&&) noexcept = default;
};

using Envelope = Motion; // one channel; its current value is values[0]

struct HermiteWeights {
    float h1, h2, h3, h4;
};

// Allocates count zeroed keys (count < 0 counts as 0), links prev/next and sets keyCount.
void allocateKeys(Motion& motion, int count);

HermiteWeights hermiteBasis(float t);

// Writes the first channelCount entries of values for frame f. A motion without keys evaluates
// to 0 in every channel.
void evaluateMotion(Motion& motion, float frame);

// O(h, p, b) = Ry(h) Rx(p) Rz(b), angles in degrees: places an item in its parent's frame.
Mat3 orientation(float heading, float pitch, float bank);

// O(h, p, b) transposed, in the written-out form the camera matrix is stored in: maps parent or
// world coordinates into the item's frame.
Mat3 orientationTranspose(float heading, float pitch, float bank);

} // namespace kestrune
