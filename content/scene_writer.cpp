// Writes scene descriptions as scene text files: objects, bones, lights, camera and their keys.
#include "content/scene_writer.h"

#include <cstdarg>
#include <cstdio>
#include <stdexcept>

namespace kestrune {

SceneKey motionKey(int frame, Vec3 position, Vec3 angles, Vec3 scale) {
    SceneKey key;
    key.values = {position.x, position.y, position.z, angles.x, angles.y,
                  angles.z,   scale.x,    scale.y,    scale.z};
    key.frame = frame;
    return key;
}

KeyedChannels stillMotion(Vec3 position, Vec3 angles, Vec3 scale) {
    return {9, {motionKey(0, position, angles, scale)}, 1};
}

SceneEnvelope constantEnvelope(float value) {
    SceneEnvelope e;
    e.constant = value;
    return e;
}

SceneEnvelope keyedEnvelope(const std::vector<std::pair<int, float>>& points, int endBehavior,
                            bool linear) {
    SceneEnvelope e;
    e.keyed = true;
    e.keys.endBehavior = endBehavior;
    for (auto [frame, value] : points) {
        SceneKey key;
        key.values[0] = value;
        key.frame = frame;
        key.linear = linear ? 1 : 0;
        e.keys.keys.push_back(key);
    }
    return e;
}

namespace {

struct TextOut {
    std::string s;
    void line(const char* fmt, ...) __attribute__((format(printf, 2, 3))) {
        char buffer[512];
        va_list args;
        va_start(args, fmt);
        std::vsnprintf(buffer, sizeof buffer, fmt, args);
        va_end(args);
        s += buffer;
        s += '\n';
    }
};

void writeBlock(TextOut& out, const KeyedChannels& c) {
    if (c.keys.empty()) throw std::runtime_error("a motion needs at least one key");
    for (size_t k = 1; k < c.keys.size(); ++k)
        if (c.keys[k].frame <= c.keys[k - 1].frame)
            throw std::runtime_error("motion keys must have increasing frames");
    if (c.endBehavior == 2 && c.keys.back().frame <= 0)
        throw std::runtime_error("a repeating motion needs its last key after frame 0");
    out.line("  %d", c.channelCount);
    out.line("  %d", static_cast<int>(c.keys.size()));
    for (const SceneKey& key : c.keys) {
        std::string values = " ";
        for (int i = 0; i < c.channelCount; ++i) {
            char v[32];
            std::snprintf(v, sizeof v, " %.6g", key.values[i]);
            values += v;
        }
        out.line("%s", values.c_str());
        out.line("  %d %d %.6g %.6g %.6g", key.frame, key.linear, key.tension, key.continuity,
                 key.bias);
    }
    out.line("EndBehavior %d", c.endBehavior);
}

void writeMotion(TextOut& out, const char* keyword, const KeyedChannels& c) {
    if (c.channelCount != 9) throw std::runtime_error("a motion has nine channels");
    out.line("%s (unnamed)", keyword);
    writeBlock(out, c);
}

void writeEnvelope(TextOut& out, const char* keyword, const SceneEnvelope& e) {
    if (!e.keyed) {
        out.line("%s %.6g", keyword, e.constant);
        return;
    }
    out.line("%s (envelope)", keyword);
    writeBlock(out, e.keys);
}

} // namespace

std::string writeSceneText(const SceneDraft& scene) {
    if (scene.objects.size() > 256 || scene.lights.size() > 256)
        throw std::runtime_error("a scene holds at most 256 objects and 256 lights");
    TextOut out;
    out.line("LWSC");
    out.line("1");
    out.line("%s", "");
    out.line("FirstFrame %d", scene.firstFrame);
    out.line("LastFrame %d", scene.lastFrame);
    out.line("FrameStep 1");
    out.line("PreviewFirstFrame %d", scene.firstFrame);
    out.line("PreviewLastFrame %d", scene.lastFrame);
    out.line("PreviewFrameStep 1");
    out.line("FramesPerSecond %.6g", scene.framesPerSecond);
    out.line("%s", "");
    for (const ObjectDraft& o : scene.objects) {
        if (o.path.empty())
            out.line("AddNullObject NullObject");
        else
            out.line("LoadObject %s", o.path.c_str());
        out.line("ShowObject 6 7");
        writeMotion(out, "ObjectMotion", o.motion);
        if (o.parent) out.line("ParentObject %d", o.parent);
        if (o.pivot) out.line("PivotPoint %.6g %.6g %.6g", o.pivot->x, o.pivot->y, o.pivot->z);
        if (o.dissolve) writeEnvelope(out, "ObjDissolve", *o.dissolve);
        if (o.morphTarget) out.line("MorphTarget %d", o.morphTarget);
        if (o.metamorph) writeEnvelope(out, "Metamorph", *o.metamorph);
        if (o.boneFalloffType >= 0) out.line("BoneFalloffType %d", o.boneFalloffType);
        if (o.bones.size() > 128) throw std::runtime_error("an object holds at most 128 bones");
        for (const BoneDraft& b : o.bones) {
            out.line("AddBone");
            out.line("BoneName %s", b.name.c_str());
            out.line("ShowBone 1 -1");
            out.line("BoneActive 1");
            out.line("BoneRestPosition %.6g %.6g %.6g", b.restPosition.x, b.restPosition.y,
                     b.restPosition.z);
            out.line("BoneRestDirection %.6g %.6g %.6g", b.restDirection.x, b.restDirection.y,
                     b.restDirection.z);
            out.line("BoneRestLength %.6g", b.restLength);
            out.line("ScaleBoneStrength %d", b.scaleStrength);
            out.line("BoneStrength %.6g", b.strength);
            if (b.limitedRange) {
                out.line("BoneLimitedRange 1");
                out.line("BoneMinRange %.6g", b.minRange);
                out.line("BoneMaxRange %.6g", b.maxRange);
            }
            writeMotion(out, "BoneMotion", b.motion);
            if (b.parent) out.line("ParentObject %d", b.parent);
        }
        out.line("%s", "");
    }
    out.line("AmbientColor 255 255 255");
    out.line("AmbIntensity 0.05");
    out.line("%s", "");
    for (const LightDraft& l : scene.lights) {
        out.line("AddLight");
        out.line("LightName %s", l.name.c_str());
        out.line("ShowLight 0 7");
        writeMotion(out, "LightMotion", l.motion);
        if (l.parent) out.line("ParentObject %d", l.parent);
        out.line("LightColor %d %d %d", l.color[0], l.color[1], l.color[2]);
        writeEnvelope(out, "LgtIntensity", l.intensity);
        out.line("LightType %d", l.type);
        out.line("LensFlare %d", l.lensFlare);
        if (l.flareIntensity) writeEnvelope(out, "FlareIntensity", *l.flareIntensity);
        out.line("%s", "");
    }
    out.line("ShowCamera 1 2");
    writeMotion(out, "CameraMotion", scene.camera);
    writeEnvelope(out, "ZoomFactor", scene.zoom);
    out.line("%s", "");
    return out.s;
}

} // namespace kestrune
