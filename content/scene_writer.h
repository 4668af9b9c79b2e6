// Writes scene descriptions as scene text files: objects, bones, lights, camera and their keys.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "mesh/mesh.h"

namespace kestrune {

struct SceneKey {
    std::array<float, 9> values{}; // position, heading/pitch/bank in degrees, scale
    int frame = 0;
    int linear = 0; // non-zero: the segment ending at this key is linear
    float tension = 0, continuity = 0, bias = 0;
};

// A keyed channel set: nine channels for motions, one for envelopes.
struct KeyedChannels {
    int channelCount = 9;
    std::vector<SceneKey> keys;
    int endBehavior = 1; // 0 back to the first key, 1 hold the last, 2 repeat
};

// An envelope is either one constant or a keyed block.
struct SceneEnvelope {
    bool keyed = false;
    float constant = 0;
    KeyedChannels keys{1, {}, 1};
};

SceneKey motionKey(int frame, Vec3 position, Vec3 angles = {0, 0, 0}, Vec3 scale = {1, 1, 1});
KeyedChannels stillMotion(Vec3 position, Vec3 angles = {0, 0, 0}, Vec3 scale = {1, 1, 1});
SceneEnvelope constantEnvelope(float value);
// A keyed envelope through (frame, value) pairs.
SceneEnvelope keyedEnvelope(const std::vector<std::pair<int, float>>& points, int endBehavior = 1,
                            bool linear = false);

struct BoneDraft {
    std::string name;
    int parent = 0; // 1-based within the object, 0 for none
    Vec3 restPosition{0, 0, 0};
    Vec3 restDirection{0, 0, 0};
    float restLength = 1;
    float strength = 1;
    int scaleStrength = 0;
    bool limitedRange = false;
    float minRange = 0, maxRange = 0;
    KeyedChannels motion;
};

struct ObjectDraft {
    std::string path; // empty for a null object
    KeyedChannels motion;
    int parent = 0; // 1-based object number, 0 for none
    std::optional<Vec3> pivot;
    std::optional<SceneEnvelope> dissolve;
    std::optional<SceneEnvelope> metamorph;
    int morphTarget = 0; // 1-based object number
    int boneFalloffType = -1;
    std::vector<BoneDraft> bones;
};

struct LightDraft {
    std::string name = "Light";
    KeyedChannels motion;
    int color[3] = {255, 255, 255};
    SceneEnvelope intensity = constantEnvelope(1);
    int type = 0; // 0 distant, 1 point, 2 spot
    int lensFlare = 0;
    std::optional<SceneEnvelope> flareIntensity;
    int parent = 0; // 1-based object number
};

struct SceneDraft {
    int firstFrame = 0;
    int lastFrame = 60;
    float framesPerSecond = 30;
    std::vector<ObjectDraft> objects;
    std::vector<LightDraft> lights;
    KeyedChannels camera;
    SceneEnvelope zoom = constantEnvelope(3.2f);
};

std::string writeSceneText(const SceneDraft& scene);

} // namespace kestrune
