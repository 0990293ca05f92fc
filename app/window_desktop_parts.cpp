// Puts the parts of the window for today's desktop in place: the now-playing strip and the tray tip that
// follow the album player, the position bar's click and tip, the resizable layout, the keyboard and the
// accessible names with a visible focus frame.
#include <QPointer>

#include "Unit4.h"
#include "focus_ring.h"
#include "now_playing.h"
#include "position_bar.h"
#include "window_accessibility.h"
#include "window_keys.h"
#include "window_layout.h"

namespace tunelo {

void TPlatform::CreateDesktopParts() {
    NowPlaying = new TNowPlaying(this);
    connect(NowPlaying, &TNowPlaying::TipChanged, this,
            [this](const QString& tip) { TrayIcon1->SetTipHelp(tip); });
    // Status changes (play, pause, stop) arrive here too; a handler set before (or after, by the MPRIS
    // service, which keeps this one) still runs.
    QPointer<TNowPlaying> strip = NowPlaying;
    MP3Player1->OnChangeStatus = [strip, previous = MP3Player1->OnChangeStatus](TMP3Player& player) {
        if (previous) {
            previous(player);
        }
        if (strip) {
            strip->Update(player);
        }
    };

    PositionBar = new TPositionBar(*PLAYPOS);
    WindowLayout = new TWindowLayout(*this);
    WindowKeys = new TWindowKeys(*this);
    WindowKeys->SetTabOrder(MakeControlsAccessible(*this));
    // Last: the layout places the controls it found, and the ring is none of them.
    FocusRing = new TFocusRing(*this);
}

void TPlatform::UpdateNowPlaying() {
    NowPlaying->Update(*MP3Player1);
}

} // namespace tunelo
