// Authoring meshes for the show: points, polygons and surfaces, and the shapes built from them.
#include "content/geometry.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <stdexcept>

namespace kestrune {

Vec3 operator+(Vec3 a, Vec3 b) {
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
Vec3 operator-(Vec3 a, Vec3 b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
Vec3 operator*(Vec3 a, float s) {
    return {a.x * s, a.y * s, a.z * s};
}
float dot(Vec3 a, Vec3 b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
Vec3 cross(Vec3 a, Vec3 b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
Vec3 normalized(Vec3 a) {
    float l = std::sqrt(dot(a, a));
    return l > 0 ? a * (1 / l) : a;
}

Vec3 faceNormal(const ContentMesh& mesh, const std::vector<uint16_t>& vertices) {
    Vec3 a = mesh.points[vertices.front()];
    Vec3 b = mesh.points[vertices[1]];
    Vec3 l = mesh.points[vertices.back()];
    return cross(a - b, a - l);
}

uint16_t addSurface(ContentMesh& mesh, const ContentSurface& surface) {
    for (size_t i = 0; i < mesh.surfaces.size(); ++i)
        if (mesh.surfaces[i].name == surface.name) return static_cast<uint16_t>(i);
    mesh.surfaces.push_back(surface);
    return static_cast<uint16_t>(mesh.surfaces.size() - 1);
}

uint16_t addPoint(ContentMesh& mesh, Vec3 p) {
    if (mesh.points.size() >= 65535) throw std::runtime_error("mesh has too many points");
    mesh.points.push_back(p);
    return static_cast<uint16_t>(mesh.points.size() - 1);
}

void addFace(ContentMesh& mesh, std::vector<uint16_t> vertices, uint16_t surface, Vec3 outward) {
    if (dot(faceNormal(mesh, vertices), outward) < 0) {
        // Reverse all but the first corner so the first point stays first.
        std::vector<uint16_t> turned{vertices.front()};
        turned.insert(turned.end(), vertices.rbegin(), vertices.rend() - 1);
        vertices = std::move(turned);
    }
    mesh.polygons.push_back({std::move(vertices), surface});
}

void addRawPolygon(ContentMesh& mesh, std::vector<uint16_t> vertices, uint16_t surface) {
    mesh.polygons.push_back({std::move(vertices), surface});
}

void flipFaces(ContentMesh& mesh) {
    for (ContentPolygon& p : mesh.polygons)
        if (p.vertices.size() > 2) std::reverse(p.vertices.begin() + 1, p.vertices.end());
}

void appendMesh(ContentMesh& mesh, const ContentMesh& part, Vec3 offset) {
    std::vector<uint16_t> surfaceMap;
    for (const ContentSurface& s : part.surfaces) surfaceMap.push_back(addSurface(mesh, s));
    size_t base = mesh.points.size();
    for (Vec3 p : part.points) addPoint(mesh, p + offset);
    for (const ContentPolygon& poly : part.polygons) {
        ContentPolygon copy{{}, surfaceMap[poly.surface]};
        for (uint16_t v : poly.vertices) copy.vertices.push_back(static_cast<uint16_t>(v + base));
        mesh.polygons.push_back(std::move(copy));
    }
}

void addBox(ContentMesh& mesh, Vec3 lo, Vec3 hi, uint16_t surface) {
    uint16_t c[8];
    for (int i = 0; i < 8; ++i)
        c[i] = addPoint(mesh, {i & 1 ? hi.x : lo.x, i & 2 ? hi.y : lo.y, i & 4 ? hi.z : lo.z});
    addFace(mesh, {c[0], c[2], c[6], c[4]}, surface, {-1, 0, 0});
    addFace(mesh, {c[1], c[5], c[7], c[3]}, surface, {1, 0, 0});
    addFace(mesh, {c[0], c[4], c[5], c[1]}, surface, {0, -1, 0});
    addFace(mesh, {c[2], c[3], c[7], c[6]}, surface, {0, 1, 0});
    addFace(mesh, {c[0], c[1], c[3], c[2]}, surface, {0, 0, -1});
    addFace(mesh, {c[4], c[6], c[7], c[5]}, surface, {0, 0, 1});
}

namespace {

// Maps a point given with y as the torus axis onto the chosen axis.
Vec3 onAxis(Vec3 p, int axis) {
    if (axis == 0) return {p.y, p.x, p.z};
    if (axis == 2) return {p.x, p.z, p.y};
    return p;
}

} // namespace

void addTorus(ContentMesh& mesh, float ringRadius, float tubeRadius, int ringSegments,
              int tubeSegments, uint16_t surface, int axis) {
    const float tau = 2 * std::numbers::pi_v<float>;
    size_t base = mesh.points.size();
    for (int i = 0; i < ringSegments; ++i) {
        float a = tau * i / ringSegments;
        for (int j = 0; j < tubeSegments; ++j) {
            float b = tau * j / tubeSegments;
            float r = ringRadius + tubeRadius * std::cos(b);
            addPoint(mesh,
                     onAxis({r * std::cos(a), tubeRadius * std::sin(b), r * std::sin(a)}, axis));
        }
    }
    auto at = [&](int i, int j) {
        return static_cast<uint16_t>(base + (i % ringSegments) * tubeSegments + j % tubeSegments);
    };
    for (int i = 0; i < ringSegments; ++i) {
        float a = tau * (i + 0.5f) / ringSegments;
        Vec3 center = onAxis({ringRadius * std::cos(a), 0, ringRadius * std::sin(a)}, axis);
        for (int j = 0; j < tubeSegments; ++j) {
            std::vector<uint16_t> quad{at(i, j), at(i + 1, j), at(i + 1, j + 1), at(i, j + 1)};
            Vec3 mid = (mesh.points[quad[0]] + mesh.points[quad[2]]) * 0.5f;
            addFace(mesh, quad, surface, mid - center);
        }
    }
}

void addSphere(ContentMesh& mesh, Vec3 center, float radius, int segments, int rings,
               uint16_t surface) {
    const float pi = std::numbers::pi_v<float>;
    uint16_t top = addPoint(mesh, center + Vec3{0, radius, 0});
    size_t base = mesh.points.size();
    for (int r = 1; r < rings; ++r) {
        float phi = pi * r / rings;
        for (int s = 0; s < segments; ++s) {
            float theta = 2 * pi * s / segments;
            addPoint(mesh,
                     center + Vec3{radius * std::sin(phi) * std::cos(theta), radius * std::cos(phi),
                                   radius * std::sin(phi) * std::sin(theta)});
        }
    }
    uint16_t bottom = addPoint(mesh, center + Vec3{0, -radius, 0});
    auto at = [&](int r, int s) {
        return static_cast<uint16_t>(base + (r - 1) * segments + s % segments);
    };
    for (int s = 0; s < segments; ++s) {
        std::vector<uint16_t> cap{top, at(1, s), at(1, s + 1)};
        addFace(mesh, cap, surface, mesh.points[at(1, s)] - center);
        for (int r = 1; r + 1 < rings; ++r) {
            std::vector<uint16_t> quad{at(r, s), at(r + 1, s), at(r + 1, s + 1), at(r, s + 1)};
            addFace(mesh, quad, surface, mesh.points[quad[0]] + mesh.points[quad[2]] - center * 2);
        }
        std::vector<uint16_t> foot{bottom, at(rings - 1, s + 1), at(rings - 1, s)};
        addFace(mesh, foot, surface, mesh.points[at(rings - 1, s)] - center);
    }
}

void addTube(ContentMesh& mesh, const std::vector<Vec3>& path, float radius, int sides,
             uint16_t surface, bool inward) {
    const float tau = 2 * std::numbers::pi_v<float>;
    size_t base = mesh.points.size();
    Vec3 reference = {0, 1, 0};
    for (size_t k = 0; k < path.size(); ++k) {
        Vec3 along = normalized(path[std::min(k + 1, path.size() - 1)] - path[k ? k - 1 : 0]);
        if (std::fabs(dot(along, reference)) > 0.9f) reference = {1, 0, 0};
        Vec3 side = normalized(cross(along, reference));
        Vec3 up = cross(side, along);
        for (int s = 0; s < sides; ++s) {
            float a = tau * s / sides;
            addPoint(mesh, path[k] + side * (radius * std::cos(a)) + up * (radius * std::sin(a)));
        }
    }
    auto at = [&](size_t k, int s) { return static_cast<uint16_t>(base + k * sides + s % sides); };
    for (size_t k = 0; k + 1 < path.size(); ++k) {
        Vec3 center = (path[k] + path[k + 1]) * 0.5f;
        for (int s = 0; s < sides; ++s) {
            std::vector<uint16_t> quad{at(k, s), at(k + 1, s), at(k + 1, s + 1), at(k, s + 1)};
            Vec3 out = (mesh.points[quad[0]] + mesh.points[quad[2]]) * 0.5f - center;
            addFace(mesh, quad, surface, inward ? out * -1 : out);
        }
    }
}

void addLandscape(ContentMesh& mesh, float size, int cells,
                  const std::function<float(float, float)>& height, uint16_t surface) {
    size_t base = mesh.points.size();
    for (int j = 0; j <= cells; ++j)
        for (int i = 0; i <= cells; ++i) {
            float x = size * (static_cast<float>(i) / cells - 0.5f);
            float z = size * (static_cast<float>(j) / cells - 0.5f);
            addPoint(mesh, {x, height(x, z), z});
        }
    auto at = [&](int i, int j) { return static_cast<uint16_t>(base + j * (cells + 1) + i); };
    for (int j = 0; j < cells; ++j)
        for (int i = 0; i < cells; ++i)
            addFace(mesh, {at(i, j), at(i + 1, j), at(i + 1, j + 1), at(i, j + 1)}, surface,
                    {0, 1, 0});
}

void addTorusKnot(ContentMesh& mesh, int p, int q, float radius, float tubeRadius, int steps,
                  int sides, uint16_t surface) {
    const float tau = 2 * std::numbers::pi_v<float>;
    std::vector<Vec3> path;
    for (int i = 0; i <= steps; ++i) {
        float t = tau * i / steps;
        float r = radius * (0.6f + 0.3f * std::cos(q * t));
        path.push_back(
            {r * std::cos(p * t), radius * 0.35f * std::sin(q * t), r * std::sin(p * t)});
    }
    addTube(mesh, path, tubeRadius, sides, surface);
}

const std::vector<FigureBone>& figureBones() {
    // Legs and arms hang down (pitch 90), the spine points up (pitch -90); children continue
    // their parent's direction from its tip.
    static const std::vector<FigureBone> bones = {
        {"Spine", -1, {0, 0.95f, 0}, {0, -90, 0}, 0.5f, 0.36f},
        {"Head", 0, {0, 0, 0.5f}, {0, 0, 0}, 0.42f, 0.3f},
        {"ThighL", -1, {0.12f, 0.95f, 0}, {0, 90, 0}, 0.45f, 0.16f},
        {"ShinL", 2, {0, 0, 0.45f}, {0, 0, 0}, 0.48f, 0.2f},
        {"ThighR", -1, {-0.12f, 0.95f, 0}, {0, 90, 0}, 0.45f, 0.16f},
        {"ShinR", 4, {0, 0, 0.45f}, {0, 0, 0}, 0.48f, 0.2f},
        {"ArmL", -1, {0.3f, 1.42f, 0}, {0, 90, 0}, 0.3f, 0.12f},
        {"HandL", 6, {0, 0, 0.3f}, {0, 0, 0}, 0.36f, 0.14f},
        {"ArmR", -1, {-0.3f, 1.42f, 0}, {0, 90, 0}, 0.3f, 0.12f},
        {"HandR", 8, {0, 0, 0.3f}, {0, 0, 0}, 0.36f, 0.14f},
    };
    return bones;
}

ContentMesh makeFigure(const ContentSurface& skin, const ContentSurface& cloth) {
    ContentMesh mesh;
    uint16_t skinSurface = addSurface(mesh, skin);
    uint16_t clothSurface = addSurface(mesh, cloth);
    // Torso and hips.
    addBox(mesh, {-0.2f, 0.92f, -0.11f}, {0.2f, 1.44f, 0.11f}, clothSurface);
    // Neck and head.
    addTube(mesh, {{0, 1.44f, 0}, {0, 1.56f, 0}}, 0.05f, 6, skinSurface);
    addSphere(mesh, {0, 1.7f, 0}, 0.13f, 10, 6, skinSurface);
    for (int side = -1; side <= 1; side += 2) {
        float x = 0.12f * side;
        addTube(mesh, {{x, 0.95f, 0}, {x, 0.72f, 0}, {x, 0.5f, 0}}, 0.085f, 6, clothSurface);
        addTube(mesh, {{x, 0.5f, 0}, {x, 0.26f, 0}, {x, 0.06f, 0}}, 0.065f, 6, clothSurface);
        addBox(mesh, {x - 0.06f, 0, -0.06f}, {x + 0.06f, 0.06f, 0.16f}, skinSurface);
        float ax = 0.3f * side;
        addTube(mesh, {{ax, 1.41f, 0}, {ax, 1.12f, 0}}, 0.055f, 6, clothSurface);
        addTube(mesh, {{ax, 1.12f, 0}, {ax, 0.88f, 0}}, 0.045f, 6, skinSurface);
        addBox(mesh, {ax - 0.035f, 0.78f, -0.04f}, {ax + 0.035f, 0.88f, 0.04f}, skinSurface);
    }
    return mesh;
}

} // namespace kestrune
