// Bone rest frames, per-point bone weights (once, at load) and skeletal deformation (per frame).
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>

#include "scene/scene.h"

namespace kestrune {

namespace {

// A bone's chain from its root down to the bone itself. The reader limits chains to 25
// ancestors and removes loops; the walk stops there too, so hand-built records cannot make it
// run away.
struct Chain {
    const Bone* bones[kMaxBoneAncestors + 1];
    int length; // bones[0] is the root, bones[length - 1] the bone
};

Chain boneChain(const Bone& bone) {
    const Bone* upward[kMaxBoneAncestors + 1];
    int length = 0;
    for (const Bone* b = &bone; b && length <= kMaxBoneAncestors; b = b->parent)
        upward[length++] = b;
    Chain chain;
    chain.length = length;
    for (int i = 0; i < length; ++i) chain.bones[i] = upward[length - 1 - i];
    return chain;
}

Mat3 restOrientation(const Bone& bone) {
    return orientation(bone.restDirection.x, bone.restDirection.y, bone.restDirection.z);
}

Vec3 add(Vec3 a, Vec3 b) {
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
Vec3 subtract(Vec3 a, Vec3 b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
Vec3 scaled(Vec3 a, Vec3 b) {
    return {a.x * b.x, a.y * b.y, a.z * b.z};
}
Vec3 channelPosition(const Motion& m) {
    return {m.values[0], m.values[1], m.values[2]};
}
Vec3 channelScale(const Motion& m) {
    return {m.values[6], m.values[7], m.values[8]};
}
Mat3 channelOrientation(const Motion& m) {
    return orientation(m.values[3], m.values[4], m.values[5]);
}

size_t livePoints(const SceneObject& object) {
    return std::min<size_t>(object.mesh.pointCount, object.mesh.points.size());
}

} // namespace

Mat3 boneRestMatrix(const Bone& bone) {
    const Chain chain = boneChain(bone);
    Mat3 o = identityMatrix();
    for (int i = 0; i < chain.length; ++i) o = multiply(o, restOrientation(*chain.bones[i]));
    return transpose(o);
}

Vec3 boneRestOrigin(const Bone& bone) {
    const Chain chain = boneChain(bone);
    Vec3 r = chain.bones[0]->restPosition;
    Mat3 a = identityMatrix();
    for (int i = 0; i + 1 < chain.length; ++i) {
        a = multiply(a, restOrientation(*chain.bones[i]));
        r = add(r, transform(a, chain.bones[i + 1]->restPosition));
    }
    return r;
}

void computeBoneWeights(SceneObject& object) {
    const size_t points = livePoints(object);
    object.weightSums.assign(points, 0.0f);
    object.unreachedPoints.clear();
    // A point on or a hair from a bone has a huge raw weight; bounding each weight by this share
    // of the float range keeps every weight and every sum over the bones finite.
    const double limit = std::numeric_limits<float>::max() /
                         static_cast<double>(std::max<size_t>(object.bones.size(), 1));
    for (Bone& bone : object.bones) {
        if (bone.scaleStrength == 1) bone.strength *= bone.restLength;
        bone.restMatrix = boneRestMatrix(bone);
        bone.restOrigin = boneRestOrigin(bone);
        bone.weights.assign(points, 0.0f);
        for (size_t k = 0; k < points; ++k) {
            const Vec3 d = transform(bone.restMatrix,
                                     subtract(object.mesh.points[k].position, bone.restOrigin));
            const float q = std::max(std::min(d.z, bone.restLength), 0.0f);
            const float s = std::sqrt(d.x * d.x + d.y * d.y + (d.z - q) * (d.z - q));
            // s to the power 2^t by repeated squaring, in single precision like s, so a power
            // that underflows counts as on the bone; any other type behaves as 0.
            float f = s;
            const int squarings = object.boneFalloffType >= 0 && object.boneFalloffType <= 4
                                      ? object.boneFalloffType
                                      : 0;
            for (int i = 0; i < squarings; ++i) f *= f;
            if (f == 0) f = 0.001f;
            const double w = std::sqrt(1.0 / f);
            if (bone.limitedRange == 0 || (bone.minRange <= s && s <= bone.maxRange)) {
                const double weighted = std::clamp(w * bone.strength, -limit, limit);
                bone.weights[k] = static_cast<float>(weighted);
                object.weightSums[k] = static_cast<float>(object.weightSums[k] + weighted);
            } else {
                bone.weights[k] = 1e-10f;
            }
        }
    }
    for (size_t k = 0; k < points; ++k) {
        const float sum = object.weightSums[k];
        bool finite = sum != 0;
        for (Bone& bone : object.bones) {
            if (!finite) break;
            bone.weights[k] /= sum;
            finite = std::isfinite(bone.weights[k]);
        }
        if (!finite) {
            // No bone reaches the point (every bone out of range, or of strength 0), or
            // strengths of both signs cancel so nearly that the quotients overflow: its weights
            // would be undefined, so they are 0 and deformBones keeps it at rest.
            for (Bone& bone : object.bones) bone.weights[k] = 0;
            object.unreachedPoints.push_back(static_cast<uint16_t>(k));
        }
    }
    object.weightSums.clear();
    object.weightSums.shrink_to_fit();
}

void deformBones(SceneObject& object, float frame) {
    if (object.boneCount == 0 || object.bones.empty()) return;
    for (Bone& bone : object.bones) evaluateMotion(bone.motion, frame);
    const size_t points = std::min(livePoints(object), object.restPoints.size());
    MeshPoint* out = object.mesh.points.data();
    const MeshPoint* rest = object.restPoints.data();
    for (size_t j = 0; j < object.bones.size(); ++j) {
        const Bone& bone = object.bones[j];
        const Chain chain = boneChain(bone);
        const Motion& root = chain.bones[0]->motion;
        Vec3 t = channelPosition(root);
        Vec3 s = channelScale(root);
        Mat3 a = identityMatrix();
        for (int i = 0; i + 1 < chain.length; ++i) {
            const Motion& next = chain.bones[i + 1]->motion;
            a = multiply(a, channelOrientation(chain.bones[i]->motion));
            t = add(t, transform(a, scaled(s, channelPosition(next))));
            s = scaled(s, channelScale(next));
        }
        const Mat3 f = multiply(multiply(a, channelOrientation(bone.motion)), bone.restMatrix);
        const size_t n = std::min(points, bone.weights.size());
        const float* weights = bone.weights.data();
        // The first bone starts every point afresh (a zero weight gives zero, not the rest
        // point); the later bones add their terms.
        for (size_t k = 0; k < n; ++k) {
            const float w = weights[k];
            const Vec3 p = add(transform(f, subtract(rest[k].position, bone.restOrigin)), t);
            const Vec3 m = transform(f, rest[k].normal);
            if (j == 0) {
                out[k].position = {w * p.x, w * p.y, w * p.z};
                out[k].normal = {w * m.x, w * m.y, w * m.z};
            } else {
                out[k].position = add(out[k].position, {w * p.x, w * p.y, w * p.z});
                out[k].normal = add(out[k].normal, {w * m.x, w * m.y, w * m.z});
            }
        }
    }
    for (uint16_t k : object.unreachedPoints) {
        if (k >= points) continue;
        out[k].position = rest[k].position;
        out[k].normal = rest[k].normal;
    }
}

} // namespace kestrune
