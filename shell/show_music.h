// The show's two global music objects, reached through plain functions (the music headers stay
// out of the driver's files).
#pragma once

#include <cstdint>

namespace kestrune {

uint32_t showClock(); // the wave output device's millisecond clock
void openShowSound();
void loadShowMusic(const char* fileName);
void attachShowMusic();
void detachShowMusic();
void stopShowSound();

} // namespace kestrune
