// The jukebox's main window: the album list, the transport, the play modes, the position bar, volume and
// balance, the equalizer panel, decoding the album to WAV files, the tray icon and the settings file.
//
// The window owns two players: MP3Player1 plays (or decodes) the album, MP3Player2 only reads the tags of
// files being added. Controls and handlers carry the window's own names (PLAY, MList, EQ00Change ...);
// the handlers are public so that a host (or a test) can drive the window as the user does.
#pragma once

#include <QDialog>
#include <QFrame>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QSlider>
#include <QTableWidget>
#include <QToolButton>
#include <QWidget>

#include <array>
#include <cstdint>
#include <memory>
#include <set>
#include <string>

#include "AboutDlg.h"
#include "FileNameKeeper.h"
#include "KSavePos.h"
#include "MP3Plyr.h"
#include "NewCtrls.h"
#include "TrayIcon.h"
#include "album.h"
#include "listening_options.h"
#include "platform_dialogs.h"
#include "play_order.h"
#include "transport.h"
#include "tray_menu.h"

class QButtonGroup;

namespace tunelo {

class TAlbumGridControls;
class TEqualizerPresetBar;
class TEqualizerScale;
// The window for today's desktop: now playing, keyboard, position bar, resizing.
class TNowPlaying;
class TPositionBar;
class TWindowKeys;
class TWindowLayout;
class TFocusRing;

struct TPlatformOptions {
    // The settings file; the program's own (ApplicationIniPath) when empty.
    std::string IniFileName;
    // How the window asks the user; the desktop's dialogs when a member is empty.
    TPlatformDialogs Dialogs;
};

class TPlatform : public QWidget {
    Q_OBJECT

public:
    static constexpr int kClientWidth = 586;
    static constexpr int kClientHeightWithEQ = 481;
    static constexpr int kClientHeightWithoutEQ = 301;
    static constexpr int kBandCount = 32;

    // Builds the window and its components, restores its placement and runs FormCreate. Not shown yet.
    explicit TPlatform(TPlatformOptions options = {});
    // FormDestroy: writes the window's settings; the components write theirs as they go.
    ~TPlatform() override;

    // ---- Players ----
    std::unique_ptr<TMP3Player> MP3Player1; // plays and decodes the album
    std::unique_ptr<TMP3Player> MP3Player2; // reads the tags of files being added

    // ---- Album and order ----
    TAlbum Album;
    TPlayOrder PlayOrder;
    TTransport Transport;

    // ---- Window state ----
    bool SkipBusy = false;
    bool Decoding = false;
    bool PositionUpdating = false;
    bool ShowEQFlag = true;

    // ---- Controls ----
    QTableWidget* MList = nullptr;
    QPushButton* REW = nullptr;
    QPushButton* PLAY = nullptr;
    QPushButton* FF = nullptr;
    QPushButton* PAUSE = nullptr;
    QPushButton* STOP = nullptr;
    QScrollBar* PLAYPOS = nullptr;
    QToolButton* NRM = nullptr;
    QToolButton* REPONE = nullptr;
    QToolButton* REPALL = nullptr;
    QToolButton* RAND = nullptr;
    QScrollBar* VOL = nullptr;
    QSlider* BAL = nullptr;
    QLabel* VolumeLabel = nullptr;
    QLabel* BalanceLabel = nullptr;
    QPushButton* BitBtn4 = nullptr; // "Add "
    QPushButton* DEL = nullptr;
    QPushButton* ALBUM = nullptr;
    QPushButton* Button1 = nullptr; // "Hide E.Q." / "Show E.Q."
    QPushButton* BitBtn1 = nullptr; // "Decode"
    QPushButton* BitBtn7 = nullptr; // "Power"
    QFrame* Panel1 = nullptr;
    std::array<QSlider*, kBandCount> EQ{};
    QToolButton* SpeedButton1 = nullptr; // enable the equalizer
    QToolButton* SpeedButton2 = nullptr; // disable the equalizer
    QToolButton* SpeedButton3 = nullptr; // all bands to 0
    QLabel* EQLabel = nullptr;

    // ---- Menus and components ----
    QMenu* PopupMenu1 = nullptr; // the window's context menu: Topix, About TUNELO
    QMenu* AlbumMenu = nullptr;
    QAction* ClearAlbum1 = nullptr;
    QAction* SelectAlbum1 = nullptr;
    QAction* AddFolder1 = nullptr; // a folder's music and album files, walked through
    QAction* SaveAlbum1 = nullptr;
    QMenu* HistoryAlbum1 = nullptr;
    QAction* Clearrecentfile1 = nullptr;
    TTrayMenu TrayMenu;
    TTrayIcon* TrayIcon1 = nullptr;
    TFileDrop* FileDrop1 = nullptr;
    TFileNameKeep* FileNameKeep1 = nullptr;
    TKSavePosIni* KSavePosIni1 = nullptr;
    TAboutDialog* AboutDialog1 = nullptr;

    // ---- Album grid: the filter box (Ctrl+F), sorting by a heading, Ctrl+Z after a sort ----
    TAlbumGridControls* GridControls = nullptr;

    // ---- Start and end ----
    void FormCreate();
    void FormCloseQuery();
    void FormDestroy();

    // ---- Transport ----
    void PLAYClick();
    void PAUSEClick();
    void STOPClick();
    void REWClick();
    void FFClick();
    void MListDblClick();
    void MP3Player1EndPlay(TMP3EndPlayReason reason);
    void MP3Player1ChangePosition();
    // The player carried on into the track prepared for it: what the end of a track does, without
    // reopening anything.
    void MP3Player1TrackChange();
    void PLAYPOSChange();
    void VOLChange();
    void BALChange();
    void NRMClick();
    void RANDClick();
    void BitBtn7Click();
    // The grid row (row 0 is the heading, entry i is row i + 1) that is selected; 1 when none is.
    int32_t SelectedRow() const;
    // Selects a whole grid row and scrolls it into view.
    void SelectRow(int32_t row);

    // ---- Album ----
    void AddEntry(const QString& path);
    void RefreshList();
    // Appends the album file's entries; a missing file gives the "File not found." message.
    void LoadAlbum(const QString& path);
    void BitBtn4Click();
    void DELClick();
    void ALBUMClick();
    void ClearAlbum1Click();
    void SelectAlbum1Click();
    void AddFolder1Click();
    void SaveAlbum1Click();
    void FileNameKeep1Select(const QString& path);
    void Clearrecentfile1Click();
    void FileDrop1FileDrop(const QStringList& files);
    // A drag of the album's own rows: where it starts (MListMouseDown) and where it is dropped, in the
    // grid viewport's coordinates.
    void MListMouseDown(const QPoint& point);
    void MListDragDrop(const QPoint& point);
    int32_t DragSource() const { return FDragSource; }

    // ---- Equalizer ----
    void EQ00Change();
    void SpeedButton2Click();
    void SpeedButton3Click();
    void Button1Click();
    void ApplyShowEQ();

    // ---- Equalizer presets, pre-amp and band frequencies ----
    TEqualizerPresetBar* EQPresets = nullptr; // preset list, Save, Delete, pre-amp
    TEqualizerScale* EQScale = nullptr;       // each bar's centre frequency
    // Lays the panel out with the preset row and the scale (once, at construction).
    void ArrangeEqualizerPanel();

    // ---- Decode to WAV ----
    void BitBtn1Click();
    // Ends the run: stops the player, releases the progress window, enables the window (ABORT too).
    void EndDecodeRun();
    QDialog* DecodeProgress() const { return FDecodeProgress; }
    // The file the entry is written to in the current run.
    QString DecodeOutputPath(const QString& sourceFile);

    // ---- Decode progress and summary ----
    // The run passes over an entry that cannot be opened; its reason goes into the summary.
    void DecodeEntrySkipped(int32_t entry, const std::exception& error);
    // Writing the current file stopped with an error (the player has shown it).
    void DecodeFileFailed();

    // ---- Tray, help, About ----
    void TrayIcon1MouseDown(TMouseButton button);
    void Undo1Click();
    void Topix1Click();
    void About1Click();

    // ---- The window for today's desktop: now playing, keyboard, position bar, resizing ----
    TNowPlaying* NowPlaying = nullptr;
    TPositionBar* PositionBar = nullptr;
    TWindowKeys* WindowKeys = nullptr;
    TWindowLayout* WindowLayout = nullptr;
    TFocusRing* FocusRing = nullptr;
    // Builds the parts above, once the controls and components exist.
    void CreateDesktopParts();
    // The strip and the tray tip follow the album player.
    void UpdateNowPlaying();

    const std::string& IniFileName() const { return FIniFileName; }
    const TPlatformDialogs& Dialogs() const { return FDialogs; }

signals:
    // Quitting has begun: the player still plays (Power and the close box stop it right after).
    void Closing();
    // The window has closed for good (the program ends).
    void FormClosed();
    // A user move of the position bar asked the player to seek there.
    void SeekRequested(int32_t ms);
    // A decode run starts writing a file.
    void DecodeFileStarted(const QString& sourceFile, const QString& wavFile);

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreatePlayers();
    // The code page and ReplayGain chosen in the context menu, for both players.
    void ApplyListening(const TListeningSettings& settings);
    void CreateAppearance();
    void CreateContextMenu();
    void CreateAlbumGrid();
    void CreateAlbumButtons();
    void CreateTransport();
    void CreateEqualizerPanel();
    void CreateDecodeAndPowerButtons();
    void CreateTray();
    void CreateComponents();
    void ReadSettings();

    // The play step: opens the entry the transport decided on and plays it (or writes it while decoding).
    void PlayStep();
    // Opens and starts one entry; false when the player refused it (the error has been shown).
    bool StartEntry(int32_t entry);
    // Opens ahead the entry that the end of the current track leads to, so the player goes on into it
    // without a gap; drops what was prepared when nothing (or something else) follows now.
    void PrepareNextTrack();
    // Program moves of the position bar; they never seek.
    void SetPlayPosition(int32_t maximum, int32_t position);
    void StopAndClose();
    void SetTransportActionsEnabled(bool enabled);

    // The grid's own row drag.
    bool MListViewportEvent(QEvent* event);
    void BeginRowDrag();
    // The last file of a run is done: ends the run and says so.
    void FinishDecodeRun();

    std::string FIniFileName;
    TPlatformDialogs FDialogs;
    QButtonGroup* FModeGroup = nullptr;
    QButtonGroup* FEqualizerGroup = nullptr;
    int32_t FDragSource = -1;
    QPoint FDragStart;
    bool FDragArmed = false;
    QPointer<QDialog> FDecodeProgress;
    QString FDecodeFolder;
    std::set<QString> FDecodeWritten;
    bool FClosed = false;
    bool FDestroyed = false;
};

} // namespace tunelo
