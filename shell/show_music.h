// The show's two global music objects, reached through plain functions (the music headers stay
// out of the driver's files).
#pragma once

#include <cstdint>

namespace kestrune {

uint32_t showClock(); // the wave output device's millisecond clock
void openShowSound();
// Starts reading and walking the module file on a second thread, where there is one, for the
// loadShowMusic of the same name to take.
void prepareShowMusic(const char* fileName);
void loadShowMusic(const char* fileName);
void attachShowMusic();
void detachShowMusic();
void stopShowSound();

} // namespace kestrune
