// The show's twenty scenes: the loading scene, the nine parts and the overlays that the
// driver's table draws over them.
#include "content/show_scenes.h"

#include <cmath>
#include <iterator>
#include <numbers>

#include "content/font.h"
#include "content/show.h"
#include "content/show_animation.h"

namespace kestrune {

namespace {

constexpr float kPi = std::numbers::pi_v<float>;

SceneDraft loadingScene() {
    SceneDraft s;
    s.lastFrame = kLoadingLastFrame;
    addObject(s, [] {
        ObjectDraft o = still("Objects\\plasmaring.lwo", {0, 0, 6});
        o.motion = spin({0, 0, 6}, {360, 180, 90}, 240);
        return o;
    }());
    s.lights.push_back(
        distantLight({20, 20, 0}, 255, 255, 255, keyedEnvelope({{0, 0.2f}, {90, 1.2f}}, 1)));
    s.lights.push_back(
        pointLight(orbit({0, 0, 6}, {3, 1, 3}, 120, 0), 255, 120, 60, constantEnvelope(2.0f)));
    for (const TextLine& line :
         {TextLine{"KESTRUNE 99", 0.55f, 10, 300, 0.8f}, TextLine{"LOADING", -0.7f, 40, 300, 0.6f}})
        addTextLine(s, line, stillMotion({0, 0, 0}));
    s.camera = cameraPath({{0, {0, 0, -3}, {0, 0, 6}, 0, 0, 0},
                           {160, {0.6f, 0.3f, -1}, {0, 0, 6}, 0, 0, 0},
                           {kLoadingLastFrame, {0, 0, 0}, {0, 0, 6}, 1, 0, 0}},
                          1);
    return s;
}

SceneDraft part0(int last) {
    // Dawn over the hills: the walker sets out.
    SceneDraft s;
    s.lastFrame = last;
    addObject(s, still("Objects\\dome.lwo", {0, 0, 10}));
    addObject(s, still("Objects\\ground.lwo", {0, 0, 10}));
    addObject(s, walker(0, straightWalk({0, 0, -2}, 0, last)));
    s.lights.push_back(distantLight({30, 35, 0}, 255, 200, 150,
                                    keyedEnvelope({{0, 0.3f}, {last / 2, 1.1f}, {last, 1.3f}}, 1)));
    s.lights.push_back(pointLight(stillMotion({2, 3, 0}), 255, 230, 200, constantEnvelope(3)));
    float endZ = -2 + 0.035f * last;
    s.camera =
        cameraPath({{0, {3, 1.2f, -7}, {0, 1, -2}},
                    {last / 3, {-2.5f, 1.6f, -5 + endZ / 3}, {0, 1, -1 + endZ / 3}, 0, 0.2f, 0},
                    {2 * last / 3, {2.5f, 2.2f, endZ * 2 / 3 - 3}, {0, 0.9f, endZ * 2 / 3}},
                    {last, {0.5f, 1.4f, endZ - 4}, {0, 1, endZ}, 0.5f, 0, 0}},
                   1);
    return s;
}

SceneDraft part1(int last) {
    // Through the arches: rings turning on a null, a spot and a lamp with flares.
    SceneDraft s;
    s.lastFrame = last;
    addObject(s, still("Objects\\floor.lwo", {0, 0, 0}));
    int pivot = addObject(s, nullObject(spin({0, 2.0f, 14}, {0, 0, 360}, 300)));
    for (int k = 0; k < 6; ++k) {
        ObjectDraft arch =
            still("Objects\\arch.lwo", {0, 0, -10.0f + k * 4}, {0, 0, k * 30.0f});
        arch.parent = pivot;
        arch.pivot = Vec3{0, 0, 0};
        addObject(s, arch);
    }
    for (int k = 0; k < 5; ++k) {
        addObject(s, still("Objects\\column.lwo", {-4, 0, k * 7.0f}));
        addObject(s, still("Objects\\column.lwo", {4, 0, k * 7.0f + 3.5f}));
    }
    int lampCarrier = addObject(s, nullObject(orbit({0, 3.2f, 10}, {3, 0.3f, 6}, 200, 0)));
    addObject(s, walker(1, straightWalk({0, 0, 0}, 0, last)));
    s.lights.push_back(distantLight({-30, 40, 0}, 180, 180, 255, constantEnvelope(0.7f)));
    s.lights.push_back(pointLight(stillMotion({0, 0, 0}), 255, 180, 80,
                                  keyedEnvelope({{0, 2}, {100, 5}, {200, 2}}, 2), lampCarrier,
                                  true));
    LightDraft spot = spotLight(stillMotion({0, 6, -2}, {0, 50, 0}), 255, 255, 230,
                                    keyedEnvelope({{0, 0}, {60, 1.2f}}, 1), 0, true);
    s.lights.push_back(spot);
    float endZ = 0.035f * last;
    s.camera =
        cameraPath({{0, {0, 1.8f, -8}, {0, 1.2f, 2}},
                    {last / 2, {1.5f, 1.2f, endZ / 2 - 4}, {0, 1.3f, endZ / 2 + 2}, -0.3f, 0, 0},
                    {last, {-1.5f, 2.5f, endZ - 5}, {0, 1, endZ + 1}}},
                   2);
    return s;
}

SceneDraft part2(int last) {
    // The tunnel: circuits, glass and lasers.
    SceneDraft s;
    s.lastFrame = last;
    addObject(s, still("Objects\\tunnel.lwo", {0, 0, 0}));
    addObject(s, still("Objects\\lasers.lwo", {0, 0, -2}));
    addObject(s, still("Objects\\glass.lwo", {0, 0, 2}));
    addObject(s, walker(2, straightWalk({0, 0, -1}, 0, last, 0.04f)));
    int beacon = addObject(s, nullObject(orbit({0, 1.5f, 10}, {1.2f, 0.5f, 10}, 260, 1)));
    s.lights.push_back(distantLight({0, 10, 0}, 120, 255, 200, constantEnvelope(0.8f)));
    s.lights.push_back(pointLight(stillMotion({0, 0, 0}), 80, 255, 160,
                                  keyedEnvelope({{0, 1}, {30, 4}, {60, 1}}, 2), beacon));
    float endZ = -1 + 0.04f * last;
    s.camera =
        cameraPath({{0, {0, 1.5f, -6}, {0, 1, 0}},
                    {last / 2, {0.8f, 0.6f, endZ / 2 - 3}, {0, 1.2f, endZ / 2 + 1}, 0, -0.5f, 0},
                    {last, {-0.8f, 2, endZ - 3.5f}, {0, 1, endZ}, 0, 0, 0.5f}},
                   0);
    return s;
}

SceneDraft part3(int last) {
    // Blobs: balls in loops around the metaball surface, on a floor in a cage.
    SceneDraft s;
    s.lastFrame = last;
    addObject(s, still("Objects\\floor.lwo", {0, 0, -4}));
    // Three balls on loops of different periods: they meet, merge and part again.
    const Vec3 loops[3] = {{5, 2, 4.5f}, {4.5f, 2.5f, 5}, {3, 3, 5.5f}};
    for (int k = 0; k < 3; ++k) {
        ObjectDraft ball;
        ball.path = "Objects\\mball.lwo";
        ball.motion = orbit({0, 0, 0}, loops[k], 150 + k * 40, k * 2.1f);
        addObject(s, ball);
    }
    ObjectDraft surface;
    surface.path = "Objects\\mcube.lwo";
    surface.motion = spin({0, 2.0f, 6}, {360, 0, 0}, 400, {0.28f, 0.28f, 0.28f});
    addObject(s, surface);
    addObject(s, [] {
        ObjectDraft cage = still("Objects\\cage.lwo", {0, 2.0f, 6});
        cage.motion = spin({0, 2.0f, 6}, {-360, 180, 0}, 500, {2.2f, 2.2f, 2.2f});
        return cage;
    }());
    addObject(s,
              walker(3, {{0, {-3, 0, 2}, 90}, {last / 2, {3, 0, 4}, 60}, {last, {1, 0, 10}, -20}}));
    s.lights.push_back(distantLight({10, 45, 0}, 255, 220, 255, constantEnvelope(1.0f)));
    s.lights.push_back(
        pointLight(orbit({0, 3, 6}, {3, 0.5f, 3}, 120, 0), 255, 100, 200, constantEnvelope(4)));
    // The camera circles the blob at a respectful distance.
    std::vector<CameraStop> stops;
    const float angles[5] = {-40, 35, 100, 45, -15};
    for (int k = 0; k < 5; ++k) {
        float a = angles[k] / kDegreesPerRadian;
        stops.push_back({last * k / 4,
                         {8.5f * std::sin(a), 3.0f + k % 2, 6 - 8.5f * std::cos(a)},
                         {0, 1.6f, 6}});
    }
    s.camera = cameraPath(stops, 1);
    return s;
}

SceneDraft part4(int last) {
    // Metamorphosis: the blob grows spikes and melts back; blocks dissolve in and out.
    SceneDraft s;
    s.lastFrame = last;
    addObject(s, still("Objects\\dome.lwo", {0, 0, 0}, {90, 0, 0}));
    addObject(s, still("Objects\\floor.lwo", {0, 0, -4}));
    ObjectDraft blob = still("Objects\\blob.lwo", {0, 2.2f, 6});
    blob.motion = spin({0, 2.2f, 6}, {360, 0, 0}, 360, {1.2f, 1.2f, 1.2f});
    blob.morphTarget = 4;
    blob.metamorph = keyedEnvelope({{0, 0}, {60, 0}, {120, 1}, {180, 1}, {240, 0}}, 2);
    addObject(s, blob);
    ObjectDraft target = still("Objects\\blobstar.lwo", {0, -50, 0});
    target.dissolve = constantEnvelope(1); // only its points are used
    addObject(s, target);
    for (int k = 0; k < 8; ++k) {
        float a = 2 * kPi * k / 8;
        ObjectDraft block =
            still("Objects\\block.lwo", {3 * std::cos(a), 0.4f, 6 + 3 * std::sin(a)});
        block.motion = spin({3 * std::cos(a), 0.4f + 0.2f * k, 6 + 3 * std::sin(a)}, {360, 360, 0},
                            200 + k * 20);
        int t = 40 + k * 30;
        block.dissolve =
            keyedEnvelope({{0, 1}, {t, 1}, {t + 20, 0}, {t + 200, 0}, {t + 230, 1}}, 2, true);
        addObject(s, block);
    }
    addObject(s,
              walker(4, {{0, {-4, 0, 1}, 60}, {last / 2, {1, 0, 2}, 100}, {last, {5, 0, 1}, 90}}));
    s.lights.push_back(distantLight({-20, 40, 0}, 255, 255, 255, constantEnvelope(0.9f)));
    s.lights.push_back(spotLight(stillMotion({0, 7, 2}, {0, 60, 0}), 255, 150, 80,
                                 keyedEnvelope({{0, 0.5f}, {90, 1.5f}, {180, 0.5f}}, 2)));
    s.camera = cameraPath({{0, {-3, 2.5f, -3}, {-1, 1.4f, 5}},
                           {last / 2, {3, 1.5f, -2}, {0, 1.6f, 5}, 0.3f, 0, 0},
                           {last, {0, 3.5f, -1}, {1, 1.5f, 5}}},
                          2);
    return s;
}

SceneDraft part5(int last) {
    // Stardust: sprites all round, constellations and a line floor.
    SceneDraft s;
    s.lastFrame = last;
    addObject(s, [] {
        ObjectDraft stars = still("Objects\\stars.lwo", {0, 0, 8});
        stars.motion = spin({0, 0, 8}, {360, 0, 0}, 1200);
        return stars;
    }());
    addObject(s, still("Objects\\constellation.lwo", {0, 0, 0}));
    addObject(s, still("Objects\\lasers.lwo", {0, 0, -4}));
    addObject(s, walker(0, straightWalk({0, 0, -2}, 0, last)));
    int comet = addObject(s, nullObject(orbit({0, 4, 10}, {6, 1, 4}, 300, 0)));
    s.lights.push_back(distantLight({0, 20, 0}, 200, 200, 255, constantEnvelope(0.9f)));
    s.lights.push_back(pointLight(stillMotion({0, 0, 0}), 255, 240, 200,
                                  keyedEnvelope({{0, 3}, {40, 6}, {80, 3}}, 2), comet, true));
    float endZ = -2 + 0.035f * last;
    s.camera =
        cameraPath({{0, {0, 0.6f, -6}, {0, 2.5f, 4}},
                    {last / 2, {-2, 1.5f, endZ / 2 - 4}, {0, 1.5f, endZ / 2 + 2}, 0, 0, -0.3f},
                    {last, {2, 3, endZ - 5}, {0, 1.2f, endZ}, 0, 0.4f, 0}},
                   0);
    return s;
}

SceneDraft part6(int last) {
    // Chrome: a reflective knot, a globe, striped walls and a wire cage.
    SceneDraft s;
    s.lastFrame = last;
    addObject(s, still("Objects\\floor.lwo", {0, 0, -4}));
    addObject(s, still("Objects\\panels.lwo", {0, 0, -4}));
    ObjectDraft knot = still("Objects\\knot.lwo", {0, 2.2f, 8});
    knot.motion = spin({0, 2.2f, 8}, {360, 180, 0}, 420);
    int knotIndex = addObject(s, knot);
    ObjectDraft globe = still("Objects\\globe.lwo", {2.5f, 0, 0});
    globe.parent = knotIndex; // the globe rides on the knot
    globe.motion = spin({2.5f, 0, 0}, {0, 0, 360}, 120, {0.6f, 0.6f, 0.6f});
    addObject(s, globe);
    ObjectDraft cage = still("Objects\\cage.lwo", {0, 2.2f, 8});
    cage.motion = spin({0, 2.2f, 8}, {-360, 0, 180}, 600, {2.4f, 2.4f, 2.4f});
    addObject(s, cage);
    addObject(s, walker(1, straightWalk({-0.8f, 0, -2}, 5, last, 0.032f)));
    s.lights.push_back(distantLight({30, 30, 0}, 255, 255, 255, constantEnvelope(1.1f)));
    s.lights.push_back(spotLight(stillMotion({0, 0, -2}, {0, -90, 0}), 200, 220, 255,
                                 constantEnvelope(1.2f), knotIndex));
    s.camera = cameraPath({{0, {4, 1.5f, -3}, {0, 2, 6}},
                           {last / 2, {-3, 3, 0}, {0, 2, 8}, 0, 0, 0},
                           {last, {0, 1.5f, 2}, {0, 2.2f, 8}, 0, 0, 0, 1}},
                          1);
    return s;
}

SceneDraft part7(int last) {
    // Pillars rise out of nothing; a ribbon turns; the log rolls overhead.
    SceneDraft s;
    s.lastFrame = last;
    addObject(s, still("Objects\\ground.lwo", {0, 0, 10}));
    for (int k = 0; k < 10; ++k) {
        ObjectDraft pillar = still("Objects\\pillar.lwo", {k % 2 ? 2.5f : -2.5f, 0, k * 3.0f});
        int t = 20 + k * 35;
        pillar.dissolve = keyedEnvelope({{0, 1}, {t, 1}, {t + 1, 0}}, 1, true);
        addObject(s, pillar);
    }
    ObjectDraft ribbon = still("Objects\\ribbon.lwo", {0, 0, 12});
    ribbon.motion = spin({0, 0, 12}, {360, 0, 0}, 240, {2, 2, 2});
    addObject(s, ribbon);
    ObjectDraft log = still("Objects\\log.lwo", {0, 4.5f, 10});
    log.motion = spin({0, 4.5f, 10}, {0, 360, 0}, 300);
    addObject(s, log);
    addObject(s, walker(2, straightWalk({0, 0, -1}, 0, last), true));
    s.lights.push_back(distantLight({-40, 30, 0}, 255, 230, 200, constantEnvelope(1.0f)));
    s.lights.push_back(pointLight(orbit({0, 2, 10}, {3, 0.5f, 8}, 240, 0), 255, 80, 220,
                                  constantEnvelope(3), 0, true));
    float endZ = -1 + 0.035f * last;
    s.camera = cameraPath({{0, {0, 6, -6}, {0, 1, 6}},
                           {last / 2, {1.2f, 2.2f, endZ / 2 - 3}, {0, 1, endZ / 2 + 3}},
                           {last, {0, 1.2f, endZ - 3}, {0, 1.5f, endZ + 4}, 0, 0, 0}},
                          1);
    return s;
}

SceneDraft part8(int last) {
    // Finale: sky, hills, blobs and stars; the walker heads for the horizon as the camera rises.
    SceneDraft s;
    s.lastFrame = last;
    addObject(s, still("Objects\\dome.lwo", {0, 0, 10}));
    addObject(s, still("Objects\\ground.lwo", {0, 0, 10}));
    addObject(s, [] {
        ObjectDraft stars = still("Objects\\stars.lwo", {0, 8, 10});
        stars.motion = spin({0, 8, 10}, {-360, 0, 0}, 1500);
        return stars;
    }());
    for (int k = 0; k < 2; ++k) {
        ObjectDraft ball;
        ball.path = "Objects\\mball.lwo";
        ball.motion = orbit({0, 0, 0}, {4.5f, 2, 4}, 160 + k * 60, k * 2.6f);
        addObject(s, ball);
    }
    ObjectDraft surface;
    surface.path = "Objects\\mcube.lwo";
    surface.motion = spin({4, 3.5f, 12}, {360, 0, 0}, 500, {0.3f, 0.3f, 0.3f});
    addObject(s, surface);
    ObjectDraft ring = still("Objects\\plasmaring.lwo", {-4, 3, 12});
    ring.motion = spin({-4, 3, 12}, {360, 720, 0}, 480);
    addObject(s, ring);
    addObject(s, walker(3, straightWalk({0, 0, 0}, 0, last, 0.03f), true));
    s.lights.push_back(
        distantLight({-20, 25, 0}, 255, 190, 140, keyedEnvelope({{0, 1.2f}, {last, 0.4f}}, 1)));
    s.lights.push_back(spotLight(stillMotion({0, 8, 0}, {0, 70, 0}), 255, 255, 255,
                                 constantEnvelope(1.0f), 0, true));
    float endZ = 0.03f * last;
    s.camera = cameraPath({{0, {0, 1.2f, -4}, {0, 1.2f, 2}},
                           {last / 3, {-3, 1.5f, endZ / 3 - 3}, {0, 1.2f, endZ / 3 + 1}},
                           {2 * last / 3, {3, 3, endZ * 2 / 3 - 4}, {0, 1.5f, endZ * 2 / 3 + 2}},
                           {last, {0, 9, endZ - 10}, {0, 1, endZ + 6}, -0.2f, 0, 0}},
                          1);
    return s;
}

SceneDraft creditsScene() {
    // Three cards in 420 frames; the first card also reads well when cut after 100 frames.
    SceneDraft s = overlayScene(419);
    addTextLine(s, {"KESTRUNE 99", 0.4f, 5, 110, 1}, stillMotion({0, 0, 0}));
    addTextLine(s, {"CODE GRAPHICS MUSIC", 0.7f, 150, 250, 0.6f}, stillMotion({0, 0, 0}));
    addTextLine(s, {"BY", 0.4f, 170, 250, 0.6f}, stillMotion({0, 0, 0}));
    addTextLine(s, {"THE KESTRUNE TEAM", 0.4f, 285, 385, 0.75f}, stillMotion({0, 0, 0}));
    return s;
}

SceneDraft divozevScene() {
    // An emblem: the name on a turning ring around a plasma torus.
    SceneDraft s = overlayScene(500);
    int ring = addObject(s, nullObject(spin({0, -0.7f, 3.4f}, {360, 0, 0}, 300)));
    const std::string name = "DIVOZEV";
    for (size_t i = 0; i < name.size(); ++i) {
        float a = 2 * kPi * i / name.size();
        ObjectDraft letter = still(("Objects\\" + letterObjectName(name[i])).c_str(),
                                       {0.8f * std::sin(a), 0, -0.8f * std::cos(a)},
                                       {a * kDegreesPerRadian, 0, 0}, {0.8f, 0.8f, 0.8f});
        letter.parent = ring;
        letter.dissolve = keyedEnvelope(
            {{0, 1}, {static_cast<int>(5 + i * 6), 1}, {static_cast<int>(6 + i * 6), 0}}, 1, true);
        addObject(s, letter);
    }
    ObjectDraft torus = still("Objects\\plasmaring.lwo", {0, 0, 0});
    torus.parent = ring;
    torus.motion = spin({0, 0.05f, 0}, {0, 360, 0}, 150, {0.25f, 0.25f, 0.25f});
    addObject(s, torus);
    return s;
}

SceneDraft greetScene(int lastFrame) {
    // Rolling lines, each under a null that rises through the view.
    SceneDraft s = overlayScene(lastFrame);
    const char* lines[] = {"GREETINGS",     "TO EVERYONE",       "WHO WATCHES",
                           "AND WHO MAKES", "THINGS LIKE THIS",  "",
                           "KESTRUNE 99",   "THE KESTRUNE TEAM", "THANK YOU"};
    int k = 0;
    for (const char* text : lines) {
        int start = 30 + k * 70;
        ++k;
        if (!*text) continue;
        bool final = k == static_cast<int>(std::size(lines));
        KeyedChannels rise;
        rise.endBehavior = 1;
        // Each line rolls up through the view; the last one comes to rest in the middle.
        SceneKey a = motionKey(start, {0, -1.6f, 0});
        SceneKey b =
            final ? motionKey(start + 200, {0, 0.1f, 0}) : motionKey(start + 400, {0, 1.8f, 0});
        b.linear = final ? 0 : 1;
        rise.keys = {motionKey(0, {0, -1.6f, 0}), a, b};
        float scale = std::string(text).size() > 12 ? 0.6f : 0.75f;
        addTextLine(s, {text, 0, start, final ? start + 2000 : start + 420, scale}, rise);
    }
    return s;
}

// The driver draws a part until a frame passes its last, so one frame beyond the last is seen.
// A camera that jumps back there (end behaviours 0 and 2) gets its last key a second later.
SceneDraft withSettledCamera(SceneDraft s) {
    if (s.camera.endBehavior != 1 && s.camera.keys.back().frame == s.lastFrame)
        s.camera.keys.back().frame = s.lastFrame + 30;
    return s;
}

} // namespace

std::vector<std::pair<std::string, SceneDraft>> showScenes(const std::vector<int>& f) {
    std::vector<std::pair<std::string, SceneDraft>> scenes;
    auto add = [&scenes](const char* name, SceneDraft draft) {
        scenes.emplace_back(name, std::move(draft));
    };
    add("load.lws", loadingScene());
    add("walk0.lws", withSettledCamera(part0(f[0] - 1)));
    add("walk1.lws", withSettledCamera(part1(f[1] - 1)));
    add("walk2.lws", withSettledCamera(part2(f[2] - 1)));
    add("walk3.lws", withSettledCamera(part3(f[3] - 1)));
    add("walk4.lws", withSettledCamera(part4(f[4] - 1)));
    add("walk5.lws", withSettledCamera(part5(f[5] - 1)));
    add("walk6.lws", withSettledCamera(part6(f[6] - 1)));
    add("walk7.lws", withSettledCamera(part7(f[7] - 1)));
    add("walk8.lws", withSettledCamera(part8(f[8] - 1)));
    add("Credits.lws", creditsScene());
    add("Divozev.lws", divozevScene());
    add("greet.lws", greetScene(f[8]));
    // The seven text overlays; part 0 shows 0 at f - 60 and 1 at f - 210, part 2 shows 2 at
    // f - 480, part 4 shows 3 at f and 4 at f - 100, part 5 shows 5 at f - 50 and 6 at f - 330.
    add("text0.lws", textOverlay({{"KESTRUNE 99", 0.55f, 5, 120, 1}}, 200, {255, 210, 120}));
    add("text1.lws",
        textOverlay({{"A WALK", 0.7f, 5, 150, 0.9f}, {"IN NINE PARTS", 0.35f, 25, 160, 0.7f}}, 260,
                    kWarm));
    add("text2.lws",
        textOverlay({{"EVERY PIXEL", 0.7f, 5, 150, 0.8f}, {"MADE BY CODE", 0.35f, 25, 160, 0.8f}},
                    260, {150, 255, 190}));
    add("text3.lws", textOverlay({{"METAMORPHOSIS", 0.7f, 10, 80, 0.7f}}, 160, {255, 150, 230}));
    add("text4.lws",
        textOverlay({{"SHAPES INTO", 0.7f, 5, 70, 0.7f}, {"SHAPES", 0.35f, 20, 80, 0.9f}}, 160,
                    {255, 150, 230}));
    add("text5.lws", textOverlay({{"STARDUST", 0.7f, 5, 200, 1}}, 300, {170, 200, 255}));
    add("text6.lws",
        textOverlay({{"LIGHT FROM", 0.7f, 5, 170, 0.8f}, {"NOWHERE", 0.35f, 25, 180, 0.8f}}, 300,
                    {170, 200, 255}));
    return scenes;
}

} // namespace kestrune
