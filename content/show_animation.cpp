// Building blocks of the show's scenes: camera paths, loops and spins, the walking figure with
// its bones, lights, and letters that fly in to spell a line.
#include "content/show_animation.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "content/font.h"
#include "content/geometry.h"

namespace kestrune {

namespace {
constexpr float kPi = std::numbers::pi_v<float>;
} // namespace

Vec3 aim(Vec3 from, Vec3 to) {
    Vec3 d = to - from;
    float heading = std::atan2(d.x, d.z) * kDegreesPerRadian;
    float pitch = -std::atan2(d.y, std::sqrt(d.x * d.x + d.z * d.z)) * kDegreesPerRadian;
    return {heading, pitch, 0};
}

KeyedChannels cameraPath(const std::vector<CameraStop>& stops, int endBehavior) {
    KeyedChannels c;
    c.endBehavior = endBehavior;
    float previousHeading = 0;
    for (const CameraStop& s : stops) {
        Vec3 angles = aim(s.from, s.to);
        // Keep headings continuous so keys never swing the long way round.
        if (!c.keys.empty()) {
            while (angles.x - previousHeading > 180) angles.x -= 360;
            while (angles.x - previousHeading < -180) angles.x += 360;
        }
        previousHeading = angles.x;
        SceneKey key = motionKey(s.frame, s.from, angles);
        key.tension = s.tension;
        key.continuity = s.continuity;
        key.bias = s.bias;
        key.linear = s.linear;
        c.keys.push_back(key);
    }
    return c;
}

KeyedChannels spin(Vec3 position, Vec3 ratePerCycle, int cycleFrames, Vec3 scale) {
    KeyedChannels c;
    c.endBehavior = 2;
    for (int k = 0; k <= 4; ++k) {
        SceneKey key = motionKey(cycleFrames * k / 4, position, ratePerCycle * (k / 4.0f), scale);
        key.linear = 1;
        c.keys.push_back(key);
    }
    return c;
}

// A point on a closed loop, repeated forever: keys around an ellipse.
KeyedChannels orbit(Vec3 center, Vec3 radii, int cycleFrames, float phase, Vec3 scale) {
    KeyedChannels c;
    c.endBehavior = 2;
    for (int k = 0; k <= 8; ++k) {
        float a = phase + 2 * kPi * k / 8;
        Vec3 p = {center.x + radii.x * std::cos(a), center.y + radii.y * std::sin(a * 2),
                  center.z + radii.z * std::sin(a)};
        c.keys.push_back(motionKey(cycleFrames * k / 8, p, {0, 0, 0}, scale));
    }
    c.keys.back().values = c.keys.front().values;
    return c;
}

// The walker: bones that follow a 40-frame walk cycle, and an object path.

ObjectDraft walker(int falloff, const std::vector<WalkPath>& path, bool scaleStrength) {
    ObjectDraft o;
    o.path = "Objects\\walker.lwo";
    o.boneFalloffType = falloff;
    o.motion.endBehavior = 1;
    for (const WalkPath& w : path) {
        SceneKey key = motionKey(w.frame, w.position, {w.heading, 0, 0});
        o.motion.keys.push_back(key);
    }
    const auto& bones = figureBones();
    for (size_t i = 0; i < bones.size(); ++i) {
        const FigureBone& fb = bones[i];
        BoneDraft b;
        b.name = fb.name;
        b.parent = fb.parent + 1;
        b.restPosition = fb.restPosition;
        b.restDirection = fb.restDirection;
        b.restLength = fb.restLength;
        b.strength = 1;
        b.scaleStrength = scaleStrength ? 1 : 0;
        b.limitedRange = true;
        b.minRange = 0;
        b.maxRange = fb.range;
        b.motion.endBehavior = 2;
        std::string name = fb.name;
        for (int k = 0; k <= 4; ++k) {
            float phase = 2 * kPi * k / 4;
            float s = std::sin(phase), c = std::cos(phase);
            Vec3 position = fb.restPosition;
            Vec3 angles = fb.restDirection;
            float bob = 0.03f * std::fabs(c) - 0.02f;
            if (fb.parent < 0) position.y += bob;
            if (name == "Spine") {
                angles.z = 3 * s;
                angles.x = 5 * s;
            } else if (name == "Head") {
                angles.x = -4 * s;
                angles.y = 3 * std::fabs(c);
            } else if (name == "ThighL") {
                angles.y = 90 - 25 * s;
            } else if (name == "ThighR") {
                angles.y = 90 + 25 * s;
            } else if (name == "ShinL") {
                const float bend[5] = {35, 5, 10, 15, 35};
                angles.y = bend[k];
            } else if (name == "ShinR") {
                const float bend[5] = {10, 15, 35, 5, 10};
                angles.y = bend[k];
            } else if (name == "ArmL") {
                angles.y = 90 + 20 * s;
                angles.z = -6;
            } else if (name == "ArmR") {
                angles.y = 90 - 20 * s;
                angles.z = 6;
            } else if (name == "HandL" || name == "HandR") {
                angles.y = -18 - 8 * (name == "HandL" ? s : -s);
            }
            b.motion.keys.push_back(motionKey(kStride * k / 4, position, angles));
        }
        o.bones.push_back(b);
    }
    return o;
}

// A straight walk from a start along a heading, one stride every kStride frames.
std::vector<WalkPath> straightWalk(Vec3 start, float heading, int frames, float speed) {
    float h = heading / kDegreesPerRadian;
    Vec3 direction = {std::sin(h), 0, std::cos(h)};
    return {{0, start, heading}, {frames, start + direction * (speed * frames), heading}};
}

ObjectDraft still(const char* path, Vec3 position, Vec3 angles, Vec3 scale) {
    ObjectDraft o;
    o.path = path;
    o.motion = stillMotion(position, angles, scale);
    return o;
}

ObjectDraft nullObject(KeyedChannels motion) {
    ObjectDraft o;
    o.motion = std::move(motion);
    return o;
}

LightDraft distantLight(Vec3 angles, int r, int g, int b, SceneEnvelope intensity) {
    LightDraft l;
    l.name = "Sun";
    l.type = 0;
    l.motion = stillMotion({0, 10, -10}, angles);
    l.color[0] = r;
    l.color[1] = g;
    l.color[2] = b;
    l.intensity = std::move(intensity);
    return l;
}

LightDraft pointLight(KeyedChannels motion, int r, int g, int b, SceneEnvelope intensity,
                          int parent, bool flare) {
    LightDraft l;
    l.name = "Lamp";
    l.type = 1;
    l.motion = std::move(motion);
    l.color[0] = r;
    l.color[1] = g;
    l.color[2] = b;
    l.intensity = std::move(intensity);
    l.parent = parent;
    if (flare) {
        l.lensFlare = 1;
        l.flareIntensity = constantEnvelope(0.8f);
    }
    return l;
}

LightDraft spotLight(KeyedChannels motion, int r, int g, int b, SceneEnvelope intensity,
                         int parent, bool flare) {
    LightDraft l = pointLight(std::move(motion), r, g, b, std::move(intensity), parent, flare);
    l.name = "Spot";
    l.type = 2;
    return l;
}

int addObject(SceneDraft& scene, ObjectDraft object) {
    scene.objects.push_back(std::move(object));
    return static_cast<int>(scene.objects.size()); // 1-based, as the file counts
}

// Letters of one line, each its own object under a null that carries the line.
void addTextLine(SceneDraft& scene, const TextLine& line, KeyedChannels carrier, float distance) {
    int parent = addObject(scene, nullObject(std::move(carrier)));
    // Lines shrink to fit the overlay's view, about 2 units wide at this distance.
    float fit = 0.75f * distance / (kLetterAdvance * 0.05f * static_cast<float>(line.text.size()));
    float letterScale = std::min(line.scale, fit);
    float advance = kLetterAdvance * 0.05f * letterScale;
    float width = advance * static_cast<float>(line.text.size());
    for (size_t i = 0; i < line.text.size(); ++i) {
        char c = line.text[i];
        if (c == ' ' || !fontHas(c)) continue;
        ObjectDraft letter;
        letter.path = "Objects\\" + letterObjectName(c);
        letter.parent = parent;
        int stagger = static_cast<int>(i) * 3;
        int in = line.start + stagger, out = line.end + stagger / 2;
        Vec3 home = {-width / 2 + advance * (i + 0.5f), line.y - 0.175f * letterScale, distance};
        Vec3 from = home + Vec3{0, 0.9f, -1.2f};
        Vec3 away = home + Vec3{(i % 2 ? 1.0f : -1.0f) * 0.5f, -0.8f, 1.5f};
        Vec3 scale = {letterScale, letterScale, letterScale};
        letter.motion.endBehavior = 0; // back to the first key (hidden) when done
        SceneKey k0 = motionKey(0, from, {180, 0, 0}, scale);
        SceneKey k1 = motionKey(in, from, {180, 40, 0}, scale);
        SceneKey k2 = motionKey(in + 18, home, {0, 0, 0}, scale);
        k2.tension = -0.3f;
        SceneKey k3 = motionKey(out, home, {0, 0, 0}, scale);
        k3.tension = 1; // ease out of the hold
        SceneKey k4 = motionKey(out + 24, away, {-90, 0, 30}, scale);
        k4.bias = -0.5f;
        letter.motion.keys = {k0, k1, k2, k3, k4};
        letter.dissolve =
            keyedEnvelope({{0, 1}, {in - 1, 1}, {in, 0}, {out + 20, 0}, {out + 21, 1}}, 1, true);
        addObject(scene, letter);
    }
}

SceneDraft overlayScene(int lastFrame, Tint tint) {
    SceneDraft s;
    s.firstFrame = 0;
    s.lastFrame = lastFrame;
    s.camera = stillMotion({0, 0, 0});
    s.camera.endBehavior = 0;
    s.lights.push_back(distantLight({0, 30, 0}, tint.r, tint.g, tint.b, constantEnvelope(2.0f)));
    s.lights.push_back(pointLight(orbit({0, 0.5f, 1.5f}, {2, 0.5f, 1}, 180, 0), 120, 160, 255,
                                  keyedEnvelope({{0, 0}, {40, 1.5f}}, 1)));
    return s;
}

SceneDraft textOverlay(const std::vector<TextLine>& lines, int lastFrame, Tint tint) {
    SceneDraft s = overlayScene(lastFrame, tint);
    for (const TextLine& line : lines) addTextLine(s, line, stillMotion({0, 0, 0}));
    return s;
}

} // namespace kestrune
