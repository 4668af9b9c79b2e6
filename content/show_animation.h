// Building blocks of the show's scenes: camera paths, loops and spins, the walking figure with
// its bones, lights, and letters that fly in to spell a line.
#pragma once

#include <numbers>
#include <string>
#include <vector>

#include "content/scene_writer.h"

namespace kestrune {

constexpr float kDegreesPerRadian = 180 / std::numbers::pi_v<float>;

// Heading and pitch (degrees) that turn a camera at from towards to.
Vec3 aim(Vec3 from, Vec3 to);

struct CameraStop {
    int frame;
    Vec3 from, to;
    float tension = 0, continuity = 0, bias = 0;
    int linear = 0;
};
KeyedChannels cameraPath(const std::vector<CameraStop>& stops, int endBehavior);

// A turn by ratePerCycle degrees (heading, pitch, bank) every cycleFrames, repeated.
KeyedChannels spin(Vec3 position, Vec3 ratePerCycle, int cycleFrames, Vec3 scale = {1, 1, 1});
// A closed loop around center (x and z on an ellipse, y at twice the rate), repeated.
KeyedChannels orbit(Vec3 center, Vec3 radii, int cycleFrames, float phase, Vec3 scale = {1, 1, 1});

struct WalkPath {
    int frame;
    Vec3 position;
    float heading; // degrees
};
constexpr int kStride = 40; // frames per walk cycle (two steps)

// The walker: its bones follow the walk cycle while the object follows path.
ObjectDraft walker(int falloff, const std::vector<WalkPath>& path, bool scaleStrength = false);
// A straight walk from start along heading, speed units per frame.
std::vector<WalkPath> straightWalk(Vec3 start, float heading, int frames, float speed = 0.035f);

ObjectDraft still(const char* path, Vec3 position, Vec3 angles = {0, 0, 0},
                      Vec3 scale = {1, 1, 1});
ObjectDraft nullObject(KeyedChannels motion);
LightDraft distantLight(Vec3 angles, int r, int g, int b, SceneEnvelope intensity);
LightDraft pointLight(KeyedChannels motion, int r, int g, int b, SceneEnvelope intensity,
                          int parent = 0, bool flare = false);
LightDraft spotLight(KeyedChannels motion, int r, int g, int b, SceneEnvelope intensity,
                         int parent = 0, bool flare = false);
// Appends object; returns its 1-based number, as the scene file counts objects.
int addObject(SceneDraft& scene, ObjectDraft object);

struct TextLine {
    std::string text;
    float y;   // height of the line's centre in the overlay's view
    int start; // frame at which the first letter arrives
    int end;   // frame at which the letters leave
    float scale = 1;
};
// Letters of one line, each its own object under a null that carries the line.
void addTextLine(SceneDraft& scene, const TextLine& line, KeyedChannels carrier,
                 float distance = 2.6f);

// Each overlay tints its letters with its key light, so every part's words have their colour.
struct Tint {
    int r, g, b;
};
constexpr Tint kWarm{255, 240, 220};

// A still camera at the origin looking along +z, a tinted key light and a roaming lamp.
SceneDraft overlayScene(int lastFrame, Tint tint = kWarm);
SceneDraft textOverlay(const std::vector<TextLine>& lines, int lastFrame, Tint tint = kWarm);

} // namespace kestrune
