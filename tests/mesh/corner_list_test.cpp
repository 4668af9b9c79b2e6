// A polygon's corner list: corners past the inline room, copies and moves of either storage.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "mesh/mesh.h"

namespace kestrune {
namespace {

TEST(CornerList, CopiesAndMovesKeepEveryCornerWhereverItIsHeld) {
    MeshPolygon small;
    small.vertices = {7, 8, 9};
    MeshPolygon large;
    for (uint16_t k = 0; k < 40; ++k) large.vertices.push_back(k);
    large.u.assign(40, 0.25f);

    for (const MeshPolygon* source : {&small, &large}) {
        const std::vector<uint16_t> expected(source->vertices.begin(), source->vertices.end());
        MeshPolygon copy = *source;
        copy.vertices[0] = 1000; // a copy owns its corners
        EXPECT_EQ(source->vertices, expected);
        copy = *source;
        MeshPolygon moved = std::move(copy);
        EXPECT_EQ(moved.vertices, expected);
        EXPECT_TRUE(copy.vertices.empty());
        moved = MeshPolygon(*source); // move-assigning over corners it already holds
        EXPECT_EQ(moved.vertices, expected);
        EXPECT_EQ(moved.u, source->u);
    }
    MeshPolygon grown = large;
    grown = small; // few corners over many, and back
    EXPECT_EQ(grown.vertices, small.vertices);
    grown = large;
    EXPECT_EQ(grown.vertices, large.vertices);
    large.vertices.resize(2);
    large.vertices.resize(5);
    EXPECT_EQ(large.vertices, (std::vector<uint16_t>{0, 1, 0, 0, 0})); // grown corners are zero
}

} // namespace
} // namespace kestrune
