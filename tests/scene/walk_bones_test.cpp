// The show's walking figures: every deformed point stays finite at any frame of every walk scene.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "scene/scene.h"
#include "tests/content/show_fixture.h"

namespace kestrune {
namespace {

bool finite(Vec3 v) {
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

TEST(WalkScenes, DeformedPointsAreFiniteAtEveryFrameTried) {
    generatedShow();
    int boned = 0;
    for (int part = 0; part <= 8; ++part) {
        const std::string name = "walk" + std::to_string(part) + ".lws";
        Scene scene;
        ASSERT_TRUE(loadScene(scene, name.c_str())) << name;
        for (SceneObject& object : scene.objects) {
            if (object.boneCount == 0) continue;
            ++boned;
            for (float frame : {0.0f, 7.0f, 33.5f, 100.0f, 300.0f, 1000.0f}) {
                deformBones(object, frame);
                for (size_t k = 0; k < object.mesh.points.size(); ++k) {
                    const MeshPoint& p = object.mesh.points[k];
                    ASSERT_TRUE(finite(p.position) && finite(p.normal))
                        << name << " " << object.name << " point " << k << " frame " << frame;
                }
            }
        }
    }
    EXPECT_GE(boned, 9);
}

} // namespace
} // namespace kestrune
