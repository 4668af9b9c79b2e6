// The show's wave output device and module player: constructed before main in this order, and
// destroyed in reverse only by the normal exit path.
#include "shell/show_music.h"

#include "music/module_player.h"
#include "music/wave_out_device.h"

namespace kestrune {

WaveOutDevice waveOutDevice;
ModulePlayer modulePlayer;

uint32_t showClock() {
    return waveOutDevice.clock();
}
// Neither result is looked at: without a sound device or module the show runs silent.
void openShowSound() {
    waveOutDevice.open();
}
void loadShowMusic(const char* fileName) {
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
