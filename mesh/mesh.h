// Mesh records shared by the object readers, the scene model, the metaball surface and the renderers.
#pragma once

#include <cstdint>
#include <vector>

namespace kestrune {

struct Vec3 {
    float x, y, z;
};

// Polygon flag bits (a surface's flags word plus the translucency bit).
enum PolyFlag : uint8_t {
    PolyFlat = 1,
    PolyTextured = 2,
    PolySmooth = 4,
    PolyDoubleSided = 8,
    PolyTranslucent = 16,
    PolyOutline = 32,
    PolyReflection = 64,
};

struct MeshPoint {
    Vec3 position;       // object space, as stored in the file
    Vec3 cameraPosition; // camera space, written per frame
    Vec3 normal;         // mean of the unit normals of the polygons using the point (not renormalised)
    Vec3 cameraNormal;   // camera space, written per frame
    int32_t litColor[3]; // light received, 0..255 after clamping; written per frame
    int32_t shareCount;  // polygon corners (of polygons with 3+ vertices) naming this point
};

struct MeshPolygon {
    uint8_t flags;       // PolyFlag bits
    uint8_t vertexCount; // 1..255
    uint8_t color[3];    // LWOB: surface colour halved (0..127); compact: colour x 128, at most 255
    Vec3 normal;         // unit normal; zero for polygons of fewer than three vertices
    std::vector<float> u;             // per corner
    std::vector<float> v;             // per corner
    std::vector<uint16_t> vertices;   // indices into the mesh's points, in file order
    uint16_t texture;           // texture table index when PolyTextured is set
    uint16_t reflectionTexture; // texture table index when PolyReflection is set
    uint8_t surfaceSlot;        // SurfaceTable slot the polygon came from (LWOB only)
};

// The counts are the live sizes: the arrays may hold more records (the metaball surface reuses
// its arrays every frame and only moves the counts).
struct Mesh {
    uint16_t pointCount = 0;
    uint16_t polygonCount = 0;
    std::vector<MeshPoint> points;
    std::vector<MeshPolygon> polygons;
};

// Fills mesh from the named ".lwo" (loose file first, then the archive) or, failing that, the
// compact ".3d" object of the same base name; fileName's extension is replaced in place then.
// Leaves the mesh empty when neither exists.
void loadObject(char* fileName, Mesh& mesh);

} // namespace kestrune
