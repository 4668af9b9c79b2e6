// The show's driver: load sequence, timeline loop, keys and exits.
#include "shell/driver.h"

#include <algorithm>
#include <cstdio>
#include <memory>

#include "archive/content_file.h"
#include "mesh/mesh.h"
#include "mesh/texture.h"
#include "render/table/render_table.h"

namespace kestrune {

namespace {

const DriverServices& s() {
    return driverServices;
}

int32_t framesSince(uint32_t origin) {
    return static_cast<int32_t>((s().clock() - origin) / kFrameMilliseconds);
}

void drawAt(Scene& scene, int32_t frame) {
    s().drawScene(scene, static_cast<float>(frame));
}

void loadAll() {
    ShowState& st = showState;
    char name[16];
    for (int i = 0; i < kPartCount; ++i) {
        std::snprintf(name, sizeof name, "walk%d.lws", i);
        s().loadScene(st.partScenes[i], name);
    }
    s().loadScene(st.credits, "Credits.lws");
    s().loadScene(st.divozev, "Divozev.lws");
    s().loadScene(st.greet, "greet.lws");
    for (int i = 0; i < kTextOverlayCount; ++i) {
        std::snprintf(name, sizeof name, "text%d.lws", i);
        s().loadScene(st.textOverlays[i], name);
    }
}

void prepareAll() {
    ShowState& st = showState;
    if (!s().prepareScene) return;
    s().prepareScene(st.loadingScene);
    for (Scene& scene : st.partScenes) s().prepareScene(scene);
    s().prepareScene(st.credits);
    s().prepareScene(st.divozev);
    s().prepareScene(st.greet);
    for (Scene& scene : st.textOverlays) s().prepareScene(scene);
}

void applyViewRect() {
    int left = 320 - showState.viewWidth / 2;
    int top = 240 - showState.viewHeight / 2;
    renderBackend.setViewRect(left, top, left + showState.viewWidth, top + showState.viewHeight);
}

void endShow() {
    showState.ended = true;
    s().endProcess(0);
}

} // namespace

void drawPart(int part, int32_t f) {
    ShowState& st = showState;
    drawAt(st.partScenes[part], f);
    Scene* text = st.textOverlays;
    switch (part) {
    case 0:
        if (f > 60) drawAt(text[0], f - 60);
        if (f > 210) drawAt(text[1], f - 210);
        break;
    case 1:
        if (f < 520) drawAt(st.credits, f % 420);
        break;
    case 2:
        if (f > 480) drawAt(text[2], f - 480);
        break;
    case 4:
        if (f > 200) drawAt(st.divozev, f - 200);
        if (f > 0) drawAt(text[3], f);
        if (f > 100) drawAt(text[4], f - 100);
        break;
    case 5:
        if (f > 50) drawAt(text[5], f - 50);
        if (f > 330) drawAt(text[6], f - 330);
        break;
    case 8:
        drawAt(st.greet, f);
        break;
    default:
        break;
    }
}

long showWindowProcedure(PlatformWindow* window, const WindowEvent& event) {
    ShowState& st = showState;
    if (event.type == EventType::SystemCommand) return 0; // Alt+F4, close requests: swallowed
    if (event.type == EventType::KeyDown) {
        if (event.key == Key::Escape) {
            renderBackend.closeDisplay();
            s().detachMusic();
            s().stopSound();
            endShow();
            return 0;
        }
        if (event.key == Key::Left || event.key == Key::Right) {
            int step = event.key == Key::Left ? -10 : 10;
            // Shrinking stops at 10 x 10, so the backend never gets an empty or inverted
            // rectangle; the width keeps its 160-pixel lead for the way back.
            if (std::min(st.viewWidth, st.viewHeight) + step >= kMinViewSize) {
                st.viewWidth += step;
                st.viewHeight += step;
            }
            applyViewRect();
        }
    }
    return window ? defaultWindowProcedure(window, event) : 0;
}

int runShow(void* instance) {
    ShowState& st = showState;
    st.instance = instance;
    st.ended = false;
    // The archive is read, and unpacked and its images decoded on a second thread, while the
    // options window is up.
    auto archiveAhead = std::make_unique<ArchiveKeptOpen>();
    decodeArchiveTexturesAhead(true);
    openArchiveAhead();
    s().runOptionsWindow(instance, showWindowProcedure);
    if (!renderBackend.beginFrame) return 1; // no display could be opened: nothing to show on

    renderBackend.beginFrame();
    renderBackend.endFrame();

    // Scenes share objects (the letters above all): each is read once while the show loads.
    // Textures are decoded on a second thread meanwhile and uploaded before anything is drawn.
    auto reuse = std::make_unique<ObjectReuse>();
    auto textures = std::make_unique<TexturesDecodedAhead>();
    s().loadScene(st.loadingScene, "load.lws");
    finishTextureLoads();
    st.origin = s().clock();
    int32_t frame;
    do {
        renderBackend.beginFrame();
        frame = framesSince(st.origin);
        drawAt(st.loadingScene, frame);
        renderBackend.endFrame();
    } while (frame < kLoadingFrames);

    st.partCount = kPartCount;
    // The module is read while the scenes load, and taken at its place in the order below.
    if (s().prepareMusic) s().prepareMusic("test.xm");
    loadAll();
    s().initMetaballs();
    prepareAll();
    s().openSound();
    s().loadMusic("test.xm");
    textures.reset();
    reuse.reset();
    archiveAhead.reset();
    decodeArchiveTexturesAhead(false);

    st.origin = s().clock();
    if (st.loadingScene.lastFrame > kLoadingFrames) {
        do {
            renderBackend.beginFrame();
            frame = framesSince(st.origin) + kLoadingFrames;
            drawAt(st.loadingScene, frame);
            renderBackend.endFrame();
        } while (frame < st.loadingScene.lastFrame);
    }
    s().attachMusic();

    st.origin = s().clock();
    st.part = 0;
    while (st.part < st.partCount) {
        WindowMessage message;
        while (s().peekMessage(message)) {
            if (message.event.type == EventType::Quit) {
                s().detachMusic();
                s().stopSound();
                s().freeMetaballs();
                s().postQuitMessage(message.event.exitCode);
                return 1;
            }
            s().dispatchMessage(message);
            if (st.ended) return 0;
        }
        if (st.part > 4) spriteHalfSize = 0.15f;
        renderBackend.beginFrame();
        Scene& scene = st.partScenes[st.part];
        // Wrapping arithmetic: the frame counter never overflows as a signed sum.
        frame = static_cast<int32_t>(static_cast<uint32_t>(scene.firstFrame) +
                                     static_cast<uint32_t>(framesSince(st.origin)));
        drawPart(st.part, frame);
        renderBackend.endFrame();
        if (static_cast<uint32_t>(frame) > static_cast<uint32_t>(scene.lastFrame)) {
            st.origin = s().clock();
            ++st.part;
        }
    }

    s().detachMusic();
    s().stopSound();
    s().freeMetaballs();
    renderBackend.closeDisplay();
    endShow();
    return 0;
}

} // namespace kestrune
