// The transport decisions of the jukebox window, without the window: what the play button, a double
// click on the list, previous/next and the end of a track do, given the player's status and the selected
// grid row. The window carries the decisions out on the album player (Stop, Close, FileName, Play or
// PlayToFile, Resume) and selects and scrolls to the row.
#pragma once

#include <cstdint>

#include "play_order.h"
#include "player_states.h"

namespace tunelo {

enum class TPlayAction {
    Nothing,       // leave the player as it is
    Resume,        // the player is paused: Resume
    Play,          // open Entry (FileName) and Play, or PlayToFile while decoding
    SwitchAndPlay, // Stop and Close the playing track first, then as Play
};

struct TPlayDecision {
    TPlayAction Action = TPlayAction::Nothing;
    // Album entry to open for Play and SwitchAndPlay (its grid row is Entry + 1, to select and scroll
    // into view); -1 otherwise.
    int32_t Entry = -1;
};

// What the window does after the end of a track.
enum class TAfterTrack {
    Nothing,        // playback ends, or the end was a stop or an error
    PlayStep,       // run the play step (PlayIndex is already moved)
    DecodeComplete, // the decode run has converted its last file: end the run and show "Complete!"
};

class TTransport {
public:
    explicit TTransport(TPlayOrder& order) : FOrder(order) {}

    // The play step. Empty album: Nothing. Paused: Resume. Playing (and not decoding): Nothing when the
    // selected row shows the current track; else the selected row's entry becomes current and the
    // playing track is switched (Nothing when the row names no entry). Otherwise (stopped, or decoding)
    // the entry at PlayIndex is played.
    TPlayDecision PlayStep(TMP3PlayerStatus status, bool decoding, int32_t selectedRow);
    // A double click on the list: when stopped, the selected row's entry becomes the current step (the
    // first step that plays it; PlayIndex stays when the row names no entry); then the play step.
    TPlayDecision DoubleClick(TMP3PlayerStatus status, bool decoding, int32_t selectedRow);
    // Previous and next track, whatever the play mode; the window stops and closes the player before
    // and runs PlayStep after (the player is then stopped).
    void Previous() { FOrder.Previous(); }
    void Next() { FOrder.Next(); }
    // The end of a track. Only meprEndOfStream moves on. While decoding: the next file, or
    // DecodeComplete after the last. Else by the play mode (TPlayOrder::EndOfTrack).
    TAfterTrack EndOfTrack(TMP3EndPlayReason reason, bool decoding);

    TPlayOrder& Order() { return FOrder; }

private:
    TPlayDecision PlayCurrent(TPlayAction action);

    TPlayOrder& FOrder;
};

} // namespace tunelo
