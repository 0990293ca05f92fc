// The player's status and the reasons a play ends: all a caller needs to decide what comes next,
// without the player itself (the jukebox's transport decisions include only this).
#pragma once

#include <cstdint>

namespace tunelo {

enum TMP3EndPlayReason : uint8_t { meprEndOfStream, meprStopped, meprError };
enum TMP3PlayerStatus : uint8_t { mpsStopped, mpsPlaying, mpsPaused };

} // namespace tunelo
