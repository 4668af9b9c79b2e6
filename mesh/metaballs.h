// The metaball surface: a 20 x 20 x 20 field that balls add to, polygonised by marching cubes
// into one shared mesh every frame.
#pragma once

#include <cstdint>
#include <vector>

#include "mesh/mesh.h"

namespace kestrune {

constexpr int kFieldGridEdge = 20;       // cells per axis; cell (i, j, k) at (-10 + i, ...)
constexpr int kMaxFieldTriangles = 4096; // triangle buffer and metaball polygons
constexpr int kMetaballPoints = 3 * kMaxFieldTriangles;
constexpr float kDefaultIsoLevel = 0.6f;

struct FieldCell {
    float x, y, z; // sample position
    float value;   // field strength
};

// Cell (i, j, k) is cells[i + j * nx + k * nx * ny].
struct FieldGrid {
    int32_t nx = 0;
    int32_t ny = 0;
    int32_t nz = 0;
    std::vector<FieldCell> cells;
};

struct EdgeVertex {
    float x, y, z; // position on the cube edge
    float gx, gy;  // field gradient along x and y, used for texture coordinates
};

struct FieldTriangle {
    EdgeVertex vertices[3];
};

inline FieldGrid workGrid;  // balls add to this one
inline FieldGrid blankGrid; // same positions, every value 0; only copied from
inline float isoLevel = kDefaultIsoLevel;
inline Mesh metaballMesh; // 12288 points and 4096 prepared polygons; the counts are the live ones
// 1 would select a packed-float path; there is none that matches the plain one bit for bit, so
// the plain path always runs.
inline int32_t useVectorPath = 0;

// Creates both grids, the triangle buffer and the mesh (textured with "loggo.jpg"), once before
// the show. Nothing is allocated per frame after this.
void initMetaballs();
void freeMetaballs();

// Adds 1 / distance from the centre to every cell of workGrid (no cut-off).
void addBall(float x, float y, float z);

// Polygonises workGrid into metaballMesh and resets workGrid to blankGrid.
void buildMetaballMesh();

// Gives an object's mesh the metaball surface: its counts become the live ones and its arrays hold
// just the live points and polygons. The first attach to a mesh reserves room for the largest
// surface once; later ones copy into it without allocating.
void attachMetaballMesh(Mesh& objectMesh);

void clearField(FieldGrid& grid);
void setIsoLevel(float level);

// Marching cubes over grid into output; returns the triangles written, at most capacity.
int polygonizeField(const FieldGrid& grid, FieldTriangle* output, int capacity);

} // namespace kestrune
