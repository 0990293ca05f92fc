// The main window's frame: construction of the window and its players and components, its appearance,
// the context menu, start (FormCreate), closing (FormCloseQuery, Power) and end (FormDestroy).
#include <QCloseEvent>
#include <QCoreApplication>
#include <QTimer>

#include "Unit4.h"
#include "error_box.h"
#include "ini_file.h"
#include "jukebox_settings.h"
#include "listening_options.h"
#include "main_form.h"
#include "manual.h"
#include "message_window.h"
#include "output_device_menu.h"
#include "transport_pictures.h"

namespace tunelo {

namespace {

// The members the caller left empty take the desktop's dialogs.
TPlatformDialogs CompleteDialogs(TPlatformDialogs dialogs) {
    const TPlatformDialogs desktop = DesktopDialogs();
    if (!dialogs.OpenFileNames) {
        dialogs.OpenFileNames = desktop.OpenFileNames;
    }
    if (!dialogs.OpenFileName) {
        dialogs.OpenFileName = desktop.OpenFileName;
    }
    if (!dialogs.SaveFileName) {
        dialogs.SaveFileName = desktop.SaveFileName;
    }
    if (!dialogs.FolderName) {
        dialogs.FolderName = desktop.FolderName;
    }
    if (!dialogs.Message) {
        dialogs.Message = desktop.Message;
    }
    if (!dialogs.Confirm) {
        dialogs.Confirm = desktop.Confirm;
    }
    return dialogs;
}

// The stored settings both players are loaded with.
void LoadStoredPlayerSettings(TMP3Player& player, bool autoPlay) {
    player.BeginLoading();
    player.SetAutoOpen(true);
    player.SetAutoPlay(autoPlay);
    player.SetChangePosStep(400);
    player.SetDecodePriority(tpNormal);
    player.SetEqualizerEnabled(false);
    player.SetEqualizerCount(6);
    player.SetEqualizerMode(memSubBand);
    player.SetNeedInfoType({mitID3V1, mitID3V2, mitRiff});
    player.SetNoisySeek(true);
    player.SetInvertPolarity(false);
    TMP3CpuCapabilities capabilities;
    capabilities.Include(mccMMX);
    capabilities.Include(mcc3DNow);
    capabilities.Include(mccKNI);
    capabilities.Include(mccE3DNow);
    player.SetUsingCpuCapabilities(capabilities);
    player.SetVolBalance(0);
    player.SetVolume(100);
    player.Loaded();
}

} // namespace

TPlatform::TPlatform(TPlatformOptions options)
    : QWidget(nullptr), Album([this](const std::string& path) {
          // The tag player only opens the file; it must never start playing it.
          MP3Player2->SetAutoPlay(false);
          MP3Player2->SetFileName(path);
          TMusicList entry;
          entry.Title = MP3Player2->Title();
          entry.Artist = MP3Player2->Artist();
          entry.Album = MP3Player2->Album();
          entry.Year = MP3Player2->Year();
          entry.Comment = MP3Player2->Comment();
          entry.Genre = MP3Player2->Genre();
          entry.Track = MP3Player2->Track();
          entry.LengthMs = MP3Player2->Duration();
          MP3Player2->Close();
          return entry;
      }),
      Transport(PlayOrder),
      FIniFileName(options.IniFileName.empty() ? ApplicationIniPath() : options.IniFileName),
      FDialogs(CompleteDialogs(std::move(options.Dialogs))) {
    setObjectName(QStringLiteral("Platform"));
    PlayOrder.Follow(Album);
    Album.OnChanged = [this] {
        RefreshList();
        PrepareNextTrack();
    };

    CreatePlayers();
    CreateAppearance();
    CreateContextMenu();
    CreateAlbumGrid();
    CreateTransport();
    CreateAlbumButtons();
    CreateEqualizerPanel();
    CreateDecodeAndPowerButtons();
    CreateTray();
    CreateComponents();
    CreateDesktopParts();
    FormCreate();
    SetMainForm(this);
}

TPlatform::~TPlatform() {
    FormDestroy();
}

void TPlatform::CreatePlayers() {
    MP3Player1 = std::make_unique<TMP3Player>();
    LoadStoredPlayerSettings(*MP3Player1, false);
    MP3Player1->OnChangePosition = [this](TMP3Player&) { MP3Player1ChangePosition(); };
    MP3Player1->OnEndPlay = [this](TMP3Player&, TMP3EndPlayReason reason) { MP3Player1EndPlay(reason); };
    MP3Player1->OnTrackChange = [this](TMP3Player&) { MP3Player1TrackChange(); };

    MP3Player2 = std::make_unique<TMP3Player>();
    LoadStoredPlayerSettings(*MP3Player2, true);
    ApplyListening(ReadListeningSettings(FIniFileName));
}

void TPlatform::ApplyListening(const TListeningSettings& settings) {
    ApplyListeningSettings(settings, *MP3Player1);
    ApplyListeningSettings(settings, *MP3Player2);
}

void TPlatform::CreateAppearance() {
    setWindowTitle(QStringLiteral("TUNELO Version 0.02"));
    setWindowIcon(TuneloProgramIcon());
    // A resizable border; the first size is the smallest (TWindowLayout).
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
    resize(kClientWidth, kClientHeightWithEQ);

    // A palette rather than a style sheet: a style sheet would also reach the menus and the About box.
    QPalette colours = palette();
    colours.setColor(QPalette::Window, Qt::black);
    colours.setColor(QPalette::WindowText, Qt::white);
    colours.setColor(QPalette::Base, Qt::black);
    colours.setColor(QPalette::AlternateBase, Qt::black);
    colours.setColor(QPalette::Text, Qt::white);
    setPalette(colours);
    setAutoFillBackground(true);

    QFont systemFont = font();
    systemFont.setPixelSize(12);
    setFont(systemFont);
}

void TPlatform::CreateContextMenu() {
    PopupMenu1 = new QMenu(this);
    QAction* topix = PopupMenu1->addAction(QStringLiteral("Topix"));
    QAction* about = PopupMenu1->addAction(QStringLiteral("About TUNELO"));
    auto* outputs = new TOutputDeviceMenu(FIniFileName, PopupMenu1);
    PopupMenu1->addMenu(outputs);
    outputs->ApplyStored();
    connect(topix, &QAction::triggered, this, [this] { Topix1Click(); });
    connect(about, &QAction::triggered, this, [this] { About1Click(); });
    PopupMenu1->addSeparator();
    AddListeningMenu(*PopupMenu1, FIniFileName,
                     [this](const TListeningSettings& settings) { ApplyListening(settings); });

    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& point) { PopupMenu1->popup(mapToGlobal(point)); });
}

void TPlatform::CreateComponents() {
    FileDrop1 = new TFileDrop(this);
    FileDrop1->SetControl(MList);
    FileDrop1->OnFileDrop = [this](TFileDrop&, int32_t, const QStringList& files, int32_t, int32_t) {
        FileDrop1FileDrop(files);
    };

    FileNameKeep1 = new TFileNameKeep(this);
    FileNameKeep1->SetIniFileName(FIniFileName);
    FileNameKeep1->OnSelect = [this](const QString& path) { FileNameKeep1Select(path); };
    FileNameKeep1->SetParentMenu(HistoryAlbum1);

    AboutDialog1 = new TAboutDialog(this);
    AssignTuneloAbout(*AboutDialog1);

    // Last, as the window has its controls: restores the placement without showing the window.
    KSavePosIni1 = new TKSavePosIni(this);
    KSavePosIni1->SetIniFileName(FIniFileName);
    KSavePosIni1->SetResumeIconic(false);
    KSavePosIni1->Loaded();
}

void TPlatform::ReadSettings() {
    std::array<int32_t, TJukeboxWindowSettings::BandCount> current{};
    for (int32_t band = 0; band < kBandCount; ++band) {
        current[static_cast<size_t>(band)] = EQ[static_cast<size_t>(band)]->value();
    }
    const TJukeboxWindowSettings settings = TJukeboxSettings(FIniFileName).ReadWindow(current);
    // These come after the stored placement, so they decide the window's edges.
    if (settings.Left) {
        move(*settings.Left, y());
    }
    if (settings.Top) {
        move(x(), *settings.Top);
    }
    ShowEQFlag = settings.ShowEQFlag;
    // Each bar that moves sends the bands, which brings the player in line with the stored positions.
    for (int32_t band = 0; band < kBandCount; ++band) {
        EQ[static_cast<size_t>(band)]->setValue(settings.Bands[static_cast<size_t>(band)]);
    }
}

void TPlatform::FormCreate() {
    ReadSettings();
    RefreshList();
    SetPlayPosition(1, 0);
    ApplyShowEQ();
}

void TPlatform::FormCloseQuery() {
    if (Decoding) {
        EndDecodeRun();
    }
    if (MP3Player1->Status() != mpsStopped) {
        MP3Player1->Stop();
    }
    ApplicationProcessMessages();
}

void TPlatform::closeEvent(QCloseEvent* event) {
    if (!FClosed) {
        emit Closing();
    }
    FormCloseQuery();
    event->accept();
    if (!FClosed) {
        FClosed = true;
        TrayIcon1->SetVisible(false);
        emit FormClosed();
    }
}

void TPlatform::FormDestroy() {
    if (FDestroyed) {
        return;
    }
    FDestroyed = true;
    // The players outlive nothing of the window that their events reach.
    MP3Player1->OnChangePosition = nullptr;
    MP3Player1->OnEndPlay = nullptr;
    MP3Player1->OnTrackChange = nullptr;
    delete FDecodeProgress;
    delete TrayMenu.Menu;

    TJukeboxWindowSettings settings;
    settings.Left = x();
    settings.Top = y();
    settings.ShowEQFlag = ShowEQFlag;
    for (int32_t band = 0; band < kBandCount; ++band) {
        settings.Bands[static_cast<size_t>(band)] = EQ[static_cast<size_t>(band)]->value();
    }
    TJukeboxSettings(FIniFileName).WriteWindow(settings);
}

void TPlatform::BitBtn7Click() {
    emit Closing();
    if (MP3Player1->Status() != mpsStopped) {
        MP3Player1->Stop();
    }
    ApplicationProcessMessages();
    close();
}

void TPlatform::Topix1Click() {
    QString error;
    if (!OpenManual(&error)) {
        ShowErrorBox(error, this);
    }
}

void TPlatform::About1Click() {
    AboutDialog1->Execute();
}

} // namespace tunelo
