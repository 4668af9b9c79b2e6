// The show's content: every scene, object, texture and the module, ready to be written.
#include "content/show.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <numbers>
#include <set>
#include <stdexcept>

#include "archive/archive.h"
#include "content/composition.h"
#include "content/font.h"
#include "content/geometry.h"
#include "content/images.h"
#include "content/object_writer.h"
#include "content/scene_writer.h"

namespace kestrune {

namespace {

constexpr float kPi = std::numbers::pi_v<float>;
constexpr float kDegrees = 180 / kPi;

class Assets {
public:
    explicit Assets(std::vector<ContentFile>& files) : files_(files) {}

    void object(const std::string& name, const ContentMesh& mesh) { add(name, writeLwob(mesh)); }
    void compact(const std::string& name, const CompactObject& object) {
        add(name, writeCompactObject(object));
    }
    void texture(const std::string& name, const Image& image) { add(name, encodeJpeg(image)); }
    void scene(const std::string& name, const SceneSpec& spec) {
        std::string text = writeSceneText(spec);
        add(name, std::vector<uint8_t>(text.begin(), text.end()));
    }

private:
    void add(const std::string& name, std::vector<uint8_t> bytes) {
        if (!names_.insert(name).second) throw std::logic_error("content named twice: " + name);
        files_.push_back({name, std::move(bytes)});
    }
    std::vector<ContentFile>& files_;
    std::set<std::string> names_;
};

// ---- materials ----------------------------------------------------------------------------

ContentSurface plain(const char* name, uint8_t r, uint8_t g, uint8_t b, bool smooth = true) {
    ContentSurface s;
    s.name = name;
    s.color[0] = r;
    s.color[1] = g;
    s.color[2] = b;
    s.smooth = smooth;
    return s;
}

ContentSurface mapped(const char* name, MapType map, int axis, const char* image, Vec3 size,
                      float wrapWidth = 1, float wrapHeight = 1) {
    ContentSurface s = plain(name, 255, 255, 255);
    s.map = map;
    s.axis = axis;
    s.image = std::string("Images\\") + image;
    s.mapSize = size;
    s.wrapWidth = wrapWidth;
    s.wrapHeight = wrapHeight;
    return s;
}

// ---- objects ------------------------------------------------------------------------------

void makeTextures(Assets& a) {
    a.texture("plasma.jpg", makePlasma(256, 0));
    a.texture("plasma2.jpg", makePlasma(256, 2.2f));
    a.texture("sky.jpg", makeSkyGradient(256));
    a.texture("grass.jpg", makeGrass(256));
    const float dark[3] = {0.12f, 0.1f, 0.2f}, light[3] = {0.75f, 0.7f, 0.85f};
    a.texture("checker.jpg", makeChecker(256, 8, dark, light));
    a.texture("chrome.jpg", makeChrome(128));
    const float warm[3] = {1.0f, 0.85f, 0.6f};
    a.texture("spark.jpg", makeSpark(64, warm));
    a.texture("marble.jpg", makeMarble(256));
    a.texture("stripes.jpg", makeStripes(128, 6));
    a.texture("circuit.jpg", makeCircuit(256));
    a.texture("loggo.jpg", makeLogo(256));
}

float hills(float x, float z) {
    return 0.6f * std::sin(x * 0.35f) * std::cos(z * 0.27f) + 0.3f * std::sin(z * 0.61f + 1.3f) +
           0.15f * std::cos((x + z) * 0.9f) - 0.45f;
}

// The ground is flat along the walker's path (x near 0) so the feet meet it.
float ground(float x, float z) {
    float away = std::min(1.0f, std::fabs(x) / 4.0f);
    return hills(x, z) * away * away;
}

ContentMesh sphereMesh(const ContentSurface& surface, float radius, int segments, int rings) {
    ContentMesh m;
    addSphere(m, {0, 0, 0}, radius, segments, rings, addSurface(m, surface));
    return m;
}

void makeObjects(Assets& a) {
    ContentSurface skin = plain("Skin", 230, 180, 150);
    ContentSurface cloth = plain("Cloth", 60, 110, 220);
    a.object("walker.lwo", makeFigure(skin, cloth));

    {
        ContentMesh m;
        ContentSurface grass = mapped("Grass", MapType::Planar, 1, "grass.jpg", {6, 1, 6});
        addLandscape(m, 40, 30, ground, addSurface(m, grass));
        a.object("ground.lwo", m);
    }
    {
        // A dome seen from inside: its faces turn inward, so the lights fall on the side the
        // camera sees; double-sided all the same.
        ContentSurface sky = mapped("Sky", MapType::Spherical, 2, "sky.jpg", {1, 1, 1}, 2, 1);
        sky.doubleSided = true;
        ContentMesh dome = sphereMesh(sky, 45, 16, 10);
        flipFaces(dome);
        a.object("dome.lwo", dome);
    }
    {
        ContentSurface s = mapped("Plasma", MapType::Planar, 2, "plasma.jpg", {2, 2, 2});
        ContentMesh m;
        addTorus(m, 1.0f, 0.35f, 24, 12, addSurface(m, s), 2);
        a.object("plasmaring.lwo", m);
    }
    {
        ContentSurface s = mapped("Floor", MapType::Planar, 1, "checker.jpg", {4, 1, 4});
        ContentMesh m;
        uint16_t surface = addSurface(m, s);
        for (int j = 0; j < 8; ++j)
            for (int i = 0; i < 4; ++i) {
                float x0 = -6 + i * 3.0f, z0 = -4 + j * 5.0f;
                addFace(m,
                        {addPoint(m, {x0, 0, z0}), addPoint(m, {x0 + 3, 0, z0}),
                         addPoint(m, {x0 + 3, 0, z0 + 5}), addPoint(m, {x0, 0, z0 + 5})},
                        surface, {0, 1, 0});
            }
        a.object("floor.lwo", m);
    }
    {
        ContentSurface s = mapped("Column", MapType::Cylindrical, 1, "marble.jpg", {1, 3, 1}, 2);
        ContentMesh m;
        addTube(m, {{0, 0, 0}, {0, 1.5f, 0}, {0, 3, 0}}, 0.3f, 12, addSurface(m, s));
        ContentSurface cap = plain("ColumnCap", 200, 190, 170, false);
        uint16_t capSurface = addSurface(m, cap);
        addBox(m, {-0.42f, 3, -0.42f}, {0.42f, 3.2f, 0.42f}, capSurface);
        addBox(m, {-0.42f, -0.1f, -0.42f}, {0.42f, 0.1f, 0.42f}, capSurface);
        a.object("column.lwo", m);
    }
    {
        ContentSurface s = plain("Arch", 240, 120, 40);
        ContentMesh m;
        addTorus(m, 2.2f, 0.18f, 28, 8, addSurface(m, s), 2);
        a.object("arch.lwo", m);
    }
    {
        ContentSurface s = mapped("Tunnel", MapType::Cylindrical, 2, "circuit.jpg", {1, 1, 8}, 3);
        s.doubleSided = true;
        ContentMesh m;
        std::vector<Vec3> path;
        for (int k = 0; k <= 24; ++k) path.push_back({0, 1.2f, -4.0f + k * 1.5f});
        addTube(m, path, 2.4f, 14, addSurface(m, s), true);
        a.object("tunnel.lwo", m);
    }
    {
        ContentSurface s = plain("Glass", 120, 200, 255);
        s.transparency = 0.7f;
        s.doubleSided = true;
        ContentMesh m;
        uint16_t surface = addSurface(m, s);
        for (int k = 0; k < 6; ++k) {
            float z = k * 5.0f, x = k % 2 ? 1.3f : -1.3f;
            addFace(m,
                    {addPoint(m, {x - 0.6f, 0.4f, z}), addPoint(m, {x - 0.6f, 2.0f, z}),
                     addPoint(m, {x + 0.6f, 2.0f, z}), addPoint(m, {x + 0.6f, 0.4f, z})},
                    surface, {0, 0, -1});
        }
        a.object("glass.lwo", m);
    }
    {
        // Two-point polygons: a lattice of laser lines.
        ContentSurface s = plain("Laser", 255, 60, 90, false);
        ContentMesh m;
        uint16_t surface = addSurface(m, s);
        for (int k = 0; k < 20; ++k) {
            float z = k * 2.0f;
            addRawPolygon(m, {addPoint(m, {-2, 0.02f, z}), addPoint(m, {2, 0.02f, z})}, surface);
        }
        for (int i = -2; i <= 2; ++i)
            addRawPolygon(m,
                          {addPoint(m, {i * 1.0f, 0.02f, 0}), addPoint(m, {i * 1.0f, 0.02f, 38})},
                          surface);
        a.object("lasers.lwo", m);
    }
    {
        // One-point polygons with a textured smooth surface: sprites.
        ContentSurface s = mapped("Spark", MapType::Planar, 2, "spark.jpg", {1, 1, 1});
        ContentMesh m;
        uint16_t surface = addSurface(m, s);
        uint32_t seed = 17;
        auto next = [&seed] {
            seed = seed * 1103515245u + 12345u;
            return static_cast<float>((seed >> 8) & 0xFFFF) / 65535.0f;
        };
        for (int k = 0; k < 700; ++k) {
            float theta = next() * 2 * kPi, y = next() * 2 - 1;
            float r = 5 + next() * 11, ring = std::sqrt(1 - y * y);
            addRawPolygon(m,
                          {addPoint(m, {r * ring * std::cos(theta), r * y * 0.6f + 2,
                                        r * ring * std::sin(theta)})},
                          surface);
        }
        a.object("stars.lwo", m);
    }
    {
        // Constellation lines between neighbouring stars in the sky above the path.
        ContentSurface s = plain("Constellation", 120, 160, 255, false);
        ContentMesh m;
        uint16_t surface = addSurface(m, s);
        Vec3 previous = {-3, 4, 4};
        for (int k = 0; k < 14; ++k) {
            Vec3 p = {-3 + k * 0.5f, 4 + std::sin(k * 1.7f) * 0.8f, 4 + k * 1.3f};
            addRawPolygon(m, {addPoint(m, previous), addPoint(m, p)}, surface);
            previous = p;
        }
        a.object("constellation.lwo", m);
    }
    {
        ContentSurface s = plain("Chrome", 180, 190, 210);
        s.reflectionImage = "Images\\chrome.jpg";
        ContentMesh m;
        addTorusKnot(m, 2, 3, 1.4f, 0.22f, 120, 8, addSurface(m, s));
        a.object("knot.lwo", m);
    }
    {
        ContentSurface s = mapped("Globe", MapType::Spherical, 0, "plasma2.jpg", {1, 1, 1}, 1, 1);
        a.object("globe.lwo", sphereMesh(s, 0.9f, 16, 10));
    }
    {
        // A wire cage: outlined faces.
        ContentSurface s = plain("Wire", 120, 255, 160, false);
        s.outline = true;
        ContentMesh m;
        uint16_t surface = addSurface(m, s);
        for (int k = 0; k < 3; ++k) {
            float h = 0.6f + k * 0.25f;
            addBox(m, {-h, -h, -h}, {h, h, h}, surface);
        }
        a.object("cage.lwo", m);
    }
    {
        ContentSurface s = mapped("Panel", MapType::Planar, 0, "stripes.jpg", {1, 2, 3});
        ContentMesh m;
        uint16_t surface = addSurface(m, s);
        for (int k = 0; k < 6; ++k) {
            float z = k * 5.0f;
            for (int side = -1; side <= 1; side += 2) {
                float x = 3.5f * side;
                addFace(m,
                        {addPoint(m, {x, 0, z}), addPoint(m, {x, 3, z}),
                         addPoint(m, {x, 3, z + 3.5f}), addPoint(m, {x, 0, z + 3.5f})},
                        surface, {-1.0f * side, 0, 0});
            }
        }
        a.object("panels.lwo", m);
    }
    {
        ContentSurface s = mapped("Log", MapType::Cylindrical, 0, "marble.jpg", {4, 1, 1}, 2);
        ContentMesh m;
        addTube(m, {{-3, 0, 0}, {-1, 0, 0}, {1, 0, 0}, {3, 0, 0}}, 0.35f, 12, addSurface(m, s));
        a.object("log.lwo", m);
    }
    {
        // A ribbon with one face per segment, seen from both sides.
        ContentSurface s = plain("Ribbon", 255, 90, 200);
        s.doubleSided = true;
        ContentMesh m;
        uint16_t surface = addSurface(m, s);
        for (int k = 0; k < 24; ++k) {
            float a0 = k * 0.5f, a1 = (k + 1) * 0.5f;
            Vec3 p0 = {std::cos(a0) * 0.4f, k * 0.15f, std::sin(a0) * 0.4f};
            Vec3 p1 = {std::cos(a1) * 0.4f, (k + 1) * 0.15f, std::sin(a1) * 0.4f};
            Vec3 w0 = {std::cos(a0) * 0.15f, 0, std::sin(a0) * 0.15f};
            Vec3 w1 = {std::cos(a1) * 0.15f, 0, std::sin(a1) * 0.15f};
            addRawPolygon(m,
                          {addPoint(m, p0 - w0), addPoint(m, p0 + w0), addPoint(m, p1 + w1),
                           addPoint(m, p1 - w1)},
                          surface);
        }
        a.object("ribbon.lwo", m);
    }
    {
        ContentMesh m;
        addBox(m, {-0.3f, -0.3f, -0.3f}, {0.3f, 0.3f, 0.3f},
               addSurface(m, plain("Block", 250, 210, 60, false)));
        a.object("block.lwo", m);
    }
    {
        // The morph pair: a sphere and the same points pushed into a spiky star.
        ContentSurface s = mapped("Blob", MapType::Spherical, 1, "plasma.jpg", {1, 1, 1}, 2, 1);
        ContentMesh base = sphereMesh(s, 1.0f, 18, 12);
        ContentMesh star = base;
        for (size_t k = 0; k < star.points.size(); ++k) {
            Vec3 p = star.points[k];
            float spike = 1 + 0.45f * std::pow(std::fabs(std::sin(p.x * 4) * std::sin(p.y * 4) *
                                                         std::sin(p.z * 4 + 0.5f)),
                                               0.5f);
            star.points[k] = p * spike;
        }
        a.object("blob.lwo", base);
        a.object("blobstar.lwo", star);
    }
    {
        // The compact object: a fluted pillar with stored texture coordinates.
        CompactObject pillar;
        pillar.surfaces.push_back({2 | 4, {1, 1, 1}, "circuit"});
        pillar.surfaces.push_back({1, {0.9f, 0.5f, 0.2f}, ""});
        const int sides = 10;
        const float h = 3.2f;
        for (int ring = 0; ring < 2; ++ring)
            for (int s = 0; s < sides; ++s) {
                float angle = 2 * kPi * s / sides;
                pillar.points.push_back(
                    {0.35f * std::cos(angle), ring * h, 0.35f * std::sin(angle)});
            }
        for (int s = 0; s < sides; ++s) {
            int n = (s + 1) % sides;
            CompactPolygon side;
            // Clockwise seen from outside.
            side.vertices = {static_cast<uint16_t>(s), static_cast<uint16_t>(sides + s),
                             static_cast<uint16_t>(sides + n), static_cast<uint16_t>(n)};
            float u0 = static_cast<float>(s) / sides, u1 = static_cast<float>(s + 1) / sides;
            side.u = {u0, u0, u1, u1};
            side.w = {1, 0, 0, 1};
            side.surface = 1;
            pillar.polygons.push_back(side);
        }
        CompactPolygon top;
        for (int s = sides - 1; s >= 0; --s) {
            top.vertices.push_back(static_cast<uint16_t>(sides + s));
            top.u.push_back(0);
            top.w.push_back(0);
        }
        top.surface = 2;
        pillar.polygons.push_back(top);
        a.compact("pillar.3d", pillar);
    }
    // Letters for every overlay.
    ContentSurface letterFace = plain("Letter", 190, 190, 190);
    for (char c = 33; c < 127; ++c) {
        if (!fontHas(c) || (c >= 'a' && c <= 'z')) continue;
        a.object(letterObjectName(c), makeLetterMesh(c, 0.05f, 0.08f, letterFace));
    }
}

// ---- animation helpers --------------------------------------------------------------------

Vec3 aim(Vec3 from, Vec3 to) {
    Vec3 d = to - from;
    float heading = std::atan2(d.x, d.z) * kDegrees;
    float pitch = -std::atan2(d.y, std::sqrt(d.x * d.x + d.z * d.z)) * kDegrees;
    return {heading, pitch, 0};
}

struct CameraStop {
    int frame;
    Vec3 from, to;
    float tension = 0, continuity = 0, bias = 0;
    int linear = 0;
};

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

KeyedChannels spin(Vec3 position, Vec3 ratePerCycle, int cycleFrames, Vec3 scale = {1, 1, 1}) {
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
KeyedChannels orbit(Vec3 center, Vec3 radii, int cycleFrames, float phase, Vec3 scale = {1, 1, 1}) {
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
struct WalkPath {
    int frame;
    Vec3 position;
    float heading;
};

constexpr int kStride = 40; // frames per walk cycle (two steps)

SceneObjectSpec walker(int falloff, const std::vector<WalkPath>& path, bool scaleStrength = false) {
    SceneObjectSpec o;
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
        SceneBoneSpec b;
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
std::vector<WalkPath> straightWalk(Vec3 start, float heading, int frames, float speed = 0.035f) {
    float h = heading / kDegrees;
    Vec3 direction = {std::sin(h), 0, std::cos(h)};
    return {{0, start, heading}, {frames, start + direction * (speed * frames), heading}};
}

SceneObjectSpec still(const char* path, Vec3 position, Vec3 angles = {0, 0, 0},
                      Vec3 scale = {1, 1, 1}) {
    SceneObjectSpec o;
    o.path = path;
    o.motion = stillMotion(position, angles, scale);
    return o;
}

SceneObjectSpec nullObject(KeyedChannels motion) {
    SceneObjectSpec o;
    o.motion = std::move(motion);
    return o;
}

SceneLightSpec distantLight(Vec3 angles, int r, int g, int b, SceneEnvelope intensity) {
    SceneLightSpec l;
    l.name = "Sun";
    l.type = 0;
    l.motion = stillMotion({0, 10, -10}, angles);
    l.color[0] = r;
    l.color[1] = g;
    l.color[2] = b;
    l.intensity = std::move(intensity);
    return l;
}

SceneLightSpec pointLight(KeyedChannels motion, int r, int g, int b, SceneEnvelope intensity,
                          int parent = 0, bool flare = false) {
    SceneLightSpec l;
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

SceneLightSpec spotLight(KeyedChannels motion, int r, int g, int b, SceneEnvelope intensity,
                         int parent = 0, bool flare = false) {
    SceneLightSpec l = pointLight(std::move(motion), r, g, b, std::move(intensity), parent, flare);
    l.name = "Spot";
    l.type = 2;
    return l;
}

int addObject(SceneSpec& scene, SceneObjectSpec object) {
    scene.objects.push_back(std::move(object));
    return static_cast<int>(scene.objects.size()); // 1-based, as the file counts
}

// ---- text overlays --------------------------------------------------------------------------

struct TextLine {
    std::string text;
    float y;   // height of the line's centre in the overlay's view
    int start; // frame at which the first letter arrives
    int end;   // frame at which the letters leave
    float scale = 1;
};

// Letters of one line, each its own object under a null that carries the line.
void addTextLine(SceneSpec& scene, const TextLine& line, KeyedChannels carrier,
                 float distance = 2.6f) {
    int parent = addObject(scene, nullObject(std::move(carrier)));
    // Lines shrink to fit the overlay's view, about 2 units wide at this distance.
    float fit = 0.75f * distance / (kLetterAdvance * 0.05f * static_cast<float>(line.text.size()));
    float letterScale = std::min(line.scale, fit);
    float advance = kLetterAdvance * 0.05f * letterScale;
    float width = advance * static_cast<float>(line.text.size());
    for (size_t i = 0; i < line.text.size(); ++i) {
        char c = line.text[i];
        if (c == ' ' || !fontHas(c)) continue;
        SceneObjectSpec letter;
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

// Each overlay tints its letters with its key light, so every part's words have their colour.
struct Tint {
    int r, g, b;
};
constexpr Tint kWarm{255, 240, 220};

SceneSpec overlayScene(int lastFrame, Tint tint = kWarm) {
    SceneSpec s;
    s.firstFrame = 0;
    s.lastFrame = lastFrame;
    s.camera = stillMotion({0, 0, 0});
    s.camera.endBehavior = 0;
    s.lights.push_back(distantLight({0, 30, 0}, tint.r, tint.g, tint.b, constantEnvelope(2.0f)));
    s.lights.push_back(pointLight(orbit({0, 0.5f, 1.5f}, {2, 0.5f, 1}, 180, 0), 120, 160, 255,
                                  keyedEnvelope({{0, 0}, {40, 1.5f}}, 1)));
    return s;
}

SceneSpec textOverlay(const std::vector<TextLine>& lines, int lastFrame, Tint tint) {
    SceneSpec s = overlayScene(lastFrame, tint);
    for (const TextLine& line : lines) addTextLine(s, line, stillMotion({0, 0, 0}));
    return s;
}

// ---- the loading scene and the nine parts -------------------------------------------------

SceneSpec loadingScene() {
    SceneSpec s;
    s.lastFrame = kLoadingLastFrame;
    addObject(s, [] {
        SceneObjectSpec o = still("Objects\\plasmaring.lwo", {0, 0, 6});
        o.motion = spin({0, 0, 6}, {360, 180, 90}, 240);
        return o;
    }());
    s.lights.push_back(
        distantLight({20, 20, 0}, 255, 255, 255, keyedEnvelope({{0, 0.2f}, {90, 1.2f}}, 1)));
    s.lights.push_back(
        pointLight(orbit({0, 0, 6}, {3, 1, 3}, 120, 0), 255, 120, 60, constantEnvelope(2.0f)));
    for (const TextLine& line :
         {TextLine{"KESTRUNE 99", 0.55f, 10, 300, 0.8f}, TextLine{"LOADING", -0.7f, 40, 300, 0.6f}})
        addTextLine(s, line, stillMotion({0, 0, 0}));
    s.camera = cameraPath({{0, {0, 0, -3}, {0, 0, 6}, 0, 0, 0},
                           {160, {0.6f, 0.3f, -1}, {0, 0, 6}, 0, 0, 0},
                           {kLoadingLastFrame, {0, 0, 0}, {0, 0, 6}, 1, 0, 0}},
                          1);
    return s;
}

SceneSpec part0(int last) {
    // Dawn over the hills: the walker sets out.
    SceneSpec s;
    s.lastFrame = last;
    addObject(s, still("Objects\\dome.lwo", {0, 0, 10}));
    addObject(s, still("Objects\\ground.lwo", {0, 0, 10}));
    addObject(s, walker(0, straightWalk({0, 0, -2}, 0, last)));
    s.lights.push_back(distantLight({30, 35, 0}, 255, 200, 150,
                                    keyedEnvelope({{0, 0.3f}, {last / 2, 1.1f}, {last, 1.3f}}, 1)));
    s.lights.push_back(pointLight(stillMotion({2, 3, 0}), 255, 230, 200, constantEnvelope(3)));
    float endZ = -2 + 0.035f * last;
    s.camera =
        cameraPath({{0, {3, 1.2f, -7}, {0, 1, -2}},
                    {last / 3, {-2.5f, 1.6f, -5 + endZ / 3}, {0, 1, -1 + endZ / 3}, 0, 0.2f, 0},
                    {2 * last / 3, {2.5f, 2.2f, endZ * 2 / 3 - 3}, {0, 0.9f, endZ * 2 / 3}},
                    {last, {0.5f, 1.4f, endZ - 4}, {0, 1, endZ}, 0.5f, 0, 0}},
                   1);
    return s;
}

SceneSpec part1(int last) {
    // Through the arches: rings turning on a null, a spot and a lamp with flares.
    SceneSpec s;
    s.lastFrame = last;
    addObject(s, still("Objects\\floor.lwo", {0, 0, 0}));
    int pivot = addObject(s, nullObject(spin({0, 2.0f, 14}, {0, 0, 360}, 300)));
    for (int k = 0; k < 6; ++k) {
        SceneObjectSpec arch =
            still("Objects\\arch.lwo", {0, 0, -10.0f + k * 4}, {0, 0, k * 30.0f});
        arch.parent = pivot;
        arch.pivot = Vec3{0, 0, 0};
        addObject(s, arch);
    }
    for (int k = 0; k < 5; ++k) {
        addObject(s, still("Objects\\column.lwo", {-4, 0, k * 7.0f}));
        addObject(s, still("Objects\\column.lwo", {4, 0, k * 7.0f + 3.5f}));
    }
    int lampCarrier = addObject(s, nullObject(orbit({0, 3.2f, 10}, {3, 0.3f, 6}, 200, 0)));
    addObject(s, walker(1, straightWalk({0, 0, 0}, 0, last)));
    s.lights.push_back(distantLight({-30, 40, 0}, 180, 180, 255, constantEnvelope(0.7f)));
    s.lights.push_back(pointLight(stillMotion({0, 0, 0}), 255, 180, 80,
                                  keyedEnvelope({{0, 2}, {100, 5}, {200, 2}}, 2), lampCarrier,
                                  true));
    SceneLightSpec spot = spotLight(stillMotion({0, 6, -2}, {0, 50, 0}), 255, 255, 230,
                                    keyedEnvelope({{0, 0}, {60, 1.2f}}, 1), 0, true);
    s.lights.push_back(spot);
    float endZ = 0.035f * last;
    s.camera =
        cameraPath({{0, {0, 1.8f, -8}, {0, 1.2f, 2}},
                    {last / 2, {1.5f, 1.2f, endZ / 2 - 4}, {0, 1.3f, endZ / 2 + 2}, -0.3f, 0, 0},
                    {last, {-1.5f, 2.5f, endZ - 5}, {0, 1, endZ + 1}}},
                   2);
    return s;
}

SceneSpec part2(int last) {
    // The tunnel: circuits, glass and lasers.
    SceneSpec s;
    s.lastFrame = last;
    addObject(s, still("Objects\\tunnel.lwo", {0, 0, 0}));
    addObject(s, still("Objects\\lasers.lwo", {0, 0, -2}));
    addObject(s, still("Objects\\glass.lwo", {0, 0, 2}));
    addObject(s, walker(2, straightWalk({0, 0, -1}, 0, last, 0.04f)));
    int beacon = addObject(s, nullObject(orbit({0, 1.5f, 10}, {1.2f, 0.5f, 10}, 260, 1)));
    s.lights.push_back(distantLight({0, 10, 0}, 120, 255, 200, constantEnvelope(0.8f)));
    s.lights.push_back(pointLight(stillMotion({0, 0, 0}), 80, 255, 160,
                                  keyedEnvelope({{0, 1}, {30, 4}, {60, 1}}, 2), beacon));
    float endZ = -1 + 0.04f * last;
    s.camera =
        cameraPath({{0, {0, 1.5f, -6}, {0, 1, 0}},
                    {last / 2, {0.8f, 0.6f, endZ / 2 - 3}, {0, 1.2f, endZ / 2 + 1}, 0, -0.5f, 0},
                    {last, {-0.8f, 2, endZ - 3.5f}, {0, 1, endZ}, 0, 0, 0.5f}},
                   0);
    return s;
}

SceneSpec part3(int last) {
    // Blobs: balls in loops around the metaball surface, on a floor in a cage.
    SceneSpec s;
    s.lastFrame = last;
    addObject(s, still("Objects\\floor.lwo", {0, 0, -4}));
    // Three balls on loops of different periods: they meet, merge and part again.
    const Vec3 loops[3] = {{5, 2, 4.5f}, {4.5f, 2.5f, 5}, {3, 3, 5.5f}};
    for (int k = 0; k < 3; ++k) {
        SceneObjectSpec ball;
        ball.path = "Objects\\mball.lwo";
        ball.motion = orbit({0, 0, 0}, loops[k], 150 + k * 40, k * 2.1f);
        addObject(s, ball);
    }
    SceneObjectSpec surface;
    surface.path = "Objects\\mcube.lwo";
    surface.motion = spin({0, 2.0f, 6}, {360, 0, 0}, 400, {0.28f, 0.28f, 0.28f});
    addObject(s, surface);
    addObject(s, [] {
        SceneObjectSpec cage = still("Objects\\cage.lwo", {0, 2.0f, 6});
        cage.motion = spin({0, 2.0f, 6}, {-360, 180, 0}, 500, {2.2f, 2.2f, 2.2f});
        return cage;
    }());
    addObject(s,
              walker(3, {{0, {-3, 0, 2}, 90}, {last / 2, {3, 0, 4}, 60}, {last, {1, 0, 10}, -20}}));
    s.lights.push_back(distantLight({10, 45, 0}, 255, 220, 255, constantEnvelope(1.0f)));
    s.lights.push_back(
        pointLight(orbit({0, 3, 6}, {3, 0.5f, 3}, 120, 0), 255, 100, 200, constantEnvelope(4)));
    // The camera circles the blob at a respectful distance.
    std::vector<CameraStop> stops;
    const float angles[5] = {-40, 35, 100, 45, -15};
    for (int k = 0; k < 5; ++k) {
        float a = angles[k] / kDegrees;
        stops.push_back({last * k / 4,
                         {8.5f * std::sin(a), 3.0f + k % 2, 6 - 8.5f * std::cos(a)},
                         {0, 1.6f, 6}});
    }
    s.camera = cameraPath(stops, 1);
    return s;
}

SceneSpec part4(int last) {
    // Metamorphosis: the blob grows spikes and melts back; blocks dissolve in and out.
    SceneSpec s;
    s.lastFrame = last;
    addObject(s, still("Objects\\dome.lwo", {0, 0, 0}, {90, 0, 0}));
    addObject(s, still("Objects\\floor.lwo", {0, 0, -4}));
    SceneObjectSpec blob = still("Objects\\blob.lwo", {0, 2.2f, 6});
    blob.motion = spin({0, 2.2f, 6}, {360, 0, 0}, 360, {1.2f, 1.2f, 1.2f});
    blob.morphTarget = 4;
    blob.metamorph = keyedEnvelope({{0, 0}, {60, 0}, {120, 1}, {180, 1}, {240, 0}}, 2);
    addObject(s, blob);
    SceneObjectSpec target = still("Objects\\blobstar.lwo", {0, -50, 0});
    target.dissolve = constantEnvelope(1); // only its points are used
    addObject(s, target);
    for (int k = 0; k < 8; ++k) {
        float a = 2 * kPi * k / 8;
        SceneObjectSpec block =
            still("Objects\\block.lwo", {3 * std::cos(a), 0.4f, 6 + 3 * std::sin(a)});
        block.motion = spin({3 * std::cos(a), 0.4f + 0.2f * k, 6 + 3 * std::sin(a)}, {360, 360, 0},
                            200 + k * 20);
        int t = 40 + k * 30;
        block.dissolve =
            keyedEnvelope({{0, 1}, {t, 1}, {t + 20, 0}, {t + 200, 0}, {t + 230, 1}}, 2, true);
        addObject(s, block);
    }
    addObject(s,
              walker(4, {{0, {-4, 0, 1}, 60}, {last / 2, {1, 0, 2}, 100}, {last, {5, 0, 1}, 90}}));
    s.lights.push_back(distantLight({-20, 40, 0}, 255, 255, 255, constantEnvelope(0.9f)));
    s.lights.push_back(spotLight(stillMotion({0, 7, 2}, {0, 60, 0}), 255, 150, 80,
                                 keyedEnvelope({{0, 0.5f}, {90, 1.5f}, {180, 0.5f}}, 2)));
    s.camera = cameraPath({{0, {-3, 2.5f, -3}, {-1, 1.4f, 5}},
                           {last / 2, {3, 1.5f, -2}, {0, 1.6f, 5}, 0.3f, 0, 0},
                           {last, {0, 3.5f, -1}, {1, 1.5f, 5}}},
                          2);
    return s;
}

SceneSpec part5(int last) {
    // Stardust: sprites all round, constellations and a line floor.
    SceneSpec s;
    s.lastFrame = last;
    addObject(s, [] {
        SceneObjectSpec stars = still("Objects\\stars.lwo", {0, 0, 8});
        stars.motion = spin({0, 0, 8}, {360, 0, 0}, 1200);
        return stars;
    }());
    addObject(s, still("Objects\\constellation.lwo", {0, 0, 0}));
    addObject(s, still("Objects\\lasers.lwo", {0, 0, -4}));
    addObject(s, walker(0, straightWalk({0, 0, -2}, 0, last)));
    int comet = addObject(s, nullObject(orbit({0, 4, 10}, {6, 1, 4}, 300, 0)));
    s.lights.push_back(distantLight({0, 20, 0}, 200, 200, 255, constantEnvelope(0.9f)));
    s.lights.push_back(pointLight(stillMotion({0, 0, 0}), 255, 240, 200,
                                  keyedEnvelope({{0, 3}, {40, 6}, {80, 3}}, 2), comet, true));
    float endZ = -2 + 0.035f * last;
    s.camera =
        cameraPath({{0, {0, 0.6f, -6}, {0, 2.5f, 4}},
                    {last / 2, {-2, 1.5f, endZ / 2 - 4}, {0, 1.5f, endZ / 2 + 2}, 0, 0, -0.3f},
                    {last, {2, 3, endZ - 5}, {0, 1.2f, endZ}, 0, 0.4f, 0}},
                   0);
    return s;
}

SceneSpec part6(int last) {
    // Chrome: a reflective knot, a globe, striped walls and a wire cage.
    SceneSpec s;
    s.lastFrame = last;
    addObject(s, still("Objects\\floor.lwo", {0, 0, -4}));
    addObject(s, still("Objects\\panels.lwo", {0, 0, -4}));
    SceneObjectSpec knot = still("Objects\\knot.lwo", {0, 2.2f, 8});
    knot.motion = spin({0, 2.2f, 8}, {360, 180, 0}, 420);
    int knotIndex = addObject(s, knot);
    SceneObjectSpec globe = still("Objects\\globe.lwo", {2.5f, 0, 0});
    globe.parent = knotIndex; // the globe rides on the knot
    globe.motion = spin({2.5f, 0, 0}, {0, 0, 360}, 120, {0.6f, 0.6f, 0.6f});
    addObject(s, globe);
    SceneObjectSpec cage = still("Objects\\cage.lwo", {0, 2.2f, 8});
    cage.motion = spin({0, 2.2f, 8}, {-360, 0, 180}, 600, {2.4f, 2.4f, 2.4f});
    addObject(s, cage);
    addObject(s, walker(1, straightWalk({-0.8f, 0, -2}, 5, last, 0.032f)));
    s.lights.push_back(distantLight({30, 30, 0}, 255, 255, 255, constantEnvelope(1.1f)));
    s.lights.push_back(spotLight(stillMotion({0, 0, -2}, {0, -90, 0}), 200, 220, 255,
                                 constantEnvelope(1.2f), knotIndex));
    s.camera = cameraPath({{0, {4, 1.5f, -3}, {0, 2, 6}},
                           {last / 2, {-3, 3, 0}, {0, 2, 8}, 0, 0, 0},
                           {last, {0, 1.5f, 2}, {0, 2.2f, 8}, 0, 0, 0, 1}},
                          1);
    return s;
}

SceneSpec part7(int last) {
    // Pillars rise out of nothing; a ribbon turns; the log rolls overhead.
    SceneSpec s;
    s.lastFrame = last;
    addObject(s, still("Objects\\ground.lwo", {0, 0, 10}));
    for (int k = 0; k < 10; ++k) {
        SceneObjectSpec pillar = still("Objects\\pillar.lwo", {k % 2 ? 2.5f : -2.5f, 0, k * 3.0f});
        int t = 20 + k * 35;
        pillar.dissolve = keyedEnvelope({{0, 1}, {t, 1}, {t + 1, 0}}, 1, true);
        addObject(s, pillar);
    }
    SceneObjectSpec ribbon = still("Objects\\ribbon.lwo", {0, 0, 12});
    ribbon.motion = spin({0, 0, 12}, {360, 0, 0}, 240, {2, 2, 2});
    addObject(s, ribbon);
    SceneObjectSpec log = still("Objects\\log.lwo", {0, 4.5f, 10});
    log.motion = spin({0, 4.5f, 10}, {0, 360, 0}, 300);
    addObject(s, log);
    addObject(s, walker(2, straightWalk({0, 0, -1}, 0, last), true));
    s.lights.push_back(distantLight({-40, 30, 0}, 255, 230, 200, constantEnvelope(1.0f)));
    s.lights.push_back(pointLight(orbit({0, 2, 10}, {3, 0.5f, 8}, 240, 0), 255, 80, 220,
                                  constantEnvelope(3), 0, true));
    float endZ = -1 + 0.035f * last;
    s.camera = cameraPath({{0, {0, 6, -6}, {0, 1, 6}},
                           {last / 2, {1.2f, 2.2f, endZ / 2 - 3}, {0, 1, endZ / 2 + 3}},
                           {last, {0, 1.2f, endZ - 3}, {0, 1.5f, endZ + 4}, 0, 0, 0}},
                          1);
    return s;
}

SceneSpec part8(int last) {
    // Finale: sky, hills, blobs and stars; the walker heads for the horizon as the camera rises.
    SceneSpec s;
    s.lastFrame = last;
    addObject(s, still("Objects\\dome.lwo", {0, 0, 10}));
    addObject(s, still("Objects\\ground.lwo", {0, 0, 10}));
    addObject(s, [] {
        SceneObjectSpec stars = still("Objects\\stars.lwo", {0, 8, 10});
        stars.motion = spin({0, 8, 10}, {-360, 0, 0}, 1500);
        return stars;
    }());
    for (int k = 0; k < 2; ++k) {
        SceneObjectSpec ball;
        ball.path = "Objects\\mball.lwo";
        ball.motion = orbit({0, 0, 0}, {4.5f, 2, 4}, 160 + k * 60, k * 2.6f);
        addObject(s, ball);
    }
    SceneObjectSpec surface;
    surface.path = "Objects\\mcube.lwo";
    surface.motion = spin({4, 3.5f, 12}, {360, 0, 0}, 500, {0.3f, 0.3f, 0.3f});
    addObject(s, surface);
    SceneObjectSpec ring = still("Objects\\plasmaring.lwo", {-4, 3, 12});
    ring.motion = spin({-4, 3, 12}, {360, 720, 0}, 480);
    addObject(s, ring);
    addObject(s, walker(3, straightWalk({0, 0, 0}, 0, last, 0.03f), true));
    s.lights.push_back(
        distantLight({-20, 25, 0}, 255, 190, 140, keyedEnvelope({{0, 1.2f}, {last, 0.4f}}, 1)));
    s.lights.push_back(spotLight(stillMotion({0, 8, 0}, {0, 70, 0}), 255, 255, 255,
                                 constantEnvelope(1.0f), 0, true));
    float endZ = 0.03f * last;
    s.camera = cameraPath({{0, {0, 1.2f, -4}, {0, 1.2f, 2}},
                           {last / 3, {-3, 1.5f, endZ / 3 - 3}, {0, 1.2f, endZ / 3 + 1}},
                           {2 * last / 3, {3, 3, endZ * 2 / 3 - 4}, {0, 1.5f, endZ * 2 / 3 + 2}},
                           {last, {0, 9, endZ - 10}, {0, 1, endZ + 6}, -0.2f, 0, 0}},
                          1);
    return s;
}

SceneSpec creditsScene() {
    // Three cards in 420 frames; the first card also reads well when cut after 100 frames.
    SceneSpec s = overlayScene(419);
    addTextLine(s, {"KESTRUNE 99", 0.4f, 5, 110, 1}, stillMotion({0, 0, 0}));
    addTextLine(s, {"CODE GRAPHICS MUSIC", 0.7f, 150, 250, 0.6f}, stillMotion({0, 0, 0}));
    addTextLine(s, {"BY", 0.4f, 170, 250, 0.6f}, stillMotion({0, 0, 0}));
    addTextLine(s, {"THE KESTRUNE TEAM", 0.4f, 285, 385, 0.75f}, stillMotion({0, 0, 0}));
    return s;
}

SceneSpec divozevScene() {
    // An emblem: the name on a turning ring around a plasma torus.
    SceneSpec s = overlayScene(500);
    int ring = addObject(s, nullObject(spin({0, -0.7f, 3.4f}, {360, 0, 0}, 300)));
    const std::string name = "DIVOZEV";
    for (size_t i = 0; i < name.size(); ++i) {
        float a = 2 * kPi * i / name.size();
        SceneObjectSpec letter = still(("Objects\\" + letterObjectName(name[i])).c_str(),
                                       {0.8f * std::sin(a), 0, -0.8f * std::cos(a)},
                                       {a * kDegrees, 0, 0}, {0.8f, 0.8f, 0.8f});
        letter.parent = ring;
        letter.dissolve = keyedEnvelope(
            {{0, 1}, {static_cast<int>(5 + i * 6), 1}, {static_cast<int>(6 + i * 6), 0}}, 1, true);
        addObject(s, letter);
    }
    SceneObjectSpec torus = still("Objects\\plasmaring.lwo", {0, 0, 0});
    torus.parent = ring;
    torus.motion = spin({0, 0.05f, 0}, {0, 360, 0}, 150, {0.25f, 0.25f, 0.25f});
    addObject(s, torus);
    return s;
}

SceneSpec greetScene(int lastFrame) {
    // Rolling lines, each under a null that rises through the view.
    SceneSpec s = overlayScene(lastFrame);
    const char* lines[] = {"GREETINGS",     "TO EVERYONE",       "WHO WATCHES",
                           "AND WHO MAKES", "THINGS LIKE THIS",  "",
                           "KESTRUNE 99",   "THE KESTRUNE TEAM", "THANK YOU"};
    int k = 0;
    for (const char* text : lines) {
        int start = 30 + k * 70;
        ++k;
        if (!*text) continue;
        bool final = k == static_cast<int>(std::size(lines));
        KeyedChannels rise;
        rise.endBehavior = 1;
        // Each line rolls up through the view; the last one comes to rest in the middle.
        SceneKey a = motionKey(start, {0, -1.6f, 0});
        SceneKey b =
            final ? motionKey(start + 200, {0, 0.1f, 0}) : motionKey(start + 400, {0, 1.8f, 0});
        b.linear = final ? 0 : 1;
        rise.keys = {motionKey(0, {0, -1.6f, 0}), a, b};
        float scale = std::string(text).size() > 12 ? 0.6f : 0.75f;
        addTextLine(s, {text, 0, start, final ? start + 2000 : start + 420, scale}, rise);
    }
    return s;
}

} // namespace

// The driver draws a part until a frame passes its last, so one frame beyond the last is seen.
// A camera that jumps back there (end behaviours 0 and 2) gets its last key a second later.
SceneSpec withSettledCamera(SceneSpec s) {
    if (s.camera.endBehavior != 1 && s.camera.keys.back().frame == s.lastFrame)
        s.camera.keys.back().frame = s.lastFrame + 30;
    return s;
}

ShowContent buildShow() {
    ShowContent show;
    Soundtrack track = composeSoundtrack();
    show.module = {"test.xm", writeXm(track.module)};

    // Each part lasts as long as its section of the music.
    SongTiming timing = measureSong(track.module);
    for (int part = 0; part < 9; ++part) {
        int from = track.partStartOrder[part], to = track.partStartOrder[part + 1];
        double end = to < static_cast<int>(timing.orderStartMs.size()) ? timing.orderStartMs[to]
                                                                       : timing.totalMs;
        double ms = end - timing.orderStartMs[from];
        show.partFrames.push_back(static_cast<int>(std::lround(ms / kFrameMs)));
    }

    Assets a(show.archived);
    makeTextures(a);
    makeObjects(a);
    const auto& f = show.partFrames;
    a.scene("load.lws", loadingScene());
    a.scene("walk0.lws", withSettledCamera(part0(f[0] - 1)));
    a.scene("walk1.lws", withSettledCamera(part1(f[1] - 1)));
    a.scene("walk2.lws", withSettledCamera(part2(f[2] - 1)));
    a.scene("walk3.lws", withSettledCamera(part3(f[3] - 1)));
    a.scene("walk4.lws", withSettledCamera(part4(f[4] - 1)));
    a.scene("walk5.lws", withSettledCamera(part5(f[5] - 1)));
    a.scene("walk6.lws", withSettledCamera(part6(f[6] - 1)));
    a.scene("walk7.lws", withSettledCamera(part7(f[7] - 1)));
    a.scene("walk8.lws", withSettledCamera(part8(f[8] - 1)));
    a.scene("Credits.lws", creditsScene());
    a.scene("Divozev.lws", divozevScene());
    a.scene("greet.lws", greetScene(f[8]));
    // The seven text overlays; part 0 shows 0 at f - 60 and 1 at f - 210, part 2 shows 2 at
    // f - 480, part 4 shows 3 at f and 4 at f - 100, part 5 shows 5 at f - 50 and 6 at f - 330.
    a.scene("text0.lws", textOverlay({{"KESTRUNE 99", 0.55f, 5, 120, 1}}, 200, {255, 210, 120}));
    a.scene("text1.lws",
            textOverlay({{"A WALK", 0.7f, 5, 150, 0.9f}, {"IN NINE PARTS", 0.35f, 25, 160, 0.7f}},
                        260, kWarm));
    a.scene("text2.lws", textOverlay({{"EVERY PIXEL", 0.7f, 5, 150, 0.8f},
                                      {"MADE BY CODE", 0.35f, 25, 160, 0.8f}},
                                     260, {150, 255, 190}));
    a.scene("text3.lws",
            textOverlay({{"METAMORPHOSIS", 0.7f, 10, 80, 0.7f}}, 160, {255, 150, 230}));
    a.scene("text4.lws",
            textOverlay({{"SHAPES INTO", 0.7f, 5, 70, 0.7f}, {"SHAPES", 0.35f, 20, 80, 0.9f}}, 160,
                        {255, 150, 230}));
    a.scene("text5.lws", textOverlay({{"STARDUST", 0.7f, 5, 200, 1}}, 300, {170, 200, 255}));
    a.scene("text6.lws",
            textOverlay({{"LIGHT FROM", 0.7f, 5, 170, 0.8f}, {"NOWHERE", 0.35f, 25, 180, 0.8f}},
                        300, {170, 200, 255}));
    return show;
}

} // namespace kestrune

namespace kestrune {

bool writeShow(const ShowContent& show, const std::filesystem::path& folder, std::string& error) {
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    std::filesystem::path archivePath = folder / "krv.dat";
    std::filesystem::path building = archivePath;
    building += ".new";
    std::filesystem::remove(building, ec);
    {
        DataArchive archive(building.string().c_str());
        bool ok = archive.isOpen();
        for (const ContentFile& f : show.archived)
            ok = ok && archive.addBytes(f.bytes.data(), f.bytes.size(), f.name.c_str());
        if (!ok || !archive.close()) {
            error = "cannot write " + building.string();
            return false;
        }
    }
    std::filesystem::rename(building, archivePath, ec);
    if (ec) {
        error = "cannot replace " + archivePath.string() + ": " + ec.message();
        return false;
    }
    std::filesystem::path modulePath = folder / show.module.name;
    std::ofstream out(modulePath, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(show.module.bytes.data()),
              static_cast<std::streamsize>(show.module.bytes.size()));
    out.close();
    if (!out) {
        error = "cannot write " + modulePath.string();
        return false;
    }
    return true;
}

} // namespace kestrune
