// The frame renderer: one scene at one frame, in the fixed order the backends rely on.
#include "render/frame_renderer.h"

#include <algorithm>
#include <cstring>

#include "mesh/metaballs.h"
#include "render/lighting.h"
#include "render/placement.h"
#include "render/table/render_table.h"

namespace kestrune {

namespace {

constexpr char kMetaballSurfaceName[] = "mcube.lwo";

// Array sizes and the counts beside them are kept apart by the records; only indices both cover
// are used.
size_t liveObjects(const Scene& scene) {
    return std::min<size_t>(std::max(scene.objectCount, 0), scene.objects.size());
}
size_t liveLights(const Scene& scene) {
    return std::min<size_t>(std::max(scene.lightCount, 0), scene.lights.size());
}
size_t livePolygons(const Mesh& mesh) {
    return std::min<size_t>(mesh.polygonCount, mesh.polygons.size());
}

bool drawnOpaque(const MeshPolygon& polygon) {
    return !(polygon.flags & PolyTranslucent) && polygon.vertexCount != 1;
}

bool isMetaballSurface(const SceneObject& object) {
    return object.isMetaball == 1 && std::strcmp(object.name, kMetaballSurfaceName) == 0;
}

} // namespace

void evaluateScene(Scene& scene, float frame) {
    evaluateMotion(scene.camera.motion, frame);
    setupCamera(scene.camera.motion);
    const size_t objects = liveObjects(scene);
    for (size_t i = 0; i < objects; ++i) {
        SceneObject& object = scene.objects[i];
        if (object.hasDissolve == 1) evaluateMotion(object.dissolve, frame);
        if (object.hasMetamorph == 1) evaluateMotion(object.metamorph, frame);
        evaluateMotion(object.motion, frame);
    }
    const size_t lights = liveLights(scene);
    for (size_t i = 0; i < lights; ++i) {
        SceneLight& light = scene.lights[i];
        evaluateMotion(light.motion, frame);
        evaluateMotion(light.intensity, frame);
        placeLight(light);
    }
}

void prepareMetaballObjects(Scene& scene) {
    const size_t objects = liveObjects(scene);
    for (size_t i = 0; i < objects; ++i)
        if (isMetaballSurface(scene.objects[i])) attachMetaballMesh(scene.objects[i].mesh);
}

bool isVisible(const SceneObject& object) {
    return !(object.hasDissolve == 1 && object.dissolve.values[0] >= 0.5f);
}

void blendMorph(SceneObject& object) {
    const float m = object.metamorph.values[0];
    // Only points that have both a rest copy and a delta are blended; the rest keep their data.
    const size_t count = std::min({size_t{object.mesh.pointCount}, object.mesh.points.size(),
                                   object.restPoints.size(), object.morphDeltas.size()});
    for (size_t k = 0; k < count; ++k) {
        const MeshPoint& rest = object.restPoints[k];
        const MorphDelta& delta = object.morphDeltas[k];
        MeshPoint& point = object.mesh.points[k];
        point.position = {rest.position.x + m * delta.position.x,
                          rest.position.y + m * delta.position.y,
                          rest.position.z + m * delta.position.z};
        point.normal = {rest.normal.x + m * delta.normal.x, rest.normal.y + m * delta.normal.y,
                        rest.normal.z + m * delta.normal.z};
    }
}

void drawScene(Scene& scene, float frame) {
    evaluateScene(scene, frame);

    const RenderBackend& backend = renderBackend;
    // Before a backend is chosen the table is empty: the scene is evaluated but nothing is drawn.
    if (!backend.beginScene || !backend.endScene || !backend.setTranslucent ||
        !backend.drawPolygon || !backend.spotFlare || !backend.pointFlare)
        return;

    backend.beginScene();
    backend.setTranslucent(0);

    const size_t objects = liveObjects(scene);
    for (size_t i = 0; i < objects; ++i) {
        SceneObject& object = scene.objects[i];
        if (object.isMetaball == 1) {
            if (isMetaballSurface(object)) {
                buildMetaballMesh();
                attachMetaballMesh(object.mesh);
            } else {
                // A ball: its own position only, no parent, pivot or scale.
                const float* c = object.motion.values;
                addBall(c[0], c[1], c[2]);
            }
        }
        if (!isVisible(object)) continue;
        deformBones(object, frame);
        if (object.hasMetamorph == 1) blendMorph(object);
        transformAndLight(object, scene);
        const size_t polygons = livePolygons(object.mesh);
        for (size_t p = 0; p < polygons; ++p) {
            const MeshPolygon& polygon = object.mesh.polygons[p];
            if (drawnOpaque(polygon)) backend.drawPolygon(object.mesh, polygon);
        }
    }

    // Translucent polygons and one-point sprites, with the camera-space data of the opaque pass
    // and in array order: there is no depth sorting.
    backend.setTranslucent(1);
    for (size_t i = 0; i < objects; ++i) {
        const SceneObject& object = scene.objects[i];
        if (!isVisible(object)) continue;
        const size_t polygons = livePolygons(object.mesh);
        for (size_t p = 0; p < polygons; ++p) {
            const MeshPolygon& polygon = object.mesh.polygons[p];
            if (!drawnOpaque(polygon)) backend.drawPolygon(object.mesh, polygon);
        }
    }
    backend.setTranslucent(0);
    backend.endScene();

    const size_t lights = liveLights(scene);
    for (size_t i = 0; i < lights; ++i) {
        const SceneLight& light = scene.lights[i];
        if (light.lensFlare == 0) continue;
        if (light.type == 2) backend.spotFlare(light);
        if (light.type == 1) backend.pointFlare(light);
    }
}

} // namespace kestrune
