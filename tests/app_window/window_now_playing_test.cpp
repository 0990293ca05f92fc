// The now-playing strip and the tray tip: title and artist (the file name without tags), elapsed and total
// time following the position reports, the cover where the file has one; nothing while stopped.
#include <QBuffer>
#include <QImage>
#include <QRegularExpression>
#include <QTest>

#include "now_playing.h"
#include "play_time.h"
#include "window_test_support.h"

namespace tunelo::test {
namespace {

std::string BigEndian32(size_t n) {
    return {static_cast<char>(n >> 24), static_cast<char>(n >> 16), static_cast<char>(n >> 8),
            static_cast<char>(n)};
}

// An ID3v2.3 frame.
std::string Frame(const char* id, const std::string& body) {
    return std::string(id, 4) + BigEndian32(body.size()) + std::string(2, '\0') + body;
}

// A Latin-1 text frame.
std::string TextFrame(const char* id, const std::string& text) {
    return Frame(id, std::string(1, '\0') + text);
}

// An ID3v2.3 tag holding the frames.
std::string Id3v2Tag(const std::string& frames) {
    const size_t size = frames.size();
    const std::string synchsafe{static_cast<char>((size >> 21) & 0x7F),
                                static_cast<char>((size >> 14) & 0x7F), static_cast<char>((size >> 7) & 0x7F),
                                static_cast<char>(size & 0x7F)};
    return std::string("ID3\x03\0\0", 6) + synchsafe + frames;
}

// A small PNG picture of one colour.
std::string Png(QColor colour) {
    QImage image(24, 24, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes.toStdString();
}

class NowPlayingTest : public WindowTest {
protected:
    // A five-second stream behind the given tag.
    std::string Tagged(const std::string& relative, const std::string& tag) {
        const std::string plain = LongStream(relative + ".plain", 10);
        const std::string path = (FFolder / relative).string();
        WriteFile(path, tag + ReadFile(plain));
        return path;
    }

    const TNowPlaying& Strip() const { return *Window->NowPlaying; }

    // Waits for a position report that shows at least `ms` played.
    void WaitForReportPast(int32_t ms) {
        ASSERT_TRUE(ProcessEventsUntil([&] { return Window->PLAYPOS->value() >= ms; }));
        ProcessEventsFor(50);
    }
};

TEST_F(NowPlayingTest, ShowsTitleArtistTimeAndCoverAndTheTrayTipSaysTheSame) {
    MakeWindow();
    const std::string tag = Id3v2Tag(
        TextFrame("TIT2", "Blue Song") + TextFrame("TPE1", "The Band") +
        Frame("APIC", std::string("\0image/png\0", 11) + '\x03' + std::string(1, '\0') + Png(Qt::blue)));
    AddThroughDialog({Tagged("blue.mp3", tag)});
    EXPECT_TRUE(Strip().Title().isEmpty()) << "nothing plays yet";
    EXPECT_EQ(Window->TrayIcon1->TipHelp(), QStringLiteral("TUNELO"));

    Window->PLAYClick();
    WaitForReportPast(1000);
    EXPECT_EQ(Strip().Title(), QStringLiteral("Blue Song"));
    EXPECT_EQ(Strip().Artist(), QStringLiteral("The Band"));
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^0:0[1-4] / 0:05$")).match(Strip().TimeText()).hasMatch())
        << Strip().TimeText().toStdString();
    EXPECT_TRUE(Strip().HasCover());
    EXPECT_EQ(Window->TrayIcon1->TipHelp(), QStringLiteral("Blue Song - The Band\n") + Strip().TimeText());

    // The time follows the reports.
    const QString earlier = Strip().TimeText();
    WaitForReportPast(Window->PLAYPOS->value() + 1100);
    EXPECT_NE(Strip().TimeText(), earlier);

    Window->PAUSEClick();
    ProcessEventsFor(50);
    EXPECT_TRUE(Strip().TimeText().endsWith(QStringLiteral("(paused)"))) << Strip().TimeText().toStdString();

    Window->STOPClick();
    ProcessEventsFor(50);
    EXPECT_TRUE(Strip().Title().isEmpty());
    EXPECT_TRUE(Strip().TimeText().isEmpty());
    EXPECT_FALSE(Strip().HasCover());
    EXPECT_EQ(Window->TrayIcon1->TipHelp(), QStringLiteral("TUNELO"));
}

TEST_F(NowPlayingTest, WithoutTagsTheFileNameShowsAndNoCover) {
    MakeWindow();
    const std::string covered =
        Tagged("covered.mp3", Id3v2Tag(Frame("APIC", std::string("\0image/png\0", 11) + '\x03' +
                                                         std::string(1, '\0') + Png(Qt::red))));
    AddThroughDialog({covered, LongStream("Untitled Track.mp3", 10)});
    Window->PLAYClick();
    WaitForReportPast(500);
    EXPECT_EQ(Strip().Title(), QStringLiteral("covered"));
    EXPECT_TRUE(Strip().HasCover());

    // The next track has neither tags nor a picture: the cover of the one before does not stay.
    Window->FFClick();
    ProcessEventsFor(50);
    EXPECT_EQ(Strip().Title(), QStringLiteral("Untitled Track"));
    EXPECT_TRUE(Strip().Artist().isEmpty());
    EXPECT_FALSE(Strip().HasCover());
    EXPECT_TRUE(Window->TrayIcon1->TipHelp().startsWith(QStringLiteral("Untitled Track\n0:0")))
        << Window->TrayIcon1->TipHelp().toStdString();
}

TEST_F(NowPlayingTest, TheNextTrackOfTheAlbumShowsWhenItBegins) {
    MakeWindow();
    const std::string first =
        Tagged("first.mp2", Id3v2Tag(TextFrame("TIT2", "First") + TextFrame("TPE1", "A")));
    const std::string second =
        Tagged("second.mp2", Id3v2Tag(TextFrame("TIT2", "Second") + TextFrame("TPE1", "B")));
    AddThroughDialog({first, second});
    Window->PLAYClick();
    ASSERT_TRUE(ProcessEventsUntil([&] { return Strip().Title() == QStringLiteral("First"); }));
    // The player goes on into the prepared track without a gap (no status change) or opens it anew: either
    // way the strip follows.
    ASSERT_TRUE(ProcessEventsUntil([&] { return Strip().Title() == QStringLiteral("Second"); }, 15000));
    EXPECT_EQ(Window->MP3Player1->Status(), mpsPlaying);
    EXPECT_EQ(Strip().Artist(), QStringLiteral("B"));
    EXPECT_TRUE(Strip().TimeText().startsWith(QStringLiteral("0:0"))) << Strip().TimeText().toStdString();
    EXPECT_TRUE(Window->TrayIcon1->TipHelp().startsWith(QStringLiteral("Second - B\n")));
}

TEST_F(NowPlayingTest, ALongTitleGivesWayInTheTrayTipSoThatTheTimeStays) {
    MakeWindow();
    const std::string title(80, 'T');
    AddThroughDialog({Tagged("long.mp2", Id3v2Tag(TextFrame("TIT2", title) + TextFrame("TPE1", "Artist")))});
    Window->PLAYClick();
    WaitForReportPast(500);
    ASSERT_EQ(Strip().Title(), QString::fromStdString(title)) << "the strip itself elides as it draws";
    const QString tip = Window->TrayIcon1->TipHelp();
    EXPECT_LE(tip.size(), TTrayIcon::MaxTipLength);
    EXPECT_TRUE(tip.endsWith(QChar(0x2026) + QStringLiteral("\n") + Strip().TimeText())) << tip.toStdString();
    EXPECT_TRUE(tip.startsWith(QStringLiteral("TTTT")));
}

struct TTimeCase {
    int64_t Ms;
    const char* Text;
};

class PlayTimeTest : public ::testing::TestWithParam<TTimeCase> {};

TEST_P(PlayTimeTest, ReadsAsAListenerExpects) {
    EXPECT_EQ(FormatPlayTime(GetParam().Ms), QString::fromLatin1(GetParam().Text));
}

INSTANTIATE_TEST_SUITE_P(Times, PlayTimeTest,
                         ::testing::Values(TTimeCase{0, "0:00"}, TTimeCase{999, "0:00"},
                                           TTimeCase{59999, "0:59"}, TTimeCase{65000, "1:05"},
                                           TTimeCase{200000, "3:20"}, TTimeCase{599000, "9:59"},
                                           TTimeCase{3599999, "59:59"}, TTimeCase{3723000, "1:02:03"},
                                           TTimeCase{-5000, "0:00"}));

} // namespace
} // namespace tunelo::test
