// The session kept across restarts: what the window shows at quit comes back at the next start, with the
// track paused where it stood, and files that have gone since are named once and left out.
#include <QDBusArgument>
#include <QDBusVariant>

#include "desktop_test_support.h"
#include "mpris_service.h"
#include "session_keeper.h"

namespace tunelo::test {
namespace {

class SessionTest : public WindowTest {
protected:
    // A window as the program starts it: with its session put back.
    TPlatform& StartWindow() {
        MakeWindow();
        Keeper = new TSessionKeeper(*Window, FIni);
        Keeper->Restore();
        return *Window;
    }
    // Power, as the user quits.
    void Quit() {
        Window->BitBtn7Click();
        Window.reset();
    }

    TSessionKeeper* Keeper = nullptr; // owned by the window
};

TEST_F(SessionTest, AlbumTrackPositionVolumeBalanceModeAndEqualizerComeBack) {
    const std::string first = LongStream("music/1 first.mp2", 12);
    const std::string second = LongStream("music/2 second.mp2", 12);
    const std::string third = LongStream("music/3 third.mp2", 12);
    const std::string fourth = LongStream("music/4 fourth.mp2", 12);
    StartWindow();
    AddThroughDialog({first, second, third, fourth});
    Window->VOL->setValue(35);
    Window->BAL->setValue(-40);
    Window->REPALL->click();
    Window->SpeedButton1->click();
    Window->SelectRow(3);
    Window->MListDblClick();
    ASSERT_EQ(PlayingFile(), third);
    Window->PLAYPOS->setValue(3500);
    ProcessEventsFor(300);
    const int32_t position = Window->MP3Player1->Position();
    Quit();

    // The album changed while the program was away: one file has gone.
    std::filesystem::remove(second);
    StartWindow();
    EXPECT_EQ(AlbumFiles(), (std::vector<std::string>{first, third, fourth}));
    EXPECT_EQ(PlayingFile(), third);
    EXPECT_EQ(Window->MP3Player1->Status(), mpsPaused);
    EXPECT_NEAR(Window->MP3Player1->Position(), position, 1000);
    EXPECT_NEAR(Window->PLAYPOS->value(), position, 1000);
    EXPECT_EQ(Window->VOL->value(), 35);
    EXPECT_EQ(Window->MP3Player1->Volume(), 65);
    EXPECT_EQ(Window->BAL->value(), -40);
    EXPECT_EQ(Window->MP3Player1->VolBalance(), -40);
    EXPECT_TRUE(Window->REPALL->isChecked());
    EXPECT_FALSE(Window->NRM->isChecked());
    EXPECT_TRUE(Window->PlayOrder.RepeatAll());
    EXPECT_TRUE(Window->SpeedButton1->isChecked());
    EXPECT_TRUE(Window->MP3Player1->EqualizerEnabled());
    ASSERT_EQ(ErrorBoxes().size(), 1u) << "the gone file is reported once";
    EXPECT_TRUE(ErrorBoxes().front().contains(QString::fromStdString(second)));

    // Play goes on from there, as the pause button's other half.
    Window->PAUSEClick();
    EXPECT_EQ(Window->MP3Player1->Status(), mpsPlaying);

    // The next restart has nothing more to report.
    Quit();
    ErrorBoxes().clear();
    StartWindow();
    EXPECT_EQ(AlbumFiles().size(), 3u);
    EXPECT_TRUE(ErrorBoxes().empty());
}

TEST_F(SessionTest, MprisReportsTheRestoredTrackPausedAtItsPosition) {
    const std::string song = LongStream("music/song.mp2", 16);
    StartWindow();
    AddThroughDialog({song});
    Window->PLAYClick();
    Window->PLAYPOS->setValue(5000);
    ProcessEventsFor(200);
    const int32_t position = Window->MP3Player1->Position();
    Quit();

    StartWindow();
    TMprisService service(*Window);
    ASSERT_TRUE(service.Register());
    EXPECT_EQ(MprisPlayerProperty("PlaybackStatus").toString(), QStringLiteral("Paused"));
    EXPECT_NEAR(MprisPlayerProperty("Position").toLongLong(), qlonglong(position) * 1000, 1'000'000);
}

TEST_F(SessionTest, PlayOnStartPlaysInsteadOfPausing) {
    const std::string song = LongStream("music/song.mp2", 8);
    StartWindow();
    AddThroughDialog({song});
    Window->PLAYClick();
    Quit();
    TMPIniFile(FIni).WriteBool("Session", "PlayOnStart", true);

    StartWindow();
    EXPECT_EQ(Window->MP3Player1->Status(), mpsPlaying);
    Quit();
    EXPECT_TRUE(TMPIniFile(FIni).ReadBool("Session", "PlayOnStart", false)) << "the user's choice is kept";
}

TEST_F(SessionTest, RandomOrderAndAStoppedPlayerComeBackWithoutPlaying) {
    const std::string a = LongStream("a.mp2", 4);
    const std::string b = LongStream("b.mp2", 4);
    StartWindow();
    AddThroughDialog({a, b});
    Window->RAND->click();
    Window->REPONE->click();
    Quit();

    StartWindow();
    EXPECT_TRUE(Window->RAND->isChecked());
    EXPECT_TRUE(Window->PlayOrder.Random());
    EXPECT_TRUE(Window->PlayOrder.RepeatOne());
    EXPECT_EQ(Window->MP3Player1->Status(), mpsStopped) << "no track was current";
    EXPECT_EQ(AlbumFiles(), (std::vector<std::string>{a, b}));
}

TEST_F(SessionTest, AGoneTrackLeavesTheRestOfTheAlbumStopped) {
    const std::string a = LongStream("a.mp2", 4);
    const std::string b = LongStream("b.mp2", 4);
    StartWindow();
    AddThroughDialog({a, b});
    Window->SelectRow(2);
    Window->MListDblClick();
    Quit();

    std::filesystem::remove(b);
    StartWindow();
    EXPECT_EQ(AlbumFiles(), std::vector<std::string>{a});
    EXPECT_EQ(Window->MP3Player1->Status(), mpsStopped);
    EXPECT_EQ(ErrorBoxes().size(), 1u);
}

TEST_F(SessionTest, NoStoredSessionStartsAsBefore) {
    StartWindow();
    EXPECT_EQ(Window->Album.MusicCount(), 0);
    EXPECT_EQ(Window->VOL->value(), 0);
    EXPECT_EQ(Window->BAL->value(), 0);
    EXPECT_TRUE(Window->NRM->isChecked());
    EXPECT_FALSE(Window->RAND->isChecked());
    EXPECT_TRUE(ErrorBoxes().empty());
}

} // namespace
} // namespace tunelo::test
