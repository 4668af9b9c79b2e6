// The generated show written to a folder and loaded as the driver loads it, with frames spread
// over its nine parts: for the benchmarks and tests that draw show frames.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "content/show.h"
#include "mesh/metaballs.h"
#include "render/frame_renderer.h"
#include "render/table/render_table.h"
#include "scene/scene.h"
#include "shell/driver.h"

namespace kestrune {

struct ShowFrame {
    int part;
    int32_t frame;
};

// Writes the show into folder and makes it the working directory and the default archive; false,
// with the reason on standard error, when it cannot be written.
inline bool enterGeneratedShow(const std::filesystem::path& folder) {
    std::string error;
    if (!writeShow(buildShow(), folder, error)) {
        std::fprintf(stderr, "cannot write the show: %s\n", error.c_str());
        return false;
    }
    static std::string archive;
    archive = (folder / "krv.dat").string();
    setDefaultArchiveName(archive.c_str());
    std::filesystem::current_path(folder);
    return true;
}

// Loads every scene of the show, textures through the open backend's loadTexture as the driver
// does, and returns perPart frames spread evenly over each part.
inline std::vector<ShowFrame> loadShowFrames(int perPart) {
    freeMetaballs();
    showState = ShowState{};
    textureTable.count = 0;
    char name[16];
    for (int i = 0; i < kPartCount; ++i) {
        std::snprintf(name, sizeof name, "walk%d.lws", i);
        loadScene(showState.partScenes[i], name);
    }
    loadScene(showState.credits, "Credits.lws");
    loadScene(showState.divozev, "Divozev.lws");
    loadScene(showState.greet, "greet.lws");
    for (int i = 0; i < kTextOverlayCount; ++i) {
        std::snprintf(name, sizeof name, "text%d.lws", i);
        loadScene(showState.textOverlays[i], name);
    }
    initMetaballs();
    for (Scene& scene : showState.partScenes) prepareMetaballObjects(scene);
    prepareMetaballObjects(showState.credits);
    prepareMetaballObjects(showState.divozev);
    prepareMetaballObjects(showState.greet);
    for (Scene& scene : showState.textOverlays) prepareMetaballObjects(scene);

    std::vector<ShowFrame> frames;
    for (int part = 0; part < kPartCount; ++part) {
        const Scene& s = showState.partScenes[part];
        int32_t span = s.lastFrame > s.firstFrame ? s.lastFrame - s.firstFrame : 1;
        for (int k = 0; k < perPart; ++k)
            frames.push_back({part, s.firstFrame + span * k / perPart});
    }
    return frames;
}

// One whole frame through the open backend, as the timeline draws it.
inline void drawShowFrame(const ShowFrame& f) {
    spriteHalfSize = f.part > 4 ? 0.15f : 0.05f;
    renderBackend.beginFrame();
    drawPart(f.part, f.frame);
    renderBackend.endFrame();
}

} // namespace kestrune
