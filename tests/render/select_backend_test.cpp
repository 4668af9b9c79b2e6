// The renderer selection and the "GO!!" start action, driven through a fake options window.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "render/recording/recording_backend.h"
#include "render/select_backend.h"

namespace kestrune {
namespace {

std::vector<std::string> events; // what happened, in order

void fakeOpenGLOpen(int width, int height, void*, WindowProcedure) {
    events.push_back("gl open " + std::to_string(width) + "x" + std::to_string(height));
}
void fakeDirect3DOpen(int width, int height, void*, WindowProcedure) {
    events.push_back("d3d open " + std::to_string(width) + "x" + std::to_string(height));
}
void fillFakeOpenGL(RenderBackend& table) {
    events.push_back("fill gl");
    fillRecordingBackend(table);
    table.openDisplay = fakeOpenGLOpen;
}
void fillFakeDirect3D(RenderBackend& table) {
    events.push_back("fill d3d");
    fillRecordingBackend(table);
    table.openDisplay = fakeDirect3DOpen;
}
void fakeExit(int status) {
    events.push_back("exit " + std::to_string(status));
}

struct FakeWindow {
    std::vector<StartControl> on;
};

bool fakeIsOn(void* context, StartControl control) {
    for (StartControl c : static_cast<FakeWindow*>(context)->on)
        if (c == control) return true;
    return false;
}
void fakeDestroy(void*) {
    events.push_back("destroy");
}

class StartShowTest : public ::testing::Test {
protected:
    void SetUp() override {
        events.clear();
        renderBackend = {};
        renderOptions = {};
        backendFillers = {fillFakeOpenGL, fillFakeDirect3D};
        endProcess = fakeExit;
    }
    void TearDown() override {
        renderBackend = {};
        renderOptions = {};
        backendFillers = {};
        endProcess = endProcessAtOnce;
    }
    void start(std::vector<StartControl> on) {
        window.on = std::move(on);
        StartControls controls;
        controls.isOn = fakeIsOn;
        controls.destroyOptionsWindow = fakeDestroy;
        controls.context = &window;
        startShow(controls);
    }
    FakeWindow window;
};

TEST_F(StartShowTest, OpenGLOpensTheChosenResolutionThenDestroysTheWindow) {
    start({StartControl::OpenGL, StartControl::Mipmapping, StartControl::Resolution800x600});
    EXPECT_EQ(events, (std::vector<std::string>{"fill gl", "gl open 800x600", "destroy"}));
    EXPECT_EQ(renderOptions.mipmapping, 1);
    EXPECT_EQ(renderOptions.perspectiveCorrection, 0);
    EXPECT_EQ(renderOptions.fullscreen, 0);
    EXPECT_EQ(renderOptions.textureFiltering, 0);
}

TEST_F(StartShowTest, Direct3DForcesPerspectiveCorrection) {
    start({StartControl::Direct3D, StartControl::Fullscreen, StartControl::Resolution320x200});
    EXPECT_EQ(events, (std::vector<std::string>{"fill d3d", "d3d open 320x200", "destroy"}));
    EXPECT_EQ(renderOptions.perspectiveCorrection, 1);
    EXPECT_EQ(renderOptions.fullscreen, 1);
    EXPECT_EQ(renderOptions.mipmapping, 0);
}

TEST_F(StartShowTest, BluescreenEndsWithStatusZeroBeforeAnyDisplay) {
    start({StartControl::Bluescreen, StartControl::Resolution640x480, StartControl::Mipmapping});
    EXPECT_EQ(events, (std::vector<std::string>{"exit 0"}));
    EXPECT_EQ(renderOptions.mipmapping, 1); // untouched: still the start value
    EXPECT_EQ(renderBackend.openDisplay, nullptr);
}

TEST_F(StartShowTest, NoRendererOpensNothingButStillClosesTheWindow) {
    start({StartControl::Resolution640x480});
    EXPECT_EQ(events, (std::vector<std::string>{"destroy"}));
}

// The Bluescreen, X and BYE exits end as the show's other endings do: a build with LeakSanitizer
// checks for leaks first, which a bare _Exit would skip.
TEST(SelectBackendTest, TheExitsRunTheLeakCheckFirst) {
    EXPECT_EQ(endProcess, &endProcessAtOnce);
}

TEST(SelectBackendTest, UnknownKindsAndMissingBackendsFillNothing) {
    renderBackend = {};
    backendFillers = {fillFakeOpenGL, nullptr};
    selectBackend(1);
    selectBackend(-1);
    selectBackend(BackendDirect3D);
    EXPECT_EQ(renderBackend.openDisplay, nullptr);
    selectBackend(BackendOpenGL);
    EXPECT_EQ(renderBackend.openDisplay, fakeOpenGLOpen);
    renderBackend = {};
    backendFillers = {};
}

} // namespace
} // namespace kestrune
