// The whole generated show through the driver, on a fake clock with the recording backend: every
// part draws, the overlays appear where the table puts them, and no texture is missing.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <vector>

#include "mesh/texture.h"
#include "render/recording/recording_backend.h"
#include "shell/driver.h"
#include "tests/content/show_fixture.h"

using namespace kestrune;

namespace {

struct Draw {
    const Scene* scene;
    int frame;
    uint64_t polygons;
};

std::vector<Draw> draws;
void (*realDrawScene)(Scene&, float) = nullptr;
uint32_t now = 0;
bool ended = false;

uint32_t fakeClock() {
    return now += kFrameMilliseconds;
}
void countingDrawScene(Scene& scene, float frame) {
    const auto slot = static_cast<int>(EntryPoint::DrawPolygon);
    uint64_t before = recording.callCounts[slot];
    realDrawScene(scene, frame);
    draws.push_back({&scene, static_cast<int>(frame), recording.callCounts[slot] - before});
}
void silent() {}
void silentLoad(const char*) {}
bool noMessage(WindowMessage&) {
    return false;
}
long noDispatch(const WindowMessage&) {
    return 0;
}
void noQuit(int) {}
void endShow(int) {
    ended = true;
}
int openRecordingDisplay(void*, WindowProcedure) {
    fillRecordingBackend(renderBackend);
    return 1;
}

} // namespace

TEST(ShowTimeline, EveryPartDrawsAndEveryOverlayAppears) {
    const ShowContent& show = generatedShow();
    // The driver names the archive "krv.dat": run in the folder that holds the content.
    std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(generatedShowFolder());

    DriverServices services = showServices();
    realDrawScene = services.drawScene;
    services.clock = fakeClock;
    services.drawScene = countingDrawScene;
    services.openSound = silent;
    services.loadMusic = silentLoad;
    services.attachMusic = silent;
    services.detachMusic = silent;
    services.stopSound = silent;
    services.peekMessage = noMessage;
    services.dispatchMessage = noDispatch;
    services.postQuitMessage = noQuit;
    services.endProcess = endShow;
    services.runOptionsWindow = openRecordingDisplay;
    driverServices = services;
    recording.enabled = false; // count calls only
    recording.decodeTextures = true;
    textureTable.count = 0;

    runShow(nullptr);
    std::filesystem::current_path(previous);
    ASSERT_TRUE(ended);

    ShowState& st = showState;
    // Every part is drawn for its whole length and shows polygons throughout.
    for (int part = 0; part < kPartCount; ++part) {
        const Scene* s = &st.partScenes[part];
        int drawn = 0, empty = 0;
        for (const Draw& d : draws)
            if (d.scene == s) {
                ++drawn;
                empty += d.polygons == 0;
            }
        EXPECT_GE(drawn, show.partFrames[part]) << "part " << part;
        EXPECT_EQ(empty, 0) << "part " << part << " has frames without polygons";
    }
    // Each overlay is seen for at least three seconds.
    std::vector<std::pair<const char*, const Scene*>> overlays = {
        {"Credits", &st.credits}, {"Divozev", &st.divozev}, {"greet", &st.greet}};
    const char* textNames[] = {"text0", "text1", "text2", "text3", "text4", "text5", "text6"};
    for (int i = 0; i < kTextOverlayCount; ++i)
        overlays.push_back({textNames[i], &st.textOverlays[i]});
    for (const auto& [name, s] : overlays) {
        int visible = 0;
        for (const Draw& d : draws) visible += d.scene == s && d.polygons > 0;
        EXPECT_GE(visible * static_cast<int>(kFrameMilliseconds), 3000) << name;
    }
    // Every texture the show asked for was found and decoded.
    ASSERT_GT(textureTable.count, 0);
    for (int i = 0; i < textureTable.count; ++i) {
        const TextureSlot& slot = textureTable.slots[i];
        EXPECT_GT(slot.width, kMissingTextureSize) << slot.name;
    }
    EXPECT_GE(findTexture("loggo.jpg"), 0);
    recording.enabled = true;
    recording.decodeTextures = false;
}
