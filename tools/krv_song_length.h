// How long one pass through a song plays: the order list followed through jumps, breaks and
// pattern loops until a (position, row) would play again outside an active pattern loop.
#pragma once

#include <cstdint>

namespace kestrune {

class ModulePlayer;

struct SongLength {
    int64_t frames = 0;  // at the show's mixing rate
    bool ended = false;  // false when limitFrames came first
};

// Ticks a freshly loaded player (which it leaves somewhere in the song) and counts the frames
// the output device renders for those ticks, up to limitFrames.
SongLength measureSong(ModulePlayer& player, int64_t limitFrames);

} // namespace kestrune
