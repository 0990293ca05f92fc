// Whether an album entry plays among tracks of its own album, for automatic ReplayGain.
#pragma once

#include <cstdint>

#include "album.h"
#include "play_order.h"

namespace tunelo {

// True when the step before or after entry's step in the play order (wrapping round in repeat all)
// plays a track of the same album. Repeat one plays the track on its own; an entry the order does not
// hold has no neighbours.
bool PlaysInAlbumRun(const TAlbum& album, const TPlayOrder& order, int32_t entry);

} // namespace tunelo
