// Every backend filler leaves no slot of the table empty, and the check names the slot it finds.
#include <gtest/gtest.h>

#include <string>

#include "render/recording/recording_backend.h"
#include "render/select_backend.h"
#ifdef KESTRUNE_TEST_OPENGL
#include "render/opengl/opengl_backend.h"
#endif
#ifdef KESTRUNE_TEST_DIRECT3D
#include "render/direct3d/direct3d_backend.h"
#include "render/direct3d/soft/soft_backend.h"
#endif

namespace kestrune {
namespace {

struct NamedFiller {
    const char* name;
    BackendFiller fill;
};

class BackendFillerTest : public ::testing::TestWithParam<NamedFiller> {};

TEST_P(BackendFillerTest, FillsEverySlotThroughSelectBackend) {
    backendFillers = {GetParam().fill, nullptr};
    renderBackend = {};
    selectBackend(BackendOpenGL);
    EXPECT_STREQ(firstEmptySlot(renderBackend), nullptr);
    renderBackend = {};
    backendFillers = {};
}

const NamedFiller kFillers[] = {
#ifdef KESTRUNE_TEST_OPENGL
    {"OpenGL", fillOpenGLBackend},
#endif
#ifdef KESTRUNE_TEST_DIRECT3D
    {"Direct3D", fillDirect3DBackend},
    {"SoftDirect3D", fillSoftDirect3DBackend},
#endif
    {"Recording", fillRecordingBackend},
};

std::string fillerName(const ::testing::TestParamInfo<NamedFiller>& param) {
    return param.param.name;
}

INSTANTIATE_TEST_SUITE_P(Fillers, BackendFillerTest, ::testing::ValuesIn(kFillers), fillerName);

TEST(BackendTableTest, TheCheckNamesTheFirstEmptySlot) {
    RenderBackend table;
    fillRecordingBackend(table);
    table.pointFlare = nullptr;
    table.endScene = nullptr;
    EXPECT_STREQ(firstEmptySlot(table), "pointFlare");
    EXPECT_STREQ(firstEmptySlot(RenderBackend{}), "openDisplay");
}

} // namespace
} // namespace kestrune
