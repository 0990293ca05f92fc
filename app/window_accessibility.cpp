#include "window_accessibility.h"

#include <vector>

#include "Unit4.h"
#include "album_grid_controls.h"
#include "equalizer_presets_bar.h"
#include "now_playing.h"

namespace tunelo {

namespace {

struct TControlText {
    QWidget* Control;
    const char* Name;
    const char* Description;
};

} // namespace

std::vector<QWidget*> MakeControlsAccessible(TPlatform& window) {
    TPlatform& w = window;
    const std::vector<TControlText> controls = {
        {w.MList, "Album", "The tracks of the album. Enter plays the selected track, Delete removes it."},
        {w.PLAYPOS, "Position", "How far the track has played. Left and Right seek 5 seconds."},
        {w.REW, "Previous", "Plays the previous track. Ctrl+Left."},
        {w.PLAY, "Play", "Plays the selected track, or resumes. Space plays or pauses."},
        {w.FF, "Next", "Plays the next track. Ctrl+Right."},
        {w.PAUSE, "Pause", "Pauses or resumes playing. Space plays or pauses."},
        {w.STOP, "Stop", "Stops playing."},
        {w.NRM, "Normal", "Plays the album once in order."},
        {w.REPONE, "Repeat One", "Plays the current track again and again."},
        {w.REPALL, "Repeat All", "Plays the album again from the start after its last track."},
        {w.RAND, "Random Play", "Plays the album in random order."},
        {w.VOL, "Volume", "The playing volume; up is louder. Ctrl+Up and Ctrl+Down."},
        {w.BAL, "Balance", "The stereo balance between the left and the right speaker."},
        {w.BitBtn4, "Add", "Adds MP3 files to the album. Ctrl+O; Insert adds them at the selected track."},
        {w.DEL, "Delete", "Removes the selected track from the album. Delete."},
        {w.ALBUM, "Album menu", "Clears, opens and saves albums, and opens recent albums."},
        {w.Button1, "Show or hide the equalizer", "Shows or hides the graphic equalizer panel."},
        {w.BitBtn1, "Decode", "Decodes every file of the album into a WAV file."},
        {w.BitBtn7, "Power", "Quits TUNELO."},
        {w.SpeedButton1, "Equalizer on", "Switches the equalizer on."},
        {w.SpeedButton2, "Equalizer off", "Switches the equalizer off."},
        {w.SpeedButton3, "Equalizer flat", "Sets every equalizer band back to 0."},
        {w.EQPresets->PresetBox, "Equalizer preset", "Sets the bands to a built-in or a saved curve."},
        {w.EQPresets->SaveButton, "Save preset", "Saves the bands as a preset under a name."},
        {w.EQPresets->DeleteButton, "Delete preset", "Deletes the chosen saved preset."},
        {w.EQPresets->Preamp, "Equalizer pre-amp", "Raises or lowers the equalized sound, in dB."},
    };
    std::vector<QWidget*> order;
    for (const TControlText& control : controls) {
        control.Control->setAccessibleName(QString::fromUtf8(control.Name));
        control.Control->setAccessibleDescription(QString::fromUtf8(control.Description));
        order.push_back(control.Control);
        if (control.Control == w.MList) {
            // Named by the grid's own controls; in the order only while it shows.
            order.push_back(w.GridControls->FilterBox());
        }
        if (control.Control == w.BitBtn7) {
            // The panel's bands come before its buttons, as they are read.
            for (int32_t band = 0; band < TPlatform::kBandCount; ++band) {
                QSlider* bar = w.EQ[static_cast<size_t>(band)];
                bar->setAccessibleName(QStringLiteral("Equalizer band %1").arg(band + 1));
                bar->setAccessibleDescription(
                    QStringLiteral("Boost or cut of band %1 of 32; up is a boost.").arg(band + 1));
                order.push_back(bar);
            }
        }
    }
    w.Panel1->setAccessibleName(QStringLiteral("Graphic equalizer"));
    w.Panel1->setAccessibleDescription(
        QStringLiteral("32 bands from the lowest to the highest frequencies."));
    w.VolumeLabel->setAccessibleName(QStringLiteral("Volume"));
    w.BalanceLabel->setAccessibleName(QStringLiteral("Balance"));
    w.EQLabel->setAccessibleName(QStringLiteral("E.Q."));

    for (QWidget* control : order) {
        // The grid also takes a click's focus: it is where the keyboard works on the album; the boxes
        // one types into take it too.
        const bool typed = control == w.GridControls->FilterBox() || control == w.EQPresets->Preamp;
        control->setFocusPolicy(control == w.MList || typed ? Qt::StrongFocus : Qt::TabFocus);
    }
    // Tab leaves the grid for the next control instead of walking its cells.
    w.MList->setTabKeyNavigation(false);
    for (size_t i = 1; i < order.size(); ++i) {
        QWidget::setTabOrder(order[i - 1], order[i]);
    }
    w.MList->setFocus(Qt::OtherFocusReason);
    return order;
}

} // namespace tunelo
