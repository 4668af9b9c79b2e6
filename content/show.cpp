// The show's content: every scene, object, texture and the module, ready to be written.
#include "content/show.h"

#include <cmath>
#include <fstream>
#include <set>
#include <stdexcept>

#include "archive/archive.h"
#include "content/composition.h"
#include "content/scene_writer.h"
#include "content/show_objects.h"
#include "content/show_scenes.h"
#include "content/xm_writer.h"

namespace kestrune {

ShowContent buildShow() {
    ShowContent show;
    Soundtrack track = composeSoundtrack();
    show.module = {"test.xm", writeXm(track.module)};

    // Each part lasts as long as its section of the music.
    SongTiming timing = measureSong(track.module);
    for (int part = 0; part < 9; ++part) {
        int from = track.partStartOrder[part], to = track.partStartOrder[part + 1];
        double end = to < static_cast<int>(timing.orderStartMs.size()) ? timing.orderStartMs[to]
                                                                       : timing.totalMs;
        double ms = end - timing.orderStartMs[from];
        show.partFrames.push_back(static_cast<int>(std::lround(ms / kFrameMs)));
    }

    show.archived = showTexturesAndObjects();
    for (auto& [name, draft] : showScenes(show.partFrames)) {
        std::string text = writeSceneText(draft);
        show.archived.push_back({name, std::vector<uint8_t>(text.begin(), text.end())});
    }
    std::set<std::string> names;
    for (const ContentFile& f : show.archived)
        if (!names.insert(f.name).second) throw std::logic_error("content named twice: " + f.name);
    return show;
}

bool writeShow(const ShowContent& show, const std::filesystem::path& folder, std::string& error) {
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    std::filesystem::path archivePath = folder / "krv.dat";
    std::filesystem::path building = archivePath;
    building += ".new";
    std::filesystem::remove(building, ec);
    {
        DataArchive archive(building.string().c_str());
        bool ok = archive.isOpen();
        for (const ContentFile& f : show.archived)
            ok = ok && archive.addBytes(f.bytes.data(), f.bytes.size(), f.name.c_str());
        if (!ok || !archive.close()) {
            error = "cannot write " + building.string();
            return false;
        }
    }
    std::filesystem::rename(building, archivePath, ec);
    if (ec) {
        error = "cannot replace " + archivePath.string() + ": " + ec.message();
        return false;
    }
    std::filesystem::path modulePath = folder / show.module.name;
    std::ofstream out(modulePath, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(show.module.bytes.data()),
              static_cast<std::streamsize>(show.module.bytes.size()));
    out.close();
    if (!out) {
        error = "cannot write " + modulePath.string();
        return false;
    }
    return true;
}

} // namespace kestrune
