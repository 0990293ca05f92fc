// The play order of the album: which entry is played at each step, the current step (PlayIndex) and the
// play mode (random, repeat one, repeat all).
//
// The order always covers exactly the album's entries and follows every change of the album: a removed
// entry leaves the order, an added entry joins it (at the end in list order; at a random step after the
// current one in random order; anywhere while nothing has been played since the album was emptied, so a
// new album gets a fresh permutation), a moved entry keeps its step in random order. PlayIndex keeps
// naming the same track while that track is in the album; when the current track is removed, the step
// that took its place is the next one to play (Next and the end of the track go there, not past it).
// PlayIndex never names a step outside the order. In random order with repeat all, each pass through the
// album is a new permutation; the next pass is drawn ahead so that a gapless player can open its first
// track before the current pass ends.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

#include "album.h"

namespace tunelo {

// What the end of a track leads to (EndOfTrack); PlayIndex is already moved.
enum class TEndOfTrack {
    Replay,  // repeat one: the same track again
    Advance, // the next step
    Restart, // repeat all after the last step: the first step
    Stop,    // after the last step without repeat all: playback ends
};

class TPlayOrder {
public:
    static constexpr int32_t kCapacity = TAlbum::kCapacity;

    // PlayMode bits.
    static constexpr uint8_t kRandomBit = 1;
    static constexpr uint8_t kRepeatOneBit = 2;
    static constexpr uint8_t kRepeatAllBit = 4;

    // Random generator seeded from the clock.
    TPlayOrder();
    // A given generator, for repeatable orders.
    explicit TPlayOrder(std::mt19937 generator);

    // Connects the album's OnInserted, OnRemoved, OnMoved and OnCleared to this order (replacing what
    // they held) and takes over the album's current entries in list order. The album must outlive the
    // connection (or be followed by another order).
    void Follow(TAlbum& album);

    // Number of entries the order covers (the album's MusicCount).
    int32_t Count() const { return static_cast<int32_t>(FOrder.size()); }

    uint8_t PlayMode() const { return FPlayMode; }
    bool Random() const { return FPlayMode & kRandomBit; }
    bool RepeatOne() const { return FPlayMode & kRepeatOneBit; }
    bool RepeatAll() const { return FPlayMode & kRepeatAllBit; }
    // The random button: on draws a fresh random permutation of the entries, off restores list order
    // (step i plays entry i). PlayIndex is not changed by either.
    void SetRandom(bool on);
    // The shared handler of the three mode buttons: normal down clears both repeats; else repeat one
    // down sets repeat one and clears repeat all; else (also with all three up) sets repeat all and
    // clears repeat one.
    void SetPlayModeFromButtons(bool normalDown, bool repeatOneDown);

    // The current step: 0 to Count() - 1 while the album has entries, 0 when it is empty. It may equal
    // Count() only while the removed current track was the last step (the next step is then the first).
    int32_t PlayIndex() const { return FPlayIndex; }
    // Makes step position current; a position outside 0 to Count() - 1 is ignored.
    void SetPlayIndex(int32_t position);
    // The entry played at step position; -1 outside 0 to Count() - 1.
    int32_t EntryAt(int32_t position) const;
    // The first step that plays entry; -1 when none does.
    int32_t PositionOfEntry(int32_t entry) const;
    // The entry of the current track; -1 when the album is empty, the current track was removed, or no
    // step has been made current since the album was emptied (or the order created).
    int32_t CurrentEntry() const;
    // The entry the play step opens now: the one at PlayIndex (the first step when PlayIndex is past the
    // end), which becomes the current track. -1 (nothing to play) when the album is empty.
    int32_t TakeCurrent();

    // Previous and next step, wrapping around whatever the play mode (in random order with repeat all, Next
    // past the last step begins a new pass). After the current track was removed, Next goes to the step
    // that took its place and Previous to the one before it.
    void Previous();
    void Next();
    // The end of the current track by the play mode: repeat one replays it; else the next step; after
    // the last step the first with repeat all (in random order the first of a new permutation), else
    // playback stops (PlayIndex stays).
    TEndOfTrack EndOfTrack();
    // The entry EndOfTrack would lead to, without moving: what a gapless player opens ahead. -1 when
    // playback would stop, and while the current track is no longer in the album (the next step is then
    // settled only when it ends).
    int32_t EntryAfterCurrent() const;
    // The end of a file while decoding the album to WAV: the next step in order; false when the last step
    // is done (PlayIndex then stays at the last step).
    bool AdvanceForDecode();

    // The album's structural changes (see TAlbum's events); Follow connects them.
    void EntryInserted(int32_t index);
    void EntryRemoved(int32_t index);
    void EntryMoved(int32_t from, int32_t to);
    void Cleared();

private:
    void RestoreListOrder();
    void Shuffle();
    int32_t Draw(int32_t low, int32_t high); // uniform in [low, high]
    // The permutation the next pass of random repeat-all plays, drawn on first use.
    const std::vector<int32_t>& NextPass() const;
    // Random repeat-all wrapped around: the pass drawn ahead becomes the order.
    void BeginNextPass();
    void ForgetNextPass() { FNextPassReady = false; }

    std::mt19937 FGenerator;
    std::vector<int32_t> FOrder; // step -> entry
    // The passes of random repeat-all draw from a generator of their own, so that the permutations the
    // album's changes draw stay what they were.
    mutable std::mt19937 FPassGenerator;
    mutable std::vector<int32_t> FNextPass;
    mutable bool FNextPassReady = false;
    int32_t FPlayIndex = 0;
    uint8_t FPlayMode = 0;
    // The current track was removed from the album; FPlayIndex names the step that took its place.
    bool FCurrentGone = false;
    // Nothing has been played since the album was emptied: new entries may join at any step.
    bool FFresh = true;
};

} // namespace tunelo
