// Authoring meshes for the show: points, polygons and surfaces, and the shapes built from them.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "mesh/mesh.h"

namespace kestrune {

enum class MapType { None, Planar, Cylindrical, Spherical };

// A surface as the object files describe it; colours 0..255.
struct ContentSurface {
    std::string name;
    uint8_t color[3] = {200, 200, 200};
    bool smooth = false;
    bool outline = false;
    bool doubleSided = false;
    float transparency = 0; // above 0.5 draws the surface in the translucent pass
    MapType map = MapType::None;
    int axis = 1;             // 0 X, 1 Y, 2 Z
    Vec3 mapSize = {1, 1, 1}; // object units covered by one repeat
    Vec3 mapCenter = {0, 0, 0};
    float wrapWidth = 1;         // repeats around a cylinder or sphere
    float wrapHeight = 1;        // repeats from pole to pole of a sphere
    std::string image;           // colour texture path (only its last component is used)
    std::string reflectionImage; // reflection texture path, empty for none
};

struct ContentPolygon {
    std::vector<uint16_t> vertices;
    uint16_t surface = 0; // index into ContentMesh::surfaces
};

struct ContentMesh {
    std::vector<Vec3> points;
    std::vector<ContentPolygon> polygons;
    std::vector<ContentSurface> surfaces;
};

Vec3 operator+(Vec3 a, Vec3 b);
Vec3 operator-(Vec3 a, Vec3 b);
Vec3 operator*(Vec3 a, float s);
float dot(Vec3 a, Vec3 b);
Vec3 cross(Vec3 a, Vec3 b);
Vec3 normalized(Vec3 a);

// The normal the object reader gives a polygon: (A - B) x (A - L) of its first, second and
// last points, not normalised.
Vec3 faceNormal(const ContentMesh& mesh, const std::vector<uint16_t>& vertices);

uint16_t addSurface(ContentMesh& mesh, const ContentSurface& surface);
uint16_t addPoint(ContentMesh& mesh, Vec3 p);
// Adds a polygon of three or more points turned so that its reader normal agrees with outward.
void addFace(ContentMesh& mesh, std::vector<uint16_t> vertices, uint16_t surface, Vec3 outward);
// Adds a one- or two-point polygon (sprite or line), or any polygon exactly as given.
void addRawPolygon(ContentMesh& mesh, std::vector<uint16_t> vertices, uint16_t surface);

// Turns every polygon over (its first point stays first), e.g. to see a closed shape from inside.
void flipFaces(ContentMesh& mesh);

// Copies every point and polygon of part into mesh with the given offset; surfaces are matched
// by name and added when missing.
void appendMesh(ContentMesh& mesh, const ContentMesh& part, Vec3 offset = {0, 0, 0});

// Shapes; each adds its points and faces to mesh with the given surface.
void addBox(ContentMesh& mesh, Vec3 lo, Vec3 hi, uint16_t surface);
void addTorus(ContentMesh& mesh, float ringRadius, float tubeRadius, int ringSegments,
              int tubeSegments, uint16_t surface, int axis = 1);
void addSphere(ContentMesh& mesh, Vec3 center, float radius, int segments, int rings,
               uint16_t surface);
// A tube of the given radius along a path of points (open ends).
void addTube(ContentMesh& mesh, const std::vector<Vec3>& path, float radius, int sides,
             uint16_t surface, bool inward = false);
// A square height field of cells x cells quads spanning size units in x and z.
void addLandscape(ContentMesh& mesh, float size, int cells,
                  const std::function<float(float, float)>& height, uint16_t surface);
// A torus knot tube (p, q) around the y axis.
void addTorusKnot(ContentMesh& mesh, int p, int q, float radius, float tubeRadius, int steps,
                  int sides, uint16_t surface);

// The walking figure in its rest pose (standing, facing +z, feet at y = 0, about 1.9 units
// tall) and the bones that move it.
struct FigureBone {
    const char* name;
    int parent;         // index into the bone list, -1 for the root
    Vec3 restPosition;  // relative to the parent bone
    Vec3 restDirection; // heading, pitch, bank in degrees, relative to the parent bone
    float restLength;
    float range; // points farther than this from the bone ignore it
};
const std::vector<FigureBone>& figureBones();
ContentMesh makeFigure(const ContentSurface& skin, const ContentSurface& cloth);

} // namespace kestrune
