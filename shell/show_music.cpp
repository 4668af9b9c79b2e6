// The show's wave output device and module player: constructed before main in this order, and
// destroyed in reverse only by the normal exit path.
#include "shell/show_music.h"

#include <string>
#include <system_error>
#include <thread>

#include "archive/content_file.h"
#include "music/module_player.h"
#include "music/wave_out_device.h"

namespace kestrune {

WaveOutDevice waveOutDevice;
ModulePlayer modulePlayer;

namespace {

// The module file read and walked on a second thread while the scenes load.
struct MusicAhead {
    ~MusicAhead() { finish(); }
    void finish() {
        if (thread.joinable()) thread.join();
    }
    std::thread thread;
    std::string fileName;
    PreparedModule prepared;
};

MusicAhead musicAhead;

} // namespace

uint32_t showClock() {
    return waveOutDevice.clock();
}
// Neither result is looked at: without a sound device or module the show runs silent.
void openShowSound() {
    waveOutDevice.open();
}
void prepareShowMusic(const char* fileName) {
    MusicAhead& ahead = musicAhead;
    ahead.finish();
    ahead.fileName.clear();
    if (!loadingThreadsAvailable()) return; // loaded when asked for
    try {
        ahead.fileName = fileName;
        ahead.thread = std::thread(
            [] { musicAhead.prepared = prepareModuleFile(musicAhead.fileName.c_str()); });
    } catch (const std::system_error&) {
        ahead.fileName.clear();
    }
}
void loadShowMusic(const char* fileName) {
    MusicAhead& ahead = musicAhead;
    ahead.finish();
    if (!ahead.fileName.empty() && ahead.fileName == fileName) {
        ahead.fileName.clear();
        modulePlayer.loadPrepared(std::move(ahead.prepared));
        return;
    }
    modulePlayer.loadFromFile(fileName);
}
void attachShowMusic() {
    waveOutDevice.attach(&modulePlayer);
}
void detachShowMusic() {
    waveOutDevice.detach(&modulePlayer);
}
void stopShowSound() {
    waveOutDevice.stop();
}

} // namespace kestrune
