// Mesh records shared by the object readers, the scene model, the metaball surface and the
// renderers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "archive/content_file.h"
#include "binary/byte_reader.h"
#include "mesh/corner_list.h"

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
    Vec3 normal; // mean of the unit normals of the polygons using the point (not renormalised)
    Vec3 cameraNormal;   // camera space, written per frame
    int32_t litColor[3]; // light received, 0..255 after clamping; written per frame
    int32_t shareCount;  // polygon corners (of polygons with 3+ vertices) naming this point
};

struct MeshPolygon {
    uint8_t flags;       // PolyFlag bits
    uint8_t vertexCount; // 1..255
    uint8_t color[3];    // LWOB: surface colour halved (0..127); compact: colour x 128, at most 255
    Vec3 normal;         // unit normal; zero for polygons of fewer than three vertices
    CornerList<float> u;           // per corner
    CornerList<float> v;           // per corner
    CornerList<uint16_t> vertices; // indices into the mesh's points, in file order
    uint16_t texture;               // texture table index when PolyTextured is set
    uint16_t reflectionTexture;     // texture table index when PolyReflection is set
    uint8_t surfaceSlot;            // SurfaceTable slot the polygon came from (LWOB only)
};

// The counts are the live sizes: the arrays may hold more records (the metaball surface reuses
// its arrays every frame and only moves the counts).
struct Mesh {
    uint16_t pointCount = 0;
    uint16_t polygonCount = 0;
    std::vector<MeshPoint> points;
    std::vector<MeshPolygon> polygons;
    Refusal refusal; // why the reader refused the object's file; empty when it did not
};

// Largest point or polygon count a mesh can hold (the counts and vertex indices are 16-bit).
constexpr uint32_t kMaxMeshCount = 65535;

// Fills mesh from the named ".lwo" (loose file first, then the archive) or, failing that, the
// compact ".3d" object of the same base name; fileName's extension is replaced in place then.
// Leaves the mesh empty when neither exists.
void loadObject(char* fileName, Mesh& mesh);

// While one of these is alive, loadObject remembers its loads: a name loaded again while the
// surface table is as it was before an earlier load of it gets a copy of that load's mesh (texture
// slots included), its rewritten name and the surface table it left, without reading the files
// again; one loaded again while the table differs is parsed again from the ".lwo" bytes read
// the first time. The default archive is kept open meanwhile. For one start-up's
// loading, during which neither the content files nor the texture table change. The last one to
// end forgets the meshes.
class ObjectReuse {
public:
    ObjectReuse();
    ~ObjectReuse();
    ObjectReuse(const ObjectReuse&) = delete;
    ObjectReuse& operator=(const ObjectReuse&) = delete;

private:
    ArchiveKeptOpen archive_;
};

// The ".3d" fallback: replaces fileName's extension (from its last '.') with ".3d" in place, then
// reads that object. A name without a '.', or with a shorter extension than ".3d", loads nothing.
void loadCompactObject(char* fileName, Mesh& mesh);

// Parse one LWOB or compact object held in memory into mesh. False (mesh left empty) when the
// data is refused (mesh.refusal says why); see the readers for the rules.
bool readLwobObject(const uint8_t* data, size_t size, Mesh& mesh);
bool readCompactObject(const uint8_t* data, size_t size, Mesh& mesh);

// Sizes the arrays for the given counts (at most kMaxMeshCount each; each polygon's arrays empty)
// and stores the counts. Out of memory writes the message to stderr and ends the process with
// status 1.
void allocateMesh(Mesh& mesh, uint32_t pointCount, uint32_t polygonCount);

// Releases every array and sets both counts to 0.
void freeMesh(Mesh& mesh);

// Polygon normals from the first, second and last corner; point normals as the mean of the
// normals of the polygons (3+ vertices) naming them, counted per corner. Every vertex index must
// be below pointCount, as the readers ensure.
void computeMeshNormals(Mesh& mesh);

} // namespace kestrune
