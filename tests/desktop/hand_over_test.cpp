// The command line and the hand-over to a running copy: parsing, folders walked in natural order, the
// window carrying a line out, and the real program started a second time (over the bus and, without one,
// over the socket), started without a bus at all, and answering MPRIS from its own process.
#include <QDBusConnectionInterface>
#include <QDBusVariant>
#include <QProcess>
#include <QUrl>

#include "album_opener.h"
#include "command_line.h"
#include "desktop_test_support.h"
#include "instance_channel.h"
#include "instance_lock.h"

namespace tunelo::test {
namespace {

// ---- Parsing ----

struct TParseCase {
    const char* Name;
    std::vector<const char*> Arguments;
    QStringList Paths;
    bool Enqueue;
    QStringList Controls;
    bool Help;
    bool Version;
    bool Error;
};

class CommandLineParseTest : public ::testing::TestWithParam<TParseCase> {};

TEST_P(CommandLineParseTest, Parses) {
    const TParseCase& c = GetParam();
    QStringList arguments{QStringLiteral("tunelo")};
    for (const char* argument : c.Arguments) {
        arguments.append(QString::fromUtf8(argument));
    }
    const TCommandLine line = ParseCommandLine(arguments);
    EXPECT_EQ(line.Paths, c.Paths);
    EXPECT_EQ(line.Enqueue, c.Enqueue);
    EXPECT_EQ(line.Controls, c.Controls);
    EXPECT_EQ(line.Help, c.Help);
    EXPECT_EQ(line.Version, c.Version);
    EXPECT_EQ(!line.Ok(), c.Error) << line.Error.toStdString();
    if (c.Error) {
        EXPECT_TRUE(line.Error.contains(QString::fromUtf8(c.Arguments.back())))
            << "the message names the option";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Lines, CommandLineParseTest,
    ::testing::Values(
        TParseCase{"Nothing", {}, {}, false, {}, false, false, false},
        TParseCase{"Files",
                   {"a.mp3", "b c.mp3", "album.m3u"},
                   {"a.mp3", "b c.mp3", "album.m3u"},
                   false,
                   {},
                   false,
                   false,
                   false},
        TParseCase{"Enqueue", {"--enqueue", "a.mp3"}, {"a.mp3"}, true, {}, false, false, false},
        TParseCase{"ShortEnqueue", {"a.mp3", "-e"}, {"a.mp3"}, true, {}, false, false, false},
        TParseCase{"Controls",
                   {"--play", "--pause", "--play-pause", "--stop", "--next", "--previous", "--quit"},
                   {},
                   false,
                   {"play", "pause", "play-pause", "stop", "next", "previous", "quit"},
                   false,
                   false,
                   false},
        TParseCase{"Help", {"--help"}, {}, false, {}, true, false, false},
        TParseCase{"Version", {"-v"}, {}, false, {}, false, true, false},
        TParseCase{
            "DashDashEndsOptions", {"--", "--next", "-e"}, {"--next", "-e"}, false, {}, false, false, false},
        TParseCase{"UnknownOption", {"a.mp3", "--shuffle"}, {"a.mp3"}, false, {}, false, false, true},
        TParseCase{"ControlNeedsTwoDashes", {"-next"}, {}, false, {}, false, false, true}),
    [](const ::testing::TestParamInfo<TParseCase>& info) { return std::string(info.param.Name); });

TEST(CommandLineHelpTest, NamesEveryOption) {
    const QString help = CommandLineHelp();
    for (const char* option : {"--enqueue", "--play", "--pause", "--play-pause", "--stop", "--next",
                               "--previous", "--quit", "--help", "--version"}) {
        EXPECT_TRUE(help.contains(QString::fromLatin1(option))) << option;
    }
}

// ---- Carrying a line out in the window ----

class CommandLineWindowTest : public WindowTest {};

struct TNaturalCase {
    const char* Before;
    const char* After;
};

class NaturalOrderTest : public ::testing::TestWithParam<TNaturalCase> {};

TEST_P(NaturalOrderTest, SortsBefore) {
    const QString before = QString::fromUtf8(GetParam().Before);
    const QString after = QString::fromUtf8(GetParam().After);
    EXPECT_LT(NaturalCompare(before, after), 0);
    EXPECT_GT(NaturalCompare(after, before), 0);
    EXPECT_EQ(NaturalCompare(before, before), 0);
}

INSTANTIATE_TEST_SUITE_P(Names, NaturalOrderTest,
                         ::testing::Values(TNaturalCase{"2.mp3", "10.mp3"},
                                           TNaturalCase{"track 9", "track 10"},
                                           TNaturalCase{"a.mp3", "B.mp3"}, TNaturalCase{"cd 2/x", "cd 10/a"},
                                           TNaturalCase{"07 x", "8 x"}, TNaturalCase{"01", "1"},
                                           TNaturalCase{"song", "song 1"},
                                           TNaturalCase{"99999999999999999999", "100000000000000000000"},
                                           TNaturalCase{"Abc", "abc"}));

TEST_F(CommandLineWindowTest, AFolderGivesItsMpegAndAlbumFilesRecursivelyInNaturalOrder) {
    for (const char* name : {"music/10 ten.mp3", "music/2 two.MP3", "music/cd 1/1.mp2", "music/notes.txt",
                             "music/b.m3u", "music/cd 10/x.mp3", "music/cd 9/y.mp3"}) {
        WriteFile(FFolder / name, "x");
    }
    const QString base = QString::fromStdString(FFolder.string());
    const QStringList files =
        ExpandAlbumArguments({QStringLiteral("music"), QStringLiteral("single.mp3")}, base);
    const QStringList expected = {base + "/music/2 two.MP3",  base + "/music/10 ten.mp3",
                                  base + "/music/b.m3u",      base + "/music/cd 1/1.mp2",
                                  base + "/music/cd 9/y.mp3", base + "/music/cd 10/x.mp3",
                                  base + "/single.mp3"};
    EXPECT_EQ(files, expected);
}

TEST_F(CommandLineWindowTest, FilesAndAlbumsGoInAndTheFirstPlays) {
    MakeWindow();
    const std::string old = LongStream("old.mp2", 4);
    AddThroughDialog({old});
    Window->PLAYClick();
    const std::string a = LongStream("in/a.mp2", 4);
    const std::string b = LongStream("in/b.mp2", 4);
    WriteFile(FFolder / "in/list.m3u", "b.mp2\r\na.mp2\r\n");

    TCommandLine line = ParseCommandLine({QStringLiteral("tunelo"), QStringLiteral("in/a.mp2"),
                                          QStringLiteral("in/list.m3u"), QStringLiteral("in/missing.mp3")});
    RunCommandLine(*Window, line, QString::fromStdString(FFolder.string()));
    EXPECT_EQ(AlbumFiles(), (std::vector<std::string>{old, a, b, a}));
    EXPECT_EQ(PlayingFile(), a) << "the first file given plays, whatever played before";
    EXPECT_EQ(Window->MP3Player1->Status(), mpsPlaying);
    EXPECT_EQ(Window->PlayOrder.CurrentEntry(), 1);
    ASSERT_EQ(ErrorBoxes().size(), 1u);
    EXPECT_TRUE(ErrorBoxes().front().contains(QStringLiteral("missing.mp3")));
    EXPECT_EQ(Window->FileNameKeep1->Names().front(),
              QString::fromStdString((FFolder / "in/list.m3u").string()))
        << "an album file given joins the history as Open Album's does";
}

TEST_F(CommandLineWindowTest, APlsPlaylistGivesItsLocalFilesInNumberOrder) {
    MakeWindow();
    const std::string a = LongStream("pls/a.mp2", 2);
    const std::string b = LongStream("pls/sub/b.mp2", 2);
    WriteFile(FFolder / "pls/list.pls",
              "[playlist]\nFile2=sub/b.mp2\nTitle2=B\nFile3=http://radio.invalid/stream\nFile1=" +
                  QUrl::fromLocalFile(QString::fromStdString(a)).toString().toStdString() +
                  "\nNumberOfEntries=3\nVersion=2\n");
    RunCommandLine(*Window, ParseCommandLine({"tunelo", "pls/list.pls"}),
                   QString::fromStdString(FFolder.string()));
    EXPECT_EQ(AlbumFiles(), (std::vector<std::string>{a, b}));
    EXPECT_EQ(PlayingFile(), a);
    EXPECT_TRUE(ErrorBoxes().empty());
}

TEST_F(CommandLineWindowTest, EnqueueAddsWithoutPlayingAndControlsWorkTheTransport) {
    MakeWindow();
    const std::string a = LongStream("a.mp2", 4);
    const std::string b = LongStream("b.mp2", 4);
    const QString folder = QString::fromStdString(FFolder.string());
    RunCommandLine(*Window, ParseCommandLine({"tunelo", "--enqueue", "a.mp2", "b.mp2"}), folder);
    EXPECT_EQ(AlbumFiles(), (std::vector<std::string>{a, b}));
    EXPECT_EQ(Window->MP3Player1->Status(), mpsStopped);

    struct TStep {
        const char* Option;
        TMP3PlayerStatus Status;
        const std::string* Playing;
    };
    for (const TStep& step : {TStep{"--play", mpsPlaying, &a}, TStep{"--pause", mpsPaused, &a},
                              TStep{"--pause", mpsPaused, &a}, TStep{"--play-pause", mpsPlaying, &a},
                              TStep{"--next", mpsPlaying, &b}, TStep{"--previous", mpsPlaying, &a},
                              TStep{"--stop", mpsStopped, nullptr}, TStep{"--play", mpsPlaying, &a}}) {
        RunCommandLine(*Window, ParseCommandLine({"tunelo", step.Option}), folder);
        EXPECT_EQ(Window->MP3Player1->Status(), step.Status) << step.Option;
        if (step.Playing) {
            EXPECT_EQ(PlayingFile(), *step.Playing) << step.Option;
        }
    }
    bool closed = false;
    QObject::connect(Window.get(), &TPlatform::FormClosed, [&closed] { closed = true; });
    CarryOutHandedOver(*Window, {"tunelo", "--quit"}, folder);
    EXPECT_TRUE(closed);
}

TEST_F(CommandLineWindowTest, ADecodeRunOnlyEnqueuesAndObeysOnlyQuit) {
    MakeWindow();
    const std::string first = LongStream("first.mp2", 600);
    const std::string later = LongStream("later.mp2", 4);
    AddThroughDialog({first});
    std::filesystem::create_directories(FFolder / "wav");
    FileAnswers.push_back(QString::fromStdString((FFolder / "wav" / "(none)").string()));
    Window->BitBtn1Click();
    ASSERT_TRUE(Window->Decoding);

    const QString folder = QString::fromStdString(FFolder.string());
    RunCommandLine(*Window, ParseCommandLine({"tunelo", "later.mp2", "--next", "--stop"}), folder);
    EXPECT_EQ(AlbumFiles(), (std::vector<std::string>{first, later}));
    EXPECT_TRUE(Window->Decoding);
    EXPECT_EQ(PlayingFile(), first);

    bool closed = false;
    QObject::connect(Window.get(), &TPlatform::FormClosed, [&closed] { closed = true; });
    RunCommandLine(*Window, ParseCommandLine({"tunelo", "--quit"}), folder);
    EXPECT_TRUE(closed);
}

// ---- The real program, started a second time ----

// The lock, the socket and the settings of a "running copy" in folders of the test's own.
class HandOverTest : public WindowTest, public ::testing::WithParamInterface<bool> {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        Runtime = FFolder / "runtime";
        Config = FFolder / "config";
        std::filesystem::create_directories(Runtime);
        std::filesystem::permissions(Runtime, std::filesystem::perms::owner_all);
        FSavedRuntime = qgetenv("XDG_RUNTIME_DIR");
        qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(Runtime.string()));
    }
    void TearDown() override {
        WindowTest::TearDown();
        qputenv("XDG_RUNTIME_DIR", FSavedRuntime);
    }

    // The program's environment: the test's folders, no sound card, no display; bus or none.
    QProcessEnvironment ProgramEnvironment(bool withBus) const {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), QString::fromStdString(Runtime.string()));
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), QString::fromStdString(Config.string()));
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.insert(QStringLiteral("TUNELO_AUDIO"), QStringLiteral("null"));
        if (!withBus) {
            environment.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
            environment.remove(QStringLiteral("DISPLAY"));
        }
        return environment;
    }

    // Starts the program in the test's folder.
    void StartProgram(QProcess& program, const QStringList& arguments, bool withBus) const {
        program.setProcessEnvironment(ProgramEnvironment(withBus));
        program.setWorkingDirectory(QString::fromStdString(FFolder.string()));
        program.start(QStringLiteral(TUNELO_PROGRAM), arguments);
    }

    // Starts the program and runs the window's event loop until it ends; its exit code (-1: it did not end).
    int RunProgram(const QStringList& arguments, bool withBus, QString* output = nullptr) {
        QProcess program;
        StartProgram(program, arguments, withBus);
        const bool ended =
            ProcessEventsUntil([&program] { return program.state() == QProcess::NotRunning; }, 30000);
        if (output) {
            *output =
                QString::fromLocal8Bit(program.readAllStandardOutput() + program.readAllStandardError());
        }
        if (!ended) {
            program.kill();
            program.waitForFinished();
            return -1;
        }
        return program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -1;
    }

    std::filesystem::path Runtime;
    std::filesystem::path Config;
    QByteArray FSavedRuntime;
};

TEST_P(HandOverTest, ASecondStartHandsItsFilesToTheRunningCopyAndExitsZero) {
    const bool overBus = GetParam();
    MakeWindow();
    TMPInstanceLock lock;
    ASSERT_TRUE(lock.Held()) << lock.FileName();
    TInstanceServer server;
    ASSERT_TRUE(server.Listen());
    EXPECT_TRUE(server.OnBus());
    EXPECT_TRUE(server.OnSocket());
    QObject::connect(&server, &TInstanceServer::ArgumentsReceived, Window.get(),
                     [this](const QStringList& arguments, const QString& folder) {
                         CarryOutHandedOver(*Window, arguments, folder);
                     });

    const std::string a = LongStream("a.mp2", 4);
    const std::string b = LongStream("b.mp2", 4);
    QString output;
    EXPECT_EQ(RunProgram({QStringLiteral("a.mp2"), QStringLiteral("b.mp2")}, overBus, &output), 0)
        << output.toStdString();
    ASSERT_TRUE(ProcessEventsUntil([this] { return Window->Album.MusicCount() == 2; }))
        << output.toStdString();
    EXPECT_EQ(AlbumFiles(), (std::vector<std::string>{a, b}))
        << "relative names are taken in the caller's folder";
    EXPECT_EQ(PlayingFile(), a);
    EXPECT_EQ(Window->MP3Player1->Status(), mpsPlaying);

    // Without arguments a second start only raises the window.
    Window->show();
    Window->showMinimized();
    ProcessEventsFor(50);
    EXPECT_EQ(RunProgram({}, overBus), 0);
    EXPECT_TRUE(ProcessEventsUntil([this] { return Window->isVisible() && !Window->isMinimized(); }));
    EXPECT_EQ(Window->Album.MusicCount(), 2);

    // A line the second start does not understand is refused there and never reaches the running copy.
    EXPECT_EQ(RunProgram({QStringLiteral("--shuffle"), QStringLiteral("a.mp2")}, overBus, &output), 2);
    EXPECT_TRUE(output.contains(QStringLiteral("--shuffle")));
    ProcessEventsFor(200);
    EXPECT_EQ(Window->Album.MusicCount(), 2);

    EXPECT_EQ(RunProgram({QStringLiteral("--next")}, overBus), 0);
    EXPECT_TRUE(ProcessEventsUntil([&] { return PlayingFile() == b; }));
}

INSTANTIATE_TEST_SUITE_P(Channels, HandOverTest, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return std::string(info.param ? "OverTheBus" : "OverTheSocket");
                         });

class ProgramTest : public HandOverTest {};

TEST_F(ProgramTest, WithoutABusTheProgramRunsQuitsOnRequestAndKeepsItsSession) {
    const std::string song = LongStream("song.mp2", 40);
    QProcess first;
    StartProgram(first, {QStringLiteral("song.mp2")}, false);
    ASSERT_TRUE(first.waitForStarted());
    const std::filesystem::path socket = Runtime / "TUNELO.socket";
    ASSERT_TRUE(ProcessEventsUntil([&socket] { return std::filesystem::exists(socket); }, 20000))
        << first.readAllStandardError().toStdString();

    EXPECT_EQ(RunProgram({QStringLiteral("--quit")}, false), 0);
    ASSERT_TRUE(first.waitForFinished(20000));
    EXPECT_EQ(first.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(first.exitCode(), 0) << first.readAllStandardError().toStdString();

    const std::string ini = (Config / "tunelo" / "tunelo.ini").string();
    EXPECT_EQ(TMPIniFile(ini).ReadString("Session", "Entry1", ""), song);
    EXPECT_EQ(TMPIniFile(ini).ReadString("Session", "Track", ""), song);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(TUNELO_PROGRAM).replace_extension(".ini")))
        << "no settings file beside the program";
}

TEST_F(ProgramTest, TheProgramAnswersMprisFromItsOwnProcess) {
    const std::string song = LongStream("song.mp2", 40);
    QProcess program;
    StartProgram(program, {QStringLiteral("song.mp2")}, true);
    ASSERT_TRUE(program.waitForStarted());
    const QString service = QStringLiteral("org.mpris.MediaPlayer2.tunelo");
    ASSERT_TRUE(ProcessEventsUntil(
        [&service] { return ClientBus().interface()->isServiceRegistered(service).value(); }, 20000));

    EXPECT_TRUE(ProcessEventsUntil(
        [&] { return MprisPlayerProperty("PlaybackStatus").toString() == QStringLiteral("Playing"); }));
    const QVariantMap metadata =
        qdbus_cast<QVariantMap>(MprisPlayerProperty("Metadata").value<QDBusArgument>());
    EXPECT_EQ(metadata.value(QStringLiteral("xesam:url")).toString(),
              QUrl::fromLocalFile(QString::fromStdString(song)).toString(QUrl::FullyEncoded));
    EXPECT_GT(MprisPlayerProperty("Position").toLongLong(), 0);

    const QDBusMessage quit = CallAndWait(service, QStringLiteral("/org/mpris/MediaPlayer2"),
                                          QStringLiteral("org.mpris.MediaPlayer2"), QStringLiteral("Quit"));
    EXPECT_EQ(quit.type(), QDBusMessage::ReplyMessage);
    ASSERT_TRUE(program.waitForFinished(20000));
    EXPECT_EQ(program.exitCode(), 0);
}

TEST_F(ProgramTest, HelpAndVersionPrintAndExitWithoutADisplay) {
    QString output;
    EXPECT_EQ(RunProgram({QStringLiteral("--version")}, false, &output), 0);
    EXPECT_EQ(output, QStringLiteral("TUNELO Version 0.02\n"));
    EXPECT_EQ(RunProgram({QStringLiteral("--help")}, false, &output), 0);
    EXPECT_TRUE(output.startsWith(QStringLiteral("Usage: tunelo")));
}

} // namespace
} // namespace tunelo::test
