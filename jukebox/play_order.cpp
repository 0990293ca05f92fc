// The play order: steps, the current step, play modes, and how the order follows album changes.
#include <algorithm>
#include <chrono>
#include <numeric>

#include "play_order.h"

namespace tunelo {

namespace {

std::mt19937 ClockSeededGenerator() {
    const auto ticks = std::chrono::system_clock::now().time_since_epoch().count();
    std::seed_seq seed{static_cast<uint32_t>(ticks),
                       static_cast<uint32_t>(static_cast<uint64_t>(ticks) >> 32)};
    return std::mt19937(seed);
}

// Seeded from a copy of the main generator: repeatable with it, without taking anything from it.
std::mt19937 PassGeneratorFor(std::mt19937 generator) {
    std::seed_seq seed{static_cast<uint32_t>(generator()), static_cast<uint32_t>(generator()), 0x70617373u};
    return std::mt19937(seed);
}

} // namespace

TPlayOrder::TPlayOrder() : TPlayOrder(ClockSeededGenerator()) {}

TPlayOrder::TPlayOrder(std::mt19937 generator)
    : FGenerator(generator), FPassGenerator(PassGeneratorFor(generator)) {}

void TPlayOrder::Follow(TAlbum& album) {
    album.OnInserted = [this](int32_t index) { EntryInserted(index); };
    album.OnRemoved = [this](int32_t index) { EntryRemoved(index); };
    album.OnMoved = [this](int32_t from, int32_t to) { EntryMoved(from, to); };
    album.OnCleared = [this] { Cleared(); };
    FOrder.resize(static_cast<size_t>(album.MusicCount()));
    if (Random()) {
        Shuffle();
    } else {
        RestoreListOrder();
    }
    FPlayIndex = 0;
    FCurrentGone = false;
    FFresh = true;
    ForgetNextPass();
}

// ---- Play modes ----

void TPlayOrder::SetRandom(bool on) {
    ForgetNextPass();
    if (on) {
        FPlayMode |= kRandomBit;
        Shuffle();
    } else {
        FPlayMode &= static_cast<uint8_t>(~kRandomBit);
        RestoreListOrder();
    }
}

void TPlayOrder::SetPlayModeFromButtons(bool normalDown, bool repeatOneDown) {
    FPlayMode &= static_cast<uint8_t>(~(kRepeatOneBit | kRepeatAllBit));
    if (normalDown) {
        return;
    }
    FPlayMode |= repeatOneDown ? kRepeatOneBit : kRepeatAllBit;
}

void TPlayOrder::RestoreListOrder() {
    std::iota(FOrder.begin(), FOrder.end(), 0);
}

void TPlayOrder::Shuffle() {
    RestoreListOrder();
    for (int32_t i = Count() - 1; i > 0; --i) {
        std::swap(FOrder[static_cast<size_t>(i)], FOrder[static_cast<size_t>(Draw(0, i))]);
    }
}

int32_t TPlayOrder::Draw(int32_t low, int32_t high) {
    return std::uniform_int_distribution<int32_t>(low, high)(FGenerator);
}

const std::vector<int32_t>& TPlayOrder::NextPass() const {
    if (FNextPassReady && FNextPass.size() == FOrder.size()) {
        return FNextPass;
    }
    const int32_t count = Count();
    FNextPass.resize(FOrder.size());
    std::iota(FNextPass.begin(), FNextPass.end(), 0);
    std::shuffle(FNextPass.begin(), FNextPass.end(), FPassGenerator);
    // The track that ends a pass is not heard again right away as the first of the next one.
    if (count > 1 && FNextPass.front() == FOrder.back()) {
        const int32_t other = std::uniform_int_distribution<int32_t>(1, count - 1)(FPassGenerator);
        std::swap(FNextPass.front(), FNextPass[static_cast<size_t>(other)]);
    }
    FNextPassReady = true;
    return FNextPass;
}

void TPlayOrder::BeginNextPass() {
    if (!Random() || !RepeatAll()) {
        return;
    }
    FOrder = NextPass();
    ForgetNextPass();
}

// ---- Steps ----

void TPlayOrder::SetPlayIndex(int32_t position) {
    if (position < 0 || position >= Count()) {
        return;
    }
    FPlayIndex = position;
    FCurrentGone = false;
    FFresh = false;
}

int32_t TPlayOrder::EntryAt(int32_t position) const {
    if (position < 0 || position >= Count()) {
        return -1;
    }
    return FOrder[static_cast<size_t>(position)];
}

int32_t TPlayOrder::PositionOfEntry(int32_t entry) const {
    const auto found = std::find(FOrder.begin(), FOrder.end(), entry);
    return found == FOrder.end() ? -1 : static_cast<int32_t>(found - FOrder.begin());
}

int32_t TPlayOrder::CurrentEntry() const {
    return FCurrentGone || FFresh ? -1 : EntryAt(FPlayIndex);
}

int32_t TPlayOrder::TakeCurrent() {
    if (Count() == 0) {
        return -1;
    }
    if (FPlayIndex >= Count()) {
        FPlayIndex = 0;
    }
    FCurrentGone = false;
    FFresh = false;
    return FOrder[static_cast<size_t>(FPlayIndex)];
}

void TPlayOrder::Previous() {
    const int32_t count = Count();
    if (count == 0) {
        return; // nothing to move to; an emptied album stays fresh
    }
    // After a removal the current step already names the following track, so the one before is one back
    // as well; otherwise one back from the current track.
    FPlayIndex = FPlayIndex <= 0 ? count - 1 : FPlayIndex - 1;
    FCurrentGone = false;
    FFresh = false;
}

void TPlayOrder::Next() {
    const int32_t count = Count();
    if (count == 0) {
        return;
    }
    if (FCurrentGone) {
        // The step that took the removed track's place comes next.
        FPlayIndex = FPlayIndex < count ? FPlayIndex : 0;
    } else if (FPlayIndex < count - 1) {
        ++FPlayIndex;
    } else {
        FPlayIndex = 0;
        BeginNextPass();
    }
    FCurrentGone = false;
    FFresh = false;
}

TEndOfTrack TPlayOrder::EndOfTrack() {
    const int32_t count = Count();
    if (count == 0) {
        return TEndOfTrack::Stop;
    }
    FFresh = false;
    if (FCurrentGone) {
        // The track that ended is no longer in the album: repeating it is impossible and the step in its
        // place has not been played yet.
        if (FPlayIndex < count) {
            FCurrentGone = false;
            return TEndOfTrack::Advance;
        }
        if (RepeatAll()) {
            FPlayIndex = 0;
            FCurrentGone = false;
            BeginNextPass();
            return TEndOfTrack::Restart;
        }
        return TEndOfTrack::Stop;
    }
    if (RepeatOne()) {
        return TEndOfTrack::Replay;
    }
    if (FPlayIndex < count - 1) {
        ++FPlayIndex;
        return TEndOfTrack::Advance;
    }
    if (RepeatAll()) {
        FPlayIndex = 0;
        BeginNextPass();
        return TEndOfTrack::Restart;
    }
    return TEndOfTrack::Stop;
}

int32_t TPlayOrder::EntryAfterCurrent() const {
    const int32_t count = Count();
    if (count == 0 || FCurrentGone || FFresh) {
        return -1;
    }
    if (RepeatOne()) {
        return EntryAt(FPlayIndex);
    }
    if (FPlayIndex < count - 1) {
        return EntryAt(FPlayIndex + 1);
    }
    if (!RepeatAll()) {
        return -1;
    }
    return Random() ? NextPass().front() : EntryAt(0);
}

bool TPlayOrder::AdvanceForDecode() {
    const int32_t next = FCurrentGone ? FPlayIndex : FPlayIndex + 1;
    if (next >= Count()) {
        return false;
    }
    FPlayIndex = next;
    FCurrentGone = false;
    FFresh = false;
    return true;
}

// ---- Following the album ----

void TPlayOrder::EntryInserted(int32_t index) {
    ForgetNextPass();
    const int32_t count = Count(); // before the new entry
    index = std::clamp(index, 0, count);
    for (int32_t& entry : FOrder) {
        if (entry >= index) {
            ++entry;
        }
    }
    int32_t position;
    if (!Random()) {
        // List order: step i plays entry i.
        position = index;
        if (!FFresh && (FCurrentGone ? index < FPlayIndex : index <= FPlayIndex)) {
            ++FPlayIndex;
        }
    } else if (FFresh) {
        // A uniform place among all steps: entry by entry this builds a uniform random permutation.
        position = Draw(0, count);
    } else {
        // After the current step; with the current track removed, the step in its place is still to come,
        // so that place is open too.
        const int32_t first = FCurrentGone ? FPlayIndex : FPlayIndex + 1;
        position = Draw(std::min(first, count), count);
    }
    FOrder.insert(FOrder.begin() + position, index);
}

void TPlayOrder::EntryRemoved(int32_t index) {
    ForgetNextPass();
    const int32_t position = PositionOfEntry(index);
    if (position < 0) {
        return;
    }
    FOrder.erase(FOrder.begin() + position);
    for (int32_t& entry : FOrder) {
        if (entry > index) {
            --entry;
        }
    }
    if (Count() == 0) {
        Cleared();
        return;
    }
    if (position < FPlayIndex) {
        --FPlayIndex;
    } else if (position == FPlayIndex && !FFresh) {
        FCurrentGone = true;
    }
}

void TPlayOrder::EntryMoved(int32_t from, int32_t to) {
    ForgetNextPass();
    const int32_t count = Count();
    if (from < 0 || from >= count || to < 0 || to >= count || from == to) {
        return;
    }
    const auto moved = [from, to](int32_t entry) {
        if (entry == from) {
            return to;
        }
        if (from < to && entry > from && entry <= to) {
            return entry - 1;
        }
        if (to < from && entry >= to && entry < from) {
            return entry + 1;
        }
        return entry;
    };
    if (Random()) {
        // Steps keep their tracks; only the tracks' places in the list changed.
        for (int32_t& entry : FOrder) {
            entry = moved(entry);
        }
    } else if (!FFresh && FPlayIndex < count) {
        // List order stays 0, 1, 2 ...; the current step follows its track (or, after a removal, the
        // track that comes next).
        FPlayIndex = moved(FPlayIndex);
    }
}

void TPlayOrder::Cleared() {
    ForgetNextPass();
    FOrder.clear();
    FPlayIndex = 0;
    // Whatever was playing is not in the album any more; the first step of the next album comes next.
    FCurrentGone = true;
    FFresh = true;
}

} // namespace tunelo
