// The driver on a fake clock with the recording backend: the load sequence, the timeline and its
// overlays, the sprite size, the keys and the three ways the show ends.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "render/recording/recording_backend.h"
#include "shell/driver.h"

namespace kestrune {
namespace {

struct Draw {
    const Scene* scene;
    float frame;
    float spriteHalfSize;
};

// What the fakes saw, in order: "load <name>", "initMetaballs", "closeDisplay", "end 0", ...
std::vector<std::string> log;
std::vector<Draw> draws;
std::map<std::string, std::pair<int32_t, int32_t>> sceneFrames; // name -> first, last
uint32_t now = 0;
uint32_t step = 0; // milliseconds the clock moves at each reading
int peekCalls = 0;
int messageAtPeek = -1; // deliver `message` at this peek call
WindowMessage message;
bool optionsOpenDisplay = true;

uint32_t fakeClock() {
    return now += step;
}
bool fakeLoadScene(Scene& scene, const char* name) {
    log.push_back(std::string("load ") + name);
    auto it = sceneFrames.find(name);
    scene.firstFrame = it == sceneFrames.end() ? 0 : it->second.first;
    scene.lastFrame = it == sceneFrames.end() ? 0 : it->second.second;
    return it != sceneFrames.end();
}
void fakeDrawScene(Scene& scene, float frame) {
    draws.push_back({&scene, frame, spriteHalfSize});
}
void fakeInitMetaballs() {
    log.push_back("initMetaballs");
}
void fakeFreeMetaballs() {
    log.push_back("freeMetaballs");
}
void fakeOpenSound() {
    log.push_back("openSound");
}
void fakeLoadMusic(const char* name) {
    log.push_back(std::string("loadMusic ") + name);
}
void fakeAttach() {
    log.push_back("attach");
}
void fakeDetach() {
    log.push_back("detach");
}
void fakeStop() {
    log.push_back("stop");
}
bool fakePeek(WindowMessage& out) {
    if (peekCalls++ != messageAtPeek) return false;
    out = message;
    return true;
}
long fakeDispatch(const WindowMessage& m) {
    return showWindowProcedure(m.window, m.event);
}
void fakePostQuit(int code) {
    log.push_back("postQuit " + std::to_string(code));
}
void fakeEnd(int status) {
    log.push_back("end " + std::to_string(status));
}
void loggedCloseDisplay() {
    log.push_back("closeDisplay");
    recording.calls.push_back({EntryPoint::CloseDisplay});
}
int fakeOptionsWindow(void*, WindowProcedure) {
    log.push_back("options");
    if (optionsOpenDisplay) {
        fillRecordingBackend(renderBackend);
        renderBackend.closeDisplay = loggedCloseDisplay;
    }
    return 1;
}

class Driver : public testing::Test {
protected:
    void SetUp() override {
        log.clear();
        draws.clear();
        sceneFrames.clear();
        now = 1000;
        step = 33;
        peekCalls = 0;
        messageAtPeek = -1;
        optionsOpenDisplay = true;
        renderBackend = RenderBackend{};
        spriteHalfSize = 0.05f;
        clearRecording();
        showState.viewWidth = 640;
        showState.viewHeight = 480;
        DriverServices& s = driverServices;
        s.clock = fakeClock;
        s.loadScene = fakeLoadScene;
        s.drawScene = fakeDrawScene;
        s.initMetaballs = fakeInitMetaballs;
        s.prepareScene = nullptr;
        s.freeMetaballs = fakeFreeMetaballs;
        s.openSound = fakeOpenSound;
        s.loadMusic = fakeLoadMusic;
        s.attachMusic = fakeAttach;
        s.detachMusic = fakeDetach;
        s.stopSound = fakeStop;
        s.peekMessage = fakePeek;
        s.dispatchMessage = fakeDispatch;
        s.postQuitMessage = fakePostQuit;
        s.endProcess = fakeEnd;
        s.runOptionsWindow = fakeOptionsWindow;
    }
    // The frames drawn of one scene, in order.
    static std::vector<float> framesOf(const Scene& scene) {
        std::vector<float> frames;
        for (const Draw& d : draws)
            if (d.scene == &scene) frames.push_back(d.frame);
        return frames;
    }
    // The log from the first entry equal to `from` on.
    static std::vector<std::string> logFrom(const std::string& from) {
        auto it = std::find(log.begin(), log.end(), from);
        return {it, log.end()};
    }
    static void keyDown(Key key) {
        WindowEvent event;
        event.type = EventType::KeyDown;
        event.key = key;
        showWindowProcedure(nullptr, event);
    }
    static const RecordedCall& lastViewRect() {
        for (auto it = recording.calls.rbegin(); it != recording.calls.rend(); ++it)
            if (it->entry == EntryPoint::SetViewRect) return *it;
        throw std::runtime_error("no setViewRect");
    }
};

TEST_F(Driver, StartUpLoadsEverythingInOrderAndPlaysTheLoadingScene) {
    sceneFrames["load.lws"] = {0, 260};
    EXPECT_EQ(runShow(nullptr), 0);
    // One cleared frame before anything else is drawn.
    ASSERT_GE(recording.calls.size(), 2u);
    EXPECT_EQ(recording.calls[0].entry, EntryPoint::BeginFrame);
    EXPECT_EQ(recording.calls[1].entry, EntryPoint::EndFrame);

    std::vector<std::string> expected = {"options", "load load.lws"};
    for (int i = 0; i < 9; ++i) expected.push_back("load walk" + std::to_string(i) + ".lws");
    for (const char* name : {"Credits.lws", "Divozev.lws", "greet.lws"})
        expected.push_back(std::string("load ") + name);
    for (int i = 0; i < 7; ++i) expected.push_back("load text" + std::to_string(i) + ".lws");
    for (const char* entry : {"initMetaballs", "openSound", "loadMusic test.xm", "attach"})
        expected.push_back(entry);
    log.resize(expected.size());
    EXPECT_EQ(log, expected);

    // A clock moving 33 ms per reading: frames 1, 2, ... up to 200, then 201 .. 260 after the
    // loading, on a new origin.
    std::vector<float> loading = framesOf(showState.loadingScene);
    ASSERT_EQ(loading.size(), 260u);
    EXPECT_EQ(loading.front(), 1.0f);
    EXPECT_EQ(loading[199], 200.0f);
    EXPECT_EQ(loading[200], 201.0f);
    EXPECT_EQ(loading.back(), 260.0f);
    EXPECT_EQ(showState.partCount, 9);
}

TEST_F(Driver, ShortLoadingSceneSkipsTheSecondLoadingPhase) {
    sceneFrames["load.lws"] = {0, 200};
    step = 50; // frames 1, 3, 4, ... the loop stops at the first frame of 200 or more
    runShow(nullptr);
    std::vector<float> loading = framesOf(showState.loadingScene);
    ASSERT_FALSE(loading.empty());
    EXPECT_GE(loading.back(), 200.0f);
    EXPECT_LT(loading[loading.size() - 2], 200.0f);
    auto attach = std::find(log.begin(), log.end(), "attach");
    auto music = std::find(log.begin(), log.end(), "loadMusic test.xm");
    EXPECT_EQ(attach, music + 1);
}

TEST_F(Driver, EachPartRunsFromItsFirstFrameUntilItPassesItsLast) {
    sceneFrames["walk0.lws"] = {10, 12};
    sceneFrames["walk3.lws"] = {0, 3};
    EXPECT_EQ(runShow(nullptr), 0);
    EXPECT_EQ(framesOf(showState.partScenes[0]), (std::vector<float>{11, 12, 13}));
    EXPECT_EQ(framesOf(showState.partScenes[3]), (std::vector<float>{1, 2, 3, 4}));
    EXPECT_EQ(framesOf(showState.partScenes[8]), (std::vector<float>{1}));
}

TEST_F(Driver, PartWhoseLastFrameIsBelowItsFirstEndsAfterOneFrame) {
    sceneFrames["walk2.lws"] = {50, 20};
    step = 1; // 33 readings per frame: the frame number stays at 50 for many turns
    EXPECT_EQ(runShow(nullptr), 0);
    EXPECT_EQ(framesOf(showState.partScenes[2]).size(), 1u);
}

TEST_F(Driver, OverlaysFollowThePartTable) {
    ShowState& st = showState;
    auto drawn = [&](int part, int32_t f) {
        draws.clear();
        drawPart(part, f);
        std::vector<std::pair<const Scene*, float>> out;
        for (const Draw& d : draws) out.push_back({d.scene, d.frame});
        return out;
    };
    using V = std::vector<std::pair<const Scene*, float>>;
    const Scene* text = st.textOverlays;
    EXPECT_EQ(drawn(0, 60), (V{{&st.partScenes[0], 60}}));
    EXPECT_EQ(drawn(0, 211), (V{{&st.partScenes[0], 211}, {&text[0], 151}, {&text[1], 1}}));
    EXPECT_EQ(drawn(1, 419), (V{{&st.partScenes[1], 419}, {&st.credits, 419}}));
    EXPECT_EQ(drawn(1, 420), (V{{&st.partScenes[1], 420}, {&st.credits, 0}}));
    EXPECT_EQ(drawn(1, 519), (V{{&st.partScenes[1], 519}, {&st.credits, 99}}));
    EXPECT_EQ(drawn(1, 520), (V{{&st.partScenes[1], 520}}));
    EXPECT_EQ(drawn(1, -5), (V{{&st.partScenes[1], -5}, {&st.credits, -5}})); // signed remainder
    EXPECT_EQ(drawn(2, 481), (V{{&st.partScenes[2], 481}, {&text[2], 1}}));
    EXPECT_EQ(drawn(3, 900), (V{{&st.partScenes[3], 900}}));
    EXPECT_EQ(drawn(4, 0), (V{{&st.partScenes[4], 0}}));
    EXPECT_EQ(drawn(4, 1), (V{{&st.partScenes[4], 1}, {&text[3], 1}}));
    EXPECT_EQ(drawn(4, 201),
              (V{{&st.partScenes[4], 201}, {&st.divozev, 1}, {&text[3], 201}, {&text[4], 101}}));
    EXPECT_EQ(drawn(5, 331), (V{{&st.partScenes[5], 331}, {&text[5], 281}, {&text[6], 1}}));
    EXPECT_EQ(drawn(6, 10), (V{{&st.partScenes[6], 10}}));
    EXPECT_EQ(drawn(7, 10), (V{{&st.partScenes[7], 10}}));
    EXPECT_EQ(drawn(8, 0), (V{{&st.partScenes[8], 0}, {&st.greet, 0}}));
}

TEST_F(Driver, SpritesGrowFromPartFiveOn) {
    runShow(nullptr);
    for (const Draw& d : draws) {
        int part = -1;
        for (int i = 0; i < 9; ++i)
            if (d.scene == &showState.partScenes[i]) part = i;
        if (part < 0) continue;
        EXPECT_FLOAT_EQ(d.spriteHalfSize, part >= 5 ? 0.15f : 0.05f) << "part " << part;
    }
    for (const Draw& d : draws) {
        if (d.scene == &showState.loadingScene) {
            EXPECT_FLOAT_EQ(d.spriteHalfSize, 0.05f);
        }
    }
}

TEST_F(Driver, NormalEndReleasesAndClosesThenEndsWithZero) {
    EXPECT_EQ(runShow(nullptr), 0);
    EXPECT_EQ(logFrom("detach"), (std::vector<std::string>{"detach", "stop", "freeMetaballs",
                                                           "closeDisplay", "end 0"}));
}

TEST_F(Driver, QuitMessageReturnsOneWithTheDisplayOpen) {
    messageAtPeek = 3;
    message = WindowMessage{};
    message.event.type = EventType::Quit;
    message.event.exitCode = 4;
    EXPECT_EQ(runShow(nullptr), 1);
    EXPECT_EQ(logFrom("detach"),
              (std::vector<std::string>{"detach", "stop", "freeMetaballs", "postQuit 4"}));
}

TEST_F(Driver, EscapeClosesStopsAndEndsAtOnce) {
    sceneFrames["walk0.lws"] = {0, 1000};
    messageAtPeek = 5;
    message = WindowMessage{};
    message.event.type = EventType::KeyDown;
    message.event.key = Key::Escape;
    EXPECT_EQ(runShow(nullptr), 0);
    EXPECT_EQ(logFrom("closeDisplay"),
              (std::vector<std::string>{"closeDisplay", "detach", "stop", "end 0"}));
    EXPECT_EQ(framesOf(showState.partScenes[0]).size(), 5u); // five turns, none after the key
}

TEST_F(Driver, LeftAndRightResizeTheViewAroundTheCentre) {
    fillRecordingBackend(renderBackend);
    keyDown(Key::Left);
    const RecordedCall& smaller = lastViewRect();
    EXPECT_EQ((std::vector<int>(smaller.args, smaller.args + 4)),
              (std::vector<int>{5, 5, 635, 475}));
    keyDown(Key::Right);
    keyDown(Key::Right);
    const RecordedCall& larger = lastViewRect();
    EXPECT_EQ((std::vector<int>(larger.args, larger.args + 4)),
              (std::vector<int>{-5, -5, 645, 485}));
    keyDown(Key::Space); // other keys change nothing
    EXPECT_EQ(showState.viewWidth, 650);
}

TEST_F(Driver, LeftNeverHandsTheBackendAnEmptyRectangle) {
    fillRecordingBackend(renderBackend);
    for (int i = 0; i < 100; ++i) keyDown(Key::Left);
    for (const RecordedCall& call : recording.calls) {
        if (call.entry != EntryPoint::SetViewRect) continue;
        EXPECT_GE(call.args[2] - call.args[0], 10);
        EXPECT_GE(call.args[3] - call.args[1], 10);
    }
    EXPECT_EQ(showState.viewHeight, 10);
    EXPECT_EQ(showState.viewWidth, 170);
    for (int i = 0; i < 47; ++i) keyDown(Key::Right);
    EXPECT_EQ(showState.viewWidth, 640); // the way back is symmetric
    EXPECT_EQ(showState.viewHeight, 480);
}

TEST_F(Driver, SystemCommandsAreSwallowed) {
    fillRecordingBackend(renderBackend);
    renderBackend.closeDisplay = loggedCloseDisplay;
    WindowEvent close;
    close.type = EventType::SystemCommand;
    close.command = SystemCommand::Close;
    EXPECT_EQ(showWindowProcedure(nullptr, close), 0);
    EXPECT_TRUE(log.empty());
}

TEST_F(Driver, WithoutAnOutputDisplayNothingIsLoaded) {
    optionsOpenDisplay = false;
    EXPECT_EQ(runShow(nullptr), 1);
    EXPECT_EQ(log, std::vector<std::string>{"options"});
}

} // namespace
} // namespace kestrune
