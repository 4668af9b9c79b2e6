// Evaluation of keyed motions: Kochanek-Bartels Hermite and linear segments, end behaviours.
#include "scene/motion.h"

#include <cmath>
#include <cstddef>

namespace kestrune {

namespace {

void linkKeys(Motion& motion) {
    const size_t count = motion.keys.size();
    for (size_t i = 0; i < count; ++i) {
        motion.keys[i].prev = i > 0 ? &motion.keys[i - 1] : nullptr;
        motion.keys[i].next = i + 1 < count ? &motion.keys[i + 1] : nullptr;
    }
}

void setAll(Motion& motion, const float* values) {
    for (int c = 0; c < motion.channelCount && c < kMotionChannels; ++c) motion.values[c] = values[c];
}

// Frame difference of two keys as a float, without int32 overflow for extreme frames.
float frameSpan(int32_t from, int32_t to) {
    return static_cast<float>(static_cast<int64_t>(to) - static_cast<int64_t>(from));
}

} // namespace

Motion::Motion(const Motion& other)
    : keys(other.keys), keyCount(other.keyCount), channelCount(other.channelCount),
      lastKeyFrame(other.lastKeyFrame), endBehavior(other.endBehavior) {
    for (int c = 0; c < kMotionChannels; ++c) values[c] = other.values[c];
    linkKeys(*this);
}

Motion& Motion::operator=(const Motion& other) {
    if (this != &other) {
        for (int c = 0; c < kMotionChannels; ++c) values[c] = other.values[c];
        keys = other.keys;
        keyCount = other.keyCount;
        channelCount = other.channelCount;
        lastKeyFrame = other.lastKeyFrame;
        endBehavior = other.endBehavior;
        linkKeys(*this);
    }
    return *this;
}

void allocateKeys(Motion& motion, int count) {
    if (count < 0) count = 0;
    motion.keys.assign(static_cast<size_t>(count), MotionKey{});
    linkKeys(motion);
    motion.keyCount = count;
}

HermiteWeights hermiteBasis(float t) {
    const float t2 = t * t;
    const float t3 = t2 * t;
    HermiteWeights w;
    w.h2 = 3 * t2 - 2 * t3;
    w.h1 = 1 - w.h2;
    w.h3 = t3 - 2 * t2 + t;
    w.h4 = t3 - t2;
    return w;
}

void evaluateMotion(Motion& motion, float frame) {
    // keyCount is trusted only as far as the keys vector backs it.
    const int count = motion.keyCount < static_cast<int>(motion.keys.size())
                          ? motion.keyCount
                          : static_cast<int>(motion.keys.size());
    if (count <= 0) {
        // A motion or envelope the file never gave: every channel is 0.
        for (float& value : motion.values) value = 0;
        return;
    }
    const MotionKey* keys = motion.keys.data();
    if (count == 1) {
        setAll(motion, keys[0].values);
        return;
    }
    float f = frame;
    if (f > static_cast<float>(motion.lastKeyFrame)) {
        if (motion.endBehavior == 0) {
            setAll(motion, keys[0].values);
            return;
        }
        // Repeating needs a positive period; a repeat over lastKeyFrame <= 0, and any end
        // behaviour other than 0, 1 and 2, holds the last key like 1.
        if (motion.endBehavior != 2 || motion.lastKeyFrame <= 0) {
            setAll(motion, keys[count - 1].values);
            return;
        }
        // Truncate toward zero, then the remainder after division by lastKeyFrame. fmod is exact,
        // so this equals the integer remainder and stays defined for frames beyond int32.
        f = static_cast<float>(std::fmod(std::trunc(static_cast<double>(f)),
                                         static_cast<double>(motion.lastKeyFrame)));
    }

    // The search stops at the last segment, so keys out of frame order never run past the end.
    int k = 0;
    while (k + 2 < count && static_cast<float>(keys[k + 1].frame) < f) ++k;
    const MotionKey& k0 = keys[k];
    const MotionKey& k1 = keys[k + 1];
    const float span = frameSpan(k0.frame, k1.frame);
    // Two keys on one frame: the segment collapses onto its end key rather than dividing by 0.
    const float t = span != 0 ? (f - static_cast<float>(k0.frame)) / span : 1.0f;
    const int channels = motion.channelCount < kMotionChannels ? motion.channelCount : kMotionChannels;

    if (k1.linear != 0) {
        for (int c = 0; c < channels; ++c)
            motion.values[c] = k0.values[c] + (k1.values[c] - k0.values[c]) * t;
        return;
    }

    const HermiteWeights h = hermiteBasis(t);
    const float alpha = (1 + k0.continuity) * (1 + k0.bias) * (1 - k0.tension);
    const float beta = (1 - k0.continuity) * (1 - k0.bias) * (1 - k0.tension);
    const float gamma = (1 + k1.bias) * (1 - k1.continuity) * (1 - k1.tension);
    const float delta = (1 - k1.bias) * (1 + k1.continuity) * (1 - k1.tension);
    const MotionKey* before = k > 0 ? &keys[k - 1] : nullptr;
    const MotionKey* after = k + 2 < count ? &keys[k + 2] : nullptr;
    // A neighbour on the same frame as the far key of the segment gives a zero denominator; that
    // side's tangent is then dropped (ratio 0) instead of becoming infinite.
    float r0 = 0, r1 = 0;
    if (before) {
        const float d = frameSpan(before->frame, k1.frame);
        r0 = d != 0 ? span / d : 0.0f;
    }
    if (after) {
        const float d = frameSpan(k0.frame, after->frame);
        r1 = d != 0 ? span / d : 0.0f;
    }
    for (int c = 0; c < channels; ++c) {
        const float p0 = k0.values[c];
        const float p1 = k1.values[c];
        const float diff = p1 - p0;
        const float tOut = before ? (beta * diff + alpha * (p0 - before->values[c])) * r0
                                  : 0.5f * (alpha + beta) * diff;
        const float tIn = after ? (gamma * diff + delta * (after->values[c] - p1)) * r1
                                : 0.5f * (gamma + delta) * diff;
        motion.values[c] = h.h1 * p0 + h.h2 * p1 + h.h3 * tOut + h.h4 * tIn;
    }
}

Mat3 orientationTranspose(float heading, float pitch, float bank) {
    const float h = -heading * degreesToRadians;
    const float p = -pitch * degreesToRadians;
    const float b = -bank * degreesToRadians;
    const float ch = std::cos(h), sh = std::sin(h);
    const float cp = std::cos(p), sp = std::sin(p);
    const float cb = std::cos(b), sb = std::sin(b);
    Mat3 r;
    r.m[0][0] = ch * cb - sh * sp * sb;
    r.m[0][1] = -cp * sb;
    r.m[0][2] = ch * sp * sb + sh * cb;
    r.m[1][0] = sh * sp * cb + ch * sb;
    r.m[1][1] = cp * cb;
    r.m[1][2] = sh * sb - ch * sp * cb;
    r.m[2][0] = -sh * cp;
    r.m[2][1] = sp;
    r.m[2][2] = ch * cp;
    return r;
}

Mat3 orientation(float heading, float pitch, float bank) {
    return transpose(orientationTranspose(heading, pitch, bank));
}

} // namespace kestrune
