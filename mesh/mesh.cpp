// Mesh storage and the normals both object readers finish with.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <stdexcept>

#include "mesh/mesh.h"

namespace kestrune {

void allocateMesh(Mesh& mesh, uint32_t pointCount, uint32_t polygonCount) {
    try {
        mesh.points.assign(pointCount, MeshPoint{});
        mesh.polygons.assign(polygonCount, MeshPolygon{});
    } catch (const std::exception&) { // bad_alloc, or length_error past the largest vector
        std::fputs("OUT OF MEMORY!!!\n(Is that bad eh?)", stderr);
        std::fflush(stderr);
        // The show once ended with status 0 here, reporting success for a failed run.
        std::_Exit(1);
    }
    mesh.pointCount = static_cast<uint16_t>(pointCount);
    mesh.polygonCount = static_cast<uint16_t>(polygonCount);
}

void freeMesh(Mesh& mesh) {
    std::vector<MeshPoint>().swap(mesh.points);
    std::vector<MeshPolygon>().swap(mesh.polygons);
    mesh.pointCount = 0;
    mesh.polygonCount = 0;
}

void computeMeshNormals(Mesh& mesh) {
    for (uint32_t i = 0; i < mesh.pointCount; ++i) {
        mesh.points[i].normal = {0.0f, 0.0f, 0.0f};
        mesh.points[i].shareCount = 0;
    }
    for (uint32_t p = 0; p < mesh.polygonCount; ++p) {
        MeshPolygon& polygon = mesh.polygons[p];
        polygon.normal = {0.0f, 0.0f, 0.0f};
        if (polygon.vertexCount < 3) continue;
        const Vec3 a = mesh.points[polygon.vertices[0]].position;
        const Vec3 b = mesh.points[polygon.vertices[1]].position;
        const Vec3 l = mesh.points[polygon.vertices[polygon.vertexCount - 1]].position;
        const float nx = (a.y - b.y) * (a.z - l.z) - (a.y - l.y) * (a.z - b.z);
        const float ny = (a.x - l.x) * (a.z - b.z) - (a.x - b.x) * (a.z - l.z);
        const float nz = (a.x - b.x) * (a.y - l.y) - (a.x - l.x) * (a.y - b.y);
        const float lengthSquared = nx * nx + ny * ny + nz * nz;
        float length = 1.0f;
        if (lengthSquared != 0.0f) {
            length = std::sqrt(lengthSquared);
            if (length == 0.0f) length = 0.001f;
        }
        polygon.normal = {nx / length, ny / length, nz / length};
        for (uint32_t k = 0; k < polygon.vertexCount; ++k) {
            MeshPoint& point = mesh.points[polygon.vertices[k]];
            point.normal.x += polygon.normal.x;
            point.normal.y += polygon.normal.y;
            point.normal.z += polygon.normal.z;
            ++point.shareCount;
        }
    }
    for (uint32_t i = 0; i < mesh.pointCount; ++i) {
        MeshPoint& point = mesh.points[i];
        if (point.shareCount == 0) continue;
        const float share = static_cast<float>(point.shareCount);
        point.normal = {point.normal.x / share, point.normal.y / share, point.normal.z / share};
    }
}

} // namespace kestrune
