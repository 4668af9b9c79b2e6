// How long one pass through a song plays.
#include "tools/krv_song_length.h"

#include <algorithm>
#include <unordered_set>

#include "music/module_player.h"
#include "music/sound_buffer.h"

namespace kestrune {

SongLength measureSong(ModulePlayer& player, int64_t limitFrames) {
    std::unordered_set<uint64_t> played;
    SongLength length;
    while (length.frames < limitFrames) {
        // The tick that reads a row, as ModulePlayer::tick decides it.
        if (player.tickCounter + 1 == player.speed && player.patternDelay == 0) {
            const int songLength = std::max(player.module().songLength, 1);
            const int position =
                player.orderPosition >= songLength ? player.module().restartPosition
                                                   : player.orderPosition;
            const bool looping = std::any_of(player.channels.begin(), player.channels.end(),
                                             [](const Channel& c) { return c.loopCounter > 0; });
            const uint64_t key = uint64_t(uint32_t(position)) << 32 | uint32_t(player.row);
            if (!looping && !played.insert(key).second) {
                length.ended = true;
                return length;
            }
        }
        player.tick();
        // The frames the wave device mixes for one tick (WaveOutDevice's own rule).
        const float perTick = static_cast<float>(kMixRate) / player.ticksPerSecond();
        length.frames += perTick >= 1 ? static_cast<int>(std::min(perTick, kMixRate / 3.0f)) : 1;
    }
    length.frames = limitFrames;
    return length;
}

} // namespace kestrune
