// The transport of the main window: play, pause, stop, previous and next, the double click on the list,
// the end of a track with the play modes, the random order, the position bar, volume and balance. All of
// it works on MP3Player1; the decisions themselves are TTransport's.
#include <QApplication>
#include <QButtonGroup>

#include <algorithm>

#include "Unit4.h"
#include "album_run.h"
#include "error_box.h"
#include "player_error_text.h"
#include "transport_pictures.h"

namespace tunelo {

namespace {

QPushButton* TransportButton(QWidget* parent, const QIcon& picture, const QString& hint, int x, int y) {
    auto* button = new QPushButton(parent);
    button->setIcon(picture);
    button->setIconSize(QSize(16, 16));
    button->setToolTip(hint);
    button->setGeometry(x, y, 32, 26);
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

QToolButton* ModeButton(QWidget* parent, const QString& text, const QString& hint, int x, int y) {
    auto* button = new QToolButton(parent);
    button->setText(text);
    button->setToolTip(hint);
    button->setCheckable(true);
    button->setGeometry(x, y, 40, 22);
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

// A scroll bar whose thumb is sized by its page while a click beside the thumb moves by another amount.
QScrollBar* ScrollBar(QWidget* parent, Qt::Orientation orientation, int smallChange, int largeChange,
                      int page) {
    auto* bar = new QScrollBar(orientation, parent);
    bar->setSingleStep(smallChange);
    bar->setPageStep(page);
    bar->setFocusPolicy(Qt::NoFocus);
    // The system's colours, not the window's black.
    bar->setPalette(QApplication::palette(bar));
    QObject::connect(bar, &QAbstractSlider::actionTriggered, bar, [bar, largeChange](int action) {
        if (action == QAbstractSlider::SliderPageStepAdd) {
            bar->setSliderPosition(std::min(bar->value() + largeChange, bar->maximum()));
        } else if (action == QAbstractSlider::SliderPageStepSub) {
            bar->setSliderPosition(std::max(bar->value() - largeChange, bar->minimum()));
        }
    });
    return bar;
}

QLabel* WhiteLabel(QWidget* parent, const QString& text, int x, int y) {
    auto* label = new QLabel(text, parent);
    label->move(x, y);
    label->adjustSize();
    return label;
}

} // namespace

void TPlatform::CreateTransport() {
    constexpr int kButtonsTop = 216;
    REW = TransportButton(this, PreviousPicture(), QStringLiteral("Previous"), 8, kButtonsTop);
    PLAY = TransportButton(this, PlayPicture(), QStringLiteral("Play"), 42, kButtonsTop);
    FF = TransportButton(this, NextPicture(), QStringLiteral("Next"), 76, kButtonsTop);
    PAUSE = TransportButton(this, PausePicture(), QStringLiteral("Pause"), 110, kButtonsTop);
    STOP = TransportButton(this, StopPicture(), QStringLiteral("Stop"), 144, kButtonsTop);
    connect(REW, &QPushButton::clicked, this, [this] { REWClick(); });
    connect(PLAY, &QPushButton::clicked, this, [this] { PLAYClick(); });
    connect(FF, &QPushButton::clicked, this, [this] { FFClick(); });
    connect(PAUSE, &QPushButton::clicked, this, [this] { PAUSEClick(); });
    connect(STOP, &QPushButton::clicked, this, [this] { STOPClick(); });

    PLAYPOS = ScrollBar(this, Qt::Horizontal, 1024, 8192, 8);
    PLAYPOS->setGeometry(8, 194, 570, 16);
    connect(PLAYPOS, &QScrollBar::valueChanged, this, [this] { PLAYPOSChange(); });

    // One group in which all three may be up: a click on a button that is down releases it.
    constexpr int kModesTop = 250;
    NRM = ModeButton(this, QStringLiteral("NRM"), QStringLiteral("Normal"), 8, kModesTop);
    REPONE = ModeButton(this, QStringLiteral("ONE"), QStringLiteral("Repeat One"), 50, kModesTop);
    REPALL = ModeButton(this, QStringLiteral("ALL"), QStringLiteral("Repeat All"), 92, kModesTop);
    FModeGroup = new QButtonGroup(this);
    FModeGroup->setExclusive(false);
    FModeGroup->addButton(NRM);
    FModeGroup->addButton(REPONE);
    FModeGroup->addButton(REPALL);
    NRM->setChecked(true);
    connect(FModeGroup, &QButtonGroup::buttonClicked, this, [this](QAbstractButton* clicked) {
        if (clicked->isChecked()) {
            for (QAbstractButton* other : FModeGroup->buttons()) {
                if (other != clicked) {
                    other->setChecked(false);
                }
            }
        }
        NRMClick();
    });
    RAND = ModeButton(this, QStringLiteral("RND"), QStringLiteral("Random Play"), 136, kModesTop);
    connect(RAND, &QToolButton::clicked, this, [this] { RANDClick(); });

    VolumeLabel = WhiteLabel(this, QStringLiteral("Volume"), 186, 246);
    VOL = ScrollBar(this, Qt::Vertical, 5, 20, 16);
    VOL->setGeometry(228, kButtonsTop, 16, 78);
    VOL->setRange(0, 100);
    VOL->setValue(0);
    VOL->setToolTip(QStringLiteral("Main Volume"));
    connect(VOL, &QScrollBar::valueChanged, this, [this] { VOLChange(); });

    BalanceLabel = WhiteLabel(this, QStringLiteral("Balance"), 284, kButtonsTop - 2);
    BAL = new QSlider(Qt::Horizontal, this);
    BAL->setGeometry(254, 234, 112, 28);
    // The style draws the ticks a shade darker than the background colour: grey, so they show on black.
    QPalette tickColours = BAL->palette();
    tickColours.setColor(QPalette::Window, QColor(192, 192, 192));
    BAL->setPalette(tickColours);
    BAL->setRange(-100, 100);
    BAL->setValue(0);
    BAL->setTickInterval(25);
    BAL->setTickPosition(QSlider::TicksBelow);
    BAL->setSingleStep(1);
    BAL->setPageStep(25);
    BAL->setToolTip(QStringLiteral("Stereo Pan-pot"));
    BAL->setFocusPolicy(Qt::NoFocus);
    connect(BAL, &QSlider::valueChanged, this, [this] { BALChange(); });
}

int32_t TPlatform::SelectedRow() const {
    const int row = MList->currentRow();
    return row >= 0 ? row + 1 : 1;
}

void TPlatform::SelectRow(int32_t row) {
    if (row < 1 || row > MList->rowCount()) {
        return;
    }
    const int column = std::max(MList->currentColumn(), 0);
    MList->setCurrentCell(row - 1, column);
    // Above the first visible row it becomes the first visible row, below the last the last one.
    MList->scrollTo(MList->model()->index(row - 1, column), QAbstractItemView::EnsureVisible);
}

void TPlatform::SetPlayPosition(int32_t maximum, int32_t position) {
    const bool wasUpdating = PositionUpdating;
    PositionUpdating = true;
    PLAYPOS->setMaximum(maximum);
    PLAYPOS->setValue(position);
    PositionUpdating = wasUpdating;
}

void TPlatform::StopAndClose() {
    const TMP3PlayerStatus status = MP3Player1->Status();
    if (status == mpsPlaying || status == mpsPaused) {
        MP3Player1->Stop();
        MP3Player1->Close();
    }
}

bool TPlatform::StartEntry(int32_t entry) {
    SelectRow(entry + 1);
    const std::string& source = Album.Entry(entry).FileName;
    try {
        MP3Player1->SetAlbumRun(PlaysInAlbumRun(Album, PlayOrder, entry));
        MP3Player1->SetFileName(source);
        const int32_t duration = MP3Player1->Duration();
        SetPlayPosition(duration > 0 ? duration : 1, 0);
        if (Decoding) {
            const QString sourceFile = QString::fromStdString(source);
            const QString wavFile = DecodeOutputPath(sourceFile);
            emit DecodeFileStarted(sourceFile, wavFile);
            MP3Player1->PlayToFile(wavFile.toStdString());
        } else {
            PrepareNextTrack();
            MP3Player1->Play();
        }
        return true;
    } catch (const std::exception& error) {
        if (Decoding) {
            DecodeEntrySkipped(entry, error);
        } else {
            ShowErrorBox(PlayerErrorText(error, QString::fromStdString(source)), this);
        }
        return false;
    }
}

void TPlatform::PrepareNextTrack() {
    if (Decoding || !MP3Player1->IsOpen()) {
        return;
    }
    const int32_t entry = PlayOrder.EntryAfterCurrent();
    if (entry < 0) {
        MP3Player1->CancelNext();
        return;
    }
    try {
        MP3Player1->SetNextAlbumRun(PlaysInAlbumRun(Album, PlayOrder, entry));
        MP3Player1->SetNextFileName(Album.Entry(entry).FileName);
    } catch (const std::exception&) {
        // Left to the end of the track, which opens it by name and shows why it cannot be played.
        MP3Player1->CancelNext();
    }
}

void TPlatform::MP3Player1TrackChange() {
    // As at the end of a track: the play order moves on by the play mode; the new row is shown, the
    // position bar starts again, and what follows it is prepared.
    if (Transport.EndOfTrack(meprEndOfStream, false) != TAfterTrack::PlayStep) {
        return;
    }
    const int32_t entry = PlayOrder.TakeCurrent();
    if (entry >= 0) {
        SelectRow(entry + 1);
    }
    const int32_t duration = MP3Player1->Duration();
    SetPlayPosition(duration > 0 ? duration : 1, 0);
    PrepareNextTrack();
    UpdateNowPlaying();
}

void TPlatform::PlayStep() {
    for (;;) {
        const TPlayDecision decision = Transport.PlayStep(MP3Player1->Status(), Decoding, SelectedRow());
        bool failed = false;
        switch (decision.Action) {
        case TPlayAction::Nothing:
            break;
        case TPlayAction::Resume:
            MP3Player1->Resume();
            break;
        case TPlayAction::SwitchAndPlay:
            MP3Player1->Stop();
            MP3Player1->Close();
            failed = !StartEntry(decision.Entry);
            break;
        case TPlayAction::Play:
            failed = !StartEntry(decision.Entry);
            break;
        }
        // A decode run passes over a file it cannot open and goes on with the next.
        if (!failed || !Decoding) {
            break;
        }
        if (!PlayOrder.AdvanceForDecode()) {
            FinishDecodeRun();
            break;
        }
    }
    // Cleared whatever the step did, so that a step that found nothing to play (or a file that would not
    // open) never leaves Previous and Next dead.
    SkipBusy = false;
}

void TPlatform::PLAYClick() {
    PlayStep();
}

void TPlatform::PAUSEClick() {
    switch (MP3Player1->Status()) {
    case mpsPlaying:
        MP3Player1->Pause();
        break;
    case mpsPaused:
        MP3Player1->Resume();
        break;
    case mpsStopped:
        break;
    }
}

void TPlatform::STOPClick() {
    StopAndClose();
}

void TPlatform::REWClick() {
    if (SkipBusy) {
        return;
    }
    SkipBusy = true;
    MP3Player1->Stop();
    MP3Player1->Close();
    Transport.Previous();
    PlayStep();
}

void TPlatform::FFClick() {
    if (SkipBusy) {
        return;
    }
    SkipBusy = true;
    MP3Player1->Stop();
    MP3Player1->Close();
    Transport.Next();
    PlayStep();
}

void TPlatform::MListDblClick() {
    // The double click makes the selected row current while stopped; the play step does the rest.
    if (MP3Player1->Status() == mpsStopped) {
        const int32_t position = PlayOrder.PositionOfEntry(SelectedRow() - 1);
        if (position >= 0) {
            PlayOrder.SetPlayIndex(position);
        }
    }
    PlayStep();
}

void TPlatform::MP3Player1EndPlay(TMP3EndPlayReason reason) {
    if (Decoding && reason == meprError) {
        // The player has shown the error; the run goes on with the next file.
        DecodeFileFailed();
        if (PlayOrder.AdvanceForDecode()) {
            PlayStep();
        } else {
            FinishDecodeRun();
        }
        return;
    }
    switch (Transport.EndOfTrack(reason, Decoding)) {
    case TAfterTrack::Nothing:
        break;
    case TAfterTrack::PlayStep:
        PlayStep();
        break;
    case TAfterTrack::DecodeComplete:
        FinishDecodeRun();
        break;
    }
}

void TPlatform::MP3Player1ChangePosition() {
    UpdateNowPlaying();
    // While the user holds the thumb the bar is theirs; the next report after they let go catches up.
    if (PLAYPOS->isSliderDown()) {
        return;
    }
    const int32_t duration = MP3Player1->Duration();
    SetPlayPosition(duration > 0 ? duration : 1, MP3Player1->Position());
}

void TPlatform::PLAYPOSChange() {
    if (PositionUpdating) {
        return;
    }
    const int32_t ms = PLAYPOS->value();
    MP3Player1->Seek(ms);
    // A seek drops the prepared track.
    PrepareNextTrack();
    emit SeekRequested(ms);
}

void TPlatform::VOLChange() {
    MP3Player1->SetVolume(100 - VOL->value());
}

void TPlatform::BALChange() {
    MP3Player1->SetVolBalance(BAL->value());
}

void TPlatform::NRMClick() {
    PlayOrder.SetPlayModeFromButtons(NRM->isChecked(), REPONE->isChecked());
    PrepareNextTrack();
}

void TPlatform::RANDClick() {
    PlayOrder.SetRandom(RAND->isChecked());
    PrepareNextTrack();
}

} // namespace tunelo
