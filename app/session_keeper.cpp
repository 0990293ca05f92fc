#include "session_keeper.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <algorithm>

#include "Unit4.h"
#include "click_to.h"
#include "error_box.h"
#include "ini_file.h"

namespace tunelo {

namespace {

constexpr const char* kSession = "Session";

std::string EntryKey(int32_t index) {
    return "Entry" + std::to_string(index + 1);
}

} // namespace

TSessionKeeper::TSessionKeeper(TPlatform& window, std::string iniFileName)
    : QObject(&window), FWindow(window), FIniFileName(std::move(iniFileName)) {
    // Power first stops the player and then closes the window: the first word counts. The end of the
    // desktop session quits the application without closing the window first.
    const auto saveOnce = [this] {
        if (!FSaved) {
            FSaved = true;
            Save(Capture());
        }
    };
    connect(&FWindow, &TPlatform::Closing, this, saveOnce);
    connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this, saveOnce);
}

TSessionState TSessionKeeper::Capture() const {
    TSessionState state;
    for (int32_t i = 0; i < FWindow.Album.MusicCount(); ++i) {
        state.Files.append(QString::fromStdString(FWindow.Album.Entry(i).FileName));
    }
    const int32_t current = FWindow.PlayOrder.CurrentEntry();
    // A decode run's file is not a track the user was listening to.
    if (!FWindow.Decoding && current >= 0 && current < FWindow.Album.MusicCount()) {
        state.TrackEntry = current;
        state.Track = state.Files[current];
        if (FWindow.MP3Player1->Status() != mpsStopped) {
            state.Position = FWindow.MP3Player1->Position();
        }
    }
    state.Volume = FWindow.MP3Player1->Volume();
    state.Balance = FWindow.MP3Player1->VolBalance();
    state.Random = FWindow.PlayOrder.Random();
    state.RepeatOne = FWindow.PlayOrder.RepeatOne();
    state.RepeatAll = FWindow.PlayOrder.RepeatAll();
    state.Equalizer = FWindow.MP3Player1->EqualizerEnabled();
    return state;
}

void TSessionKeeper::Save(const TSessionState& state) const {
    TMPIniFile ini(FIniFileName);
    // The user's own choice survives the rewrite of the section.
    const bool playOnStart = ini.ReadBool(kSession, "PlayOnStart", false);
    ini.EraseSection(kSession);
    ini.WriteInteger(kSession, "Count", static_cast<int32_t>(state.Files.size()));
    for (qsizetype i = 0; i < state.Files.size(); ++i) {
        ini.WriteString(kSession, EntryKey(static_cast<int32_t>(i)), state.Files[i].toStdString());
    }
    ini.WriteString(kSession, "Track", state.Track.toStdString());
    ini.WriteInteger(kSession, "TrackEntry", state.TrackEntry);
    ini.WriteInteger(kSession, "Position", state.Position);
    ini.WriteInteger(kSession, "Volume", state.Volume);
    ini.WriteInteger(kSession, "Balance", state.Balance);
    ini.WriteBool(kSession, "Random", state.Random);
    ini.WriteBool(kSession, "RepeatOne", state.RepeatOne);
    ini.WriteBool(kSession, "RepeatAll", state.RepeatAll);
    ini.WriteBool(kSession, "Equalizer", state.Equalizer);
    ini.WriteBool(kSession, "PlayOnStart", playOnStart);
}

TSessionState TSessionKeeper::Load() const {
    const TMPIniFile ini(FIniFileName);
    TSessionState state;
    const int32_t count = std::clamp(ini.ReadInteger(kSession, "Count", 0), 0, TAlbum::kCapacity);
    for (int32_t i = 0; i < count; ++i) {
        const std::string file = ini.ReadString(kSession, EntryKey(i), "");
        if (!file.empty()) {
            state.Files.append(QString::fromStdString(file));
        }
    }
    state.Track = QString::fromStdString(ini.ReadString(kSession, "Track", ""));
    state.TrackEntry = ini.ReadInteger(kSession, "TrackEntry", -1);
    state.Position = std::max(ini.ReadInteger(kSession, "Position", 0), 0);
    state.Volume = std::clamp(ini.ReadInteger(kSession, "Volume", 100), 0, 100);
    state.Balance = std::clamp(ini.ReadInteger(kSession, "Balance", 0), -100, 100);
    state.Random = ini.ReadBool(kSession, "Random", false);
    state.RepeatOne = ini.ReadBool(kSession, "RepeatOne", false);
    state.RepeatAll = ini.ReadBool(kSession, "RepeatAll", false);
    state.Equalizer = ini.ReadBool(kSession, "Equalizer", false);
    return state;
}

void TSessionKeeper::Restore() {
    const TSessionState state = Load();
    const bool playOnStart = TMPIniFile(FIniFileName).ReadBool(kSession, "PlayOnStart", false);

    // The album as it was, less what has gone since (or will not open any more).
    QStringList gone;
    int32_t trackEntry = -1;
    FWindow.Album.BeginUpdate();
    for (qsizetype i = 0; i < state.Files.size(); ++i) {
        const QString& file = state.Files[i];
        if (!QFileInfo(file).isFile()) {
            gone.append(file);
            continue;
        }
        try {
            FWindow.AddEntry(file);
        } catch (const std::exception& failure) {
            gone.append(file + QStringLiteral(" (") + QString::fromStdString(failure.what()) +
                        QStringLiteral(")"));
            continue;
        }
        // The stored entry, or failing that the first entry holding the stored track's file.
        if (file == state.Track && (i == state.TrackEntry || trackEntry < 0)) {
            trackEntry = FWindow.Album.MusicCount() - 1;
        }
    }
    FWindow.Album.EndUpdate();
    if (!gone.isEmpty()) {
        // Not modal: the restored window is usable while the note stands.
        ShowReportBox(QStringLiteral("Left out of the album, as these files could not be found or read:\n") +
                          gone.join(QLatin1Char('\n')),
                      &FWindow);
    }

    // The controls, each as the user would set it.
    FWindow.VOL->setValue(100 - state.Volume);
    FWindow.BAL->setValue(state.Balance);
    if (state.RepeatOne) {
        ClickTo(FWindow.REPONE, true);
    } else if (state.RepeatAll) {
        ClickTo(FWindow.REPALL, true);
    }
    ClickTo(FWindow.RAND, state.Random);
    if (state.Equalizer) {
        FWindow.SpeedButton1->click();
    }

    if (trackEntry < 0) {
        return;
    }
    FWindow.SelectRow(trackEntry + 1);
    FWindow.MListDblClick();
    if (FWindow.MP3Player1->Status() != mpsPlaying) {
        return; // the file would not open; the window has said so
    }
    if (!playOnStart) {
        FWindow.PAUSEClick();
    }
    if (state.Position > 0 && state.Position < FWindow.MP3Player1->Duration()) {
        FWindow.PLAYPOS->setValue(state.Position);
    }
}

} // namespace tunelo
