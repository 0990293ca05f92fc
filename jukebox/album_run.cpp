#include "album_run.h"

#include <string>

#include "replay_gain.h"

namespace tunelo {

bool PlaysInAlbumRun(const TAlbum& album, const TPlayOrder& order, int32_t entry) {
    const int32_t step = order.PositionOfEntry(entry);
    if (step < 0 || order.RepeatOne()) {
        return false;
    }
    const int32_t count = order.Count();
    auto albumAt = [&](int32_t neighbour) -> std::string {
        if (order.RepeatAll() && count > 1) {
            neighbour = (neighbour + count) % count;
        }
        const int32_t other = order.EntryAt(neighbour);
        return other >= 0 && other != entry ? album.Entry(other).Album : std::string();
    };
    return InAlbumRun(album.Entry(entry).Album, albumAt(step - 1), albumAt(step + 1));
}

} // namespace tunelo
