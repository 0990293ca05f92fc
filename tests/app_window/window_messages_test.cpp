// What the window says when a track cannot be played: no sound device, a busy device, a file that is gone,
// a file that is not MPEG audio, each naming the file or the device and what to do.
#include <cerrno>
#include <filesystem>

#include <pulse/def.h>

#include "errors.h"
#include "player_error_text.h"
#include "wave_backend.h"
#include "wave_device.h"
#include "window_test_support.h"

namespace tunelo::test {
namespace {

class MessagesTest : public WindowTest {
protected:
    void TearDown() override {
        SetWaveOutputChoice({});
        WindowTest::TearDown();
    }

    // The one error box that pressing Play gave.
    QString PlayAndTakeTheBox() {
        Window->SelectRow(1);
        Window->PLAYClick();
        EXPECT_EQ(ErrorBoxes().size(), 1u);
        return ErrorBoxes().empty() ? QString() : ErrorBoxes().back();
    }
};

TEST_F(MessagesTest, PlayWithoutASoundDeviceSaysSoAndWhereToChooseAnother) {
    MakeWindow();
    AddThroughDialog({LongStream("a.mp2", 4)});
    // An output chosen in the "Sound output" menu that is not there (ALSA answers "No such file or
    // directory" for it).
    SetWaveOutputChoice("alsa:tunelo_missing_device");
    const QString box = PlayAndTakeTheBox();
    EXPECT_TRUE(box.startsWith(QStringLiteral("No sound device: ALSA device \"tunelo_missing_device\"")))
        << box.toStdString();
    EXPECT_TRUE(box.contains(QStringLiteral("\"Sound output\""))) << box.toStdString();
    EXPECT_FALSE(box.contains(QStringLiteral("No such file"))) << box.toStdString();
    EXPECT_FALSE(box.contains(QStringLiteral("TSoundOut"))) << box.toStdString();
    EXPECT_EQ(Window->MP3Player1->Status(), mpsStopped);

    // With the device back, Play plays.
    SetWaveOutputChoice("null");
    Window->PLAYClick();
    EXPECT_EQ(Window->MP3Player1->Status(), mpsPlaying);
}

TEST_F(MessagesTest, AFileThatIsGoneIsNamed) {
    MakeWindow();
    const std::string file = LongStream("music/gone.mp2", 4);
    AddThroughDialog({file});
    std::filesystem::remove(file);
    const QString box = PlayAndTakeTheBox();
    EXPECT_TRUE(box.startsWith(QStringLiteral("The file \"") + QString::fromStdString(file) +
                               QStringLiteral("\" is gone")))
        << box.toStdString();
    EXPECT_TRUE(box.contains(QStringLiteral("Remove it from the album"))) << box.toStdString();
}

TEST_F(MessagesTest, AFileThatIsNotMpegAudioIsNamed) {
    MakeWindow();
    const std::string file = LongStream("music/changed.mp3", 4);
    AddThroughDialog({file});
    // Overwritten with something else since it was added.
    WriteFile(file, std::string(20000, 'x'));
    const QString box = PlayAndTakeTheBox();
    EXPECT_EQ(box,
              QStringLiteral("The file \"") + QString::fromStdString(file) +
                  QStringLiteral("\" is not MPEG audio (MP3, MP2 or MP1) and cannot be played. Remove it "
                                 "from the album."));
}

struct TWordingCase {
    const char* Name;
    std::function<void()> Raise;
    const char* Start;
};

class WordingTest : public ::testing::TestWithParam<TWordingCase> {
protected:
    void SetUp() override { SetWaveOutputChoice("alsa:hw:7"); }
    void TearDown() override { SetWaveOutputChoice({}); }
};

TEST_P(WordingTest, EachErrorIsWordedForThePersonAtTheComputer) {
    try {
        GetParam().Raise();
        FAIL() << "nothing raised";
    } catch (const std::exception& error) {
        const QString text = PlayerErrorText(error, QStringLiteral("/music/a.mp3"));
        EXPECT_TRUE(text.startsWith(QString::fromUtf8(GetParam().Start))) << text.toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Errors, WordingTest,
    ::testing::Values(
        TWordingCase{"busy", [] { throw EMPWaveError("Device or resource busy(TSoundOut.Open)", -EBUSY); },
                     "The sound device is busy: another program is using ALSA device \"hw:7\"."},
        TWordingCase{"nodevice", [] { throw EMPWaveError("No such device(TSoundOut.Open)", -ENODEV); },
                     "No sound device: ALSA device \"hw:7\" cannot be opened."},
        TWordingCase{"other", [] { throw EMPWaveError("Broken pipe(TSoundOut.WaveWrite)", -EPIPE); },
                     "The sound device (ALSA device \"hw:7\") failed: Broken pipe(TSoundOut.WaveWrite)"},
        TWordingCase{"lost",
                     [] {
                         throw EMPWaveError("PulseAudio server /run/user/1000/pulse/native: Connection "
                                            "terminated(TSoundOut.WaveWrite)",
                                            kPulseErrorBase + PA_ERR_CONNECTIONTERMINATED);
                     },
                     "The sound stopped: the sound server went away while playing (PulseAudio server "
                     "/run/user/1000/pulse/native: Connection terminated(TSoundOut.WaveWrite))."},
        TWordingCase{"gone", [] { throw EMPFileError("Cannot open file", "/music/b.mp3", ENOENT); },
                     "The file \"/music/b.mp3\" is gone"},
        TWordingCase{"forbidden", [] { throw EMPFileError("Cannot open file", "/music/b.mp3", EACCES); },
                     "The file \"/music/b.mp3\" may not be read (permission denied)."},
        TWordingCase{"format", [] { throw EMPFormatError("unknown MPEG Audio format."); },
                     "The file \"/music/a.mp3\" is not MPEG audio"},
        TWordingCase{"plain", [] { throw EMPError("Stream seek error: position out of range"); },
                     "Stream seek error: position out of range"}),
    [](const ::testing::TestParamInfo<TWordingCase>& info) { return std::string(info.param.Name); });

} // namespace
} // namespace tunelo::test
