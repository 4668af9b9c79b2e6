// The show's textures and objects: procedural images, shapes, the walker, letters of the font.
#include "content/show_objects.h"

#include <cmath>
#include <numbers>
#include <set>
#include <stdexcept>

#include "content/font.h"
#include "content/geometry.h"
#include "content/images.h"
#include "content/object_writer.h"

namespace kestrune {

namespace {

constexpr float kPi = std::numbers::pi_v<float>;

class Assets {
public:
    explicit Assets(std::vector<ContentFile>& files) : files_(files) {}

    void object(const std::string& name, const ContentMesh& mesh) { add(name, writeLwob(mesh)); }
    void compact(const std::string& name, const CompactObject& object) {
        add(name, writeCompactObject(object));
    }
    void texture(const std::string& name, const Image& image) { add(name, encodeJpeg(image)); }

private:
    void add(const std::string& name, std::vector<uint8_t> bytes) {
        files_.push_back({name, std::move(bytes)});
    }
    std::vector<ContentFile>& files_;
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

} // namespace

std::vector<ContentFile> showTexturesAndObjects() {
    std::vector<ContentFile> files;
    Assets a(files);
    makeTextures(a);
    makeObjects(a);
    return files;
}

} // namespace kestrune
