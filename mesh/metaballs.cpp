// The metaball field, its marching-cubes polygoniser and the shared metaball mesh.
#include "mesh/metaballs.h"

#include <algorithm>
#include <cmath>

#include "mesh/marching_cubes_tables.h"
#include "mesh/texture.h"

namespace kestrune {

namespace {

std::vector<FieldTriangle> triangleBuffer;

// A ball centred exactly on a cell would add 1/0. Distances are held at least 1e-6 away, so such
// a cell gets a large finite value (1e6) rather than infinity.
constexpr float kMinDistanceSquared = 1e-12f;

void createGrid(FieldGrid& grid) {
    grid.nx = grid.ny = grid.nz = kFieldGridEdge;
    grid.cells.resize(size_t{kFieldGridEdge} * kFieldGridEdge * kFieldGridEdge);
    size_t index = 0;
    for (int k = 0; k < kFieldGridEdge; ++k)
        for (int j = 0; j < kFieldGridEdge; ++j)
            for (int i = 0; i < kFieldGridEdge; ++i)
                grid.cells[index++] = {static_cast<float>(-10 + i), static_cast<float>(-10 + j),
                                       static_cast<float>(-10 + k), 0.0f};
}

} // namespace

void clearField(FieldGrid& grid) {
    for (FieldCell& cell : grid.cells) cell.value = 0.0f;
}

void setIsoLevel(float level) {
    isoLevel = level;
}

void initMetaballs() {
    createGrid(workGrid);
    createGrid(blankGrid);
    setIsoLevel(kDefaultIsoLevel);
    clearField(workGrid);
    clearField(blankGrid);
    triangleBuffer.assign(kMaxFieldTriangles, FieldTriangle{});

    allocateMesh(metaballMesh, kMetaballPoints, kMaxFieldTriangles);
    for (uint32_t i = 0; i < kMaxFieldTriangles; ++i) {
        MeshPolygon& polygon = metaballMesh.polygons[i];
        polygon.flags = PolyTextured | PolySmooth;
        polygon.vertexCount = 3;
        polygon.vertices = {static_cast<uint16_t>(3 * i), static_cast<uint16_t>(3 * i + 1),
                            static_cast<uint16_t>(3 * i + 2)};
        polygon.u.assign(3, 0.0f);
        polygon.v.assign(3, 0.0f);
        // Every polygon asks; the table's name lookup gives the same slot after the first.
        polygon.texture = requestTexture("loggo.jpg", 1);
    }
    metaballMesh.pointCount = 0;
    metaballMesh.polygonCount = 0;
}

void freeMetaballs() {
    freeMesh(metaballMesh);
    std::vector<FieldCell>().swap(workGrid.cells);
    std::vector<FieldCell>().swap(blankGrid.cells);
    workGrid.nx = workGrid.ny = workGrid.nz = 0;
    blankGrid.nx = blankGrid.ny = blankGrid.nz = 0;
    std::vector<FieldTriangle>().swap(triangleBuffer);
}

void addBall(float x, float y, float z) {
    for (FieldCell& cell : workGrid.cells) {
        const float dx = cell.x - x;
        const float dy = cell.y - y;
        const float dz = cell.z - z;
        const float d2 = std::max(dx * dx + dy * dy + dz * dz, kMinDistanceSquared);
        cell.value += 1.0f / std::sqrt(d2);
    }
}

int polygonizeField(const FieldGrid& grid, FieldTriangle* output, int capacity) {
    const int64_t nx = grid.nx;
    const int64_t ny = grid.ny;
    const int64_t nz = grid.nz;
    if (capacity <= 0 || nx < 2 || ny < 2 || nz < 2 ||
        static_cast<int64_t>(grid.cells.size()) < nx * ny * nz)
        return 0;
    const FieldCell* cells = grid.cells.data();
    const int64_t last = nx * ny * nz - 1;
    const int64_t slab = nx * ny;
    // Corner offsets from the cube's lowest cell, in the tables' corner numbering.
    const int64_t offset[8] = {nx + slab, 1 + nx + slab, 1 + nx, nx, slab, 1 + slab, 1, 0};
    static constexpr int kEdgeCorners[12][2] = {{0, 1}, {1, 2}, {2, 3}, {3, 0}, {4, 5}, {5, 6},
                                                {6, 7}, {7, 4}, {0, 4}, {1, 5}, {2, 6}, {3, 7}};
    const float level = isoLevel;

    // The gradient takes the next cell in array order along x (the first cell of the next row at a
    // row's end) and nx cells on along y; a read past the array's end takes its last cell.
    auto valueAt = [&](int64_t index) { return cells[index < last ? index : last].value; };

    int count = 0;
    EdgeVertex edgeVertex[12];
    for (int64_t k = 0; k + 1 < nz; ++k) {
        for (int64_t j = 0; j + 1 < ny; ++j) {
            for (int64_t i = 0; i + 1 < nx; ++i) {
                const int64_t base = i + j * nx + k * slab;
                float value[8];
                int cubeIndex = 0;
                for (int c = 0; c < 8; ++c) {
                    value[c] = cells[base + offset[c]].value;
                    if (value[c] > level) cubeIndex |= 1 << c;
                }
                const uint16_t edges = kCubeEdgeTable[cubeIndex];
                if (edges == 0) continue;
                for (int e = 0; e < 12; ++e) {
                    if (!(edges & (1 << e))) continue;
                    const int64_t a = base + offset[kEdgeCorners[e][0]];
                    const int64_t b = base + offset[kEdgeCorners[e][1]];
                    const float va = cells[a].value;
                    const float vb = cells[b].value;
                    // Corners on opposite sides never hold equal values; the guard keeps any
                    // other grid from dividing by zero.
                    const float difference = vb - va;
                    const float t = difference != 0.0f ? (level - va) / difference : 0.0f;
                    EdgeVertex& out = edgeVertex[e];
                    out.x = cells[a].x + t * (cells[b].x - cells[a].x);
                    out.y = cells[a].y + t * (cells[b].y - cells[a].y);
                    out.z = cells[a].z + t * (cells[b].z - cells[a].z);
                    const float gax = va - valueAt(a + 1);
                    const float gay = va - valueAt(a + nx);
                    const float gbx = vb - valueAt(b + 1);
                    const float gby = vb - valueAt(b + nx);
                    out.gx = gax + t * (gbx - gax);
                    out.gy = gay + t * (gby - gay);
                }
                const int8_t* row = kCubeTriangleTable[cubeIndex];
                for (int r = 0; row[r] != -1; r += 3) {
                    FieldTriangle& triangle = output[count];
                    triangle.vertices[0] = edgeVertex[row[r]];
                    triangle.vertices[1] = edgeVertex[row[r + 1]];
                    triangle.vertices[2] = edgeVertex[row[r + 2]];
                    if (++count >= capacity) return count;
                }
            }
        }
    }
    return count;
}

void buildMetaballMesh() {
    // Without initMetaballs there is no buffer or mesh to fill.
    if (triangleBuffer.size() < kMaxFieldTriangles ||
        metaballMesh.polygons.size() < kMaxFieldTriangles ||
        metaballMesh.points.size() < kMetaballPoints)
        return;
    const int n = polygonizeField(workGrid, triangleBuffer.data(), kMaxFieldTriangles);
    if (blankGrid.cells.size() == workGrid.cells.size())
        std::copy(blankGrid.cells.begin(), blankGrid.cells.end(), workGrid.cells.begin());
    for (int t = 0; t < n; ++t) {
        const FieldTriangle& triangle = triangleBuffer[t];
        MeshPolygon& polygon = metaballMesh.polygons[t];
        for (int c = 0; c < 3; ++c) {
            const EdgeVertex& vertex = triangle.vertices[c];
            MeshPoint& point = metaballMesh.points[3 * t + c];
            point.position = {vertex.x, vertex.y, vertex.z};
            point.litColor[0] = point.litColor[1] = point.litColor[2] = 127;
            polygon.u[c] = 2.0f * vertex.gx + 0.5f;
            polygon.v[c] = -(2.0f * vertex.gy + 0.5f);
        }
    }
    metaballMesh.pointCount = static_cast<uint16_t>(3 * n);
    metaballMesh.polygonCount = static_cast<uint16_t>(n);
}

void attachMetaballMesh(Mesh& objectMesh) {
    // A Mesh owns its arrays, so the object gets copies of the live records. The first attach
    // reserves room for the whole surface without filling it (the show prepares every such object
    // at load, before a frame); later ones copy into that room without allocating.
    objectMesh.points.reserve(metaballMesh.points.size());
    objectMesh.polygons.reserve(metaballMesh.polygons.size());
    objectMesh.points.assign(metaballMesh.points.begin(),
                             metaballMesh.points.begin() + metaballMesh.pointCount);
    objectMesh.polygons.assign(metaballMesh.polygons.begin(),
                               metaballMesh.polygons.begin() + metaballMesh.polygonCount);
    objectMesh.pointCount = metaballMesh.pointCount;
    objectMesh.polygonCount = metaballMesh.polygonCount;
}

} // namespace kestrune
