// The MPRIS2 service against the window on the null sound device, from a client on its own connection to
// a private session bus: every method and property, and the signals.
#include <QDBusArgument>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QMetaMethod>
#include <QUrl>
#include <QXmlStreamReader>

#include "desktop_test_support.h"
#include "mpris_service.h"

namespace tunelo::test {
namespace {

const QString kService = QStringLiteral("org.mpris.MediaPlayer2.tunelo");
const QString kPath = QStringLiteral("/org/mpris/MediaPlayer2");
const QString kRoot = QStringLiteral("org.mpris.MediaPlayer2");
const QString kPlayer = QStringLiteral("org.mpris.MediaPlayer2.Player");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");

class MprisTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        ASSERT_TRUE(ClientBus().isConnected()) << "the test runs under dbus-run-session";
        MakeWindow();
        Service = std::make_unique<TMprisService>(*Window);
        ASSERT_TRUE(Service->Register());
    }
    void TearDown() override {
        Service.reset();
        WindowTest::TearDown();
    }

    QVariant Get(const QString& interface, const QString& name) {
        const QDBusMessage reply =
            CallAndWait(kService, kPath, kProperties, QStringLiteral("Get"), {interface, name});
        EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
        if (reply.arguments().isEmpty()) {
            return {};
        }
        return reply.arguments().constFirst().value<QDBusVariant>().variant();
    }
    QVariant Player(const char* name) { return Get(kPlayer, QString::fromLatin1(name)); }
    QVariantMap Metadata() {
        const QVariant value = Player("Metadata");
        return qdbus_cast<QVariantMap>(value.value<QDBusArgument>());
    }
    void Set(const char* name, const QVariant& value) {
        const QDBusMessage reply =
            CallAndWait(kService, kPath, kProperties, QStringLiteral("Set"),
                        {kPlayer, QString::fromLatin1(name), QVariant::fromValue(QDBusVariant(value))});
        EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
    }
    void Call(const char* method, const QVariantList& arguments = {}) {
        const QDBusMessage reply =
            CallAndWait(kService, kPath, kPlayer, QString::fromLatin1(method), arguments);
        EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage)
            << method << ": " << reply.errorMessage().toStdString();
    }
    qlonglong PositionUs() { return Player("Position").toLongLong(); }

    // Two files of about ten seconds each, added as the Add button adds them.
    void TwoTracks() {
        First = LongStream("music/first.mp2", 20);
        Second = LongStream("music/second.mp2", 20);
        AddThroughDialog({First, Second});
    }

    std::unique_ptr<TMprisService> Service;
    std::string First;
    std::string Second;
};

TEST_F(MprisTest, TheRootInterfaceNamesThePlayerAndWhatItOpens) {
    EXPECT_EQ(Get(kRoot, QStringLiteral("Identity")).toString(), QStringLiteral("TUNELO"));
    EXPECT_EQ(Get(kRoot, QStringLiteral("DesktopEntry")).toString(), QStringLiteral("org.tunelo.Tunelo"));
    EXPECT_TRUE(Get(kRoot, QStringLiteral("CanQuit")).toBool());
    EXPECT_TRUE(Get(kRoot, QStringLiteral("CanRaise")).toBool());
    EXPECT_FALSE(Get(kRoot, QStringLiteral("HasTrackList")).toBool());
    EXPECT_EQ(Get(kRoot, QStringLiteral("SupportedUriSchemes")).toStringList(),
              QStringList{QStringLiteral("file")});
    const QStringList types = Get(kRoot, QStringLiteral("SupportedMimeTypes")).toStringList();
    for (const char* type : {"audio/mpeg", "audio/x-mp3", "audio/mp3", "audio/x-mpegurl", "audio/mpegurl"}) {
        EXPECT_TRUE(types.contains(QString::fromLatin1(type))) << type;
    }
}

// The player interface's description is written out by hand: it must name every property and method the
// service answers, and tell clients that Position is to be asked for, not waited for.
TEST_F(MprisTest, TheIntrospectionDescribesEveryPlayerMemberAndThatPositionIsAskedFor) {
    const QDBusMessage reply =
        CallAndWait(kService, kPath, QStringLiteral("org.freedesktop.DBus.Introspectable"),
                    QStringLiteral("Introspect"), {});
    ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
    QXmlStreamReader xml(reply.arguments().constFirst().toString());
    QStringList described;
    QString interface;
    QString property;
    bool positionAskedFor = false;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement) {
            continue;
        }
        const QString name = xml.attributes().value(QStringLiteral("name")).toString();
        if (xml.name() == QStringLiteral("interface")) {
            interface = name;
        } else if (interface == kPlayer && xml.name() == QStringLiteral("property")) {
            property = name;
            described.append(name);
        } else if (interface == kPlayer && xml.name() != QStringLiteral("annotation") &&
                   xml.name() != QStringLiteral("arg")) {
            described.append(name);
        } else if (interface == kPlayer && property == QStringLiteral("Position") &&
                   name == QStringLiteral("org.freedesktop.DBus.Property.EmitsChangedSignal")) {
            positionAskedFor = xml.attributes().value(QStringLiteral("value")) == QStringLiteral("false");
        }
    }
    ASSERT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    const QMetaObject& adaptor = TMprisPlayerAdaptor::staticMetaObject;
    for (int i = adaptor.propertyOffset(); i < adaptor.propertyCount(); ++i) {
        EXPECT_TRUE(described.contains(QString::fromLatin1(adaptor.property(i).name())))
            << adaptor.property(i).name();
    }
    for (int i = adaptor.methodOffset(); i < adaptor.methodCount(); ++i) {
        const QMetaMethod method = adaptor.method(i);
        if (method.access() == QMetaMethod::Public) {
            EXPECT_TRUE(described.contains(QString::fromLatin1(method.name()))) << method.name().constData();
        }
    }
    EXPECT_TRUE(positionAskedFor);
}

TEST_F(MprisTest, AnEmptyAlbumOffersNothingToPlayAndNamesNoTrack) {
    EXPECT_EQ(Player("PlaybackStatus").toString(), QStringLiteral("Stopped"));
    for (const char* can : {"CanPlay", "CanPause", "CanGoNext", "CanGoPrevious", "CanSeek"}) {
        EXPECT_FALSE(Player(can).toBool()) << can;
    }
    EXPECT_TRUE(Player("CanControl").toBool());
    for (const char* rate : {"Rate", "MinimumRate", "MaximumRate"}) {
        EXPECT_DOUBLE_EQ(Player(rate).toDouble(), 1.0) << rate;
    }
    EXPECT_EQ(PositionUs(), 0);
    const QVariantMap metadata = Metadata();
    EXPECT_EQ(metadata.value(QStringLiteral("mpris:trackid")).value<QDBusObjectPath>().path(),
              QStringLiteral("/org/mpris/MediaPlayer2/TrackList/NoTrack"));
    EXPECT_FALSE(metadata.contains(QStringLiteral("xesam:url")));
    // Play on an empty album is the play button on an empty album: nothing happens.
    Call("Play");
    EXPECT_EQ(Player("PlaybackStatus").toString(), QStringLiteral("Stopped"));
}

TEST_F(MprisTest, OpenUriAddsTheFilePlaysItAndDescribesIt) {
    const std::string file = LongStream("music/Song Title.mp2", 8);
    TSignalRecorder changes(kService, kPath, kProperties, QStringLiteral("PropertiesChanged"));
    Call("OpenUri", {QUrl::fromLocalFile(QString::fromStdString(file)).toString()});

    EXPECT_EQ(AlbumFiles(), std::vector<std::string>{file});
    EXPECT_EQ(PlayingFile(), file);
    EXPECT_EQ(Player("PlaybackStatus").toString(), QStringLiteral("Playing"));
    for (const char* can : {"CanPlay", "CanPause", "CanGoNext", "CanGoPrevious", "CanSeek"}) {
        EXPECT_TRUE(Player(can).toBool()) << can;
    }
    const QVariantMap metadata = Metadata();
    EXPECT_EQ(metadata.value(QStringLiteral("mpris:trackid")).value<QDBusObjectPath>().path(),
              QStringLiteral("/org/tunelo/Tunelo/Track/0"));
    // Without tags the title is the file's name, as the grid shows it.
    EXPECT_EQ(metadata.value(QStringLiteral("xesam:title")).toString(), QStringLiteral("Song Title.mp2"));
    EXPECT_EQ(metadata.value(QStringLiteral("xesam:url")).toString(),
              QUrl::fromLocalFile(QString::fromStdString(file)).toString(QUrl::FullyEncoded));
    EXPECT_EQ(metadata.value(QStringLiteral("mpris:length")).toLongLong(),
              static_cast<qlonglong>(Window->MP3Player1->Duration()) * 1000);
    EXPECT_NEAR(metadata.value(QStringLiteral("mpris:length")).toLongLong(), 4'000'000, 200'000);

    ASSERT_TRUE(ToldOf(changes, "PlaybackStatus", QStringLiteral("Playing")))
        << "PropertiesChanged told of the playing track";
    EXPECT_EQ(changes.Messages.front().arguments().at(0).toString(), kPlayer);

    // Something that is not a local file is not opened.
    Call("OpenUri", {QStringLiteral("http://example.invalid/a.mp3")});
    EXPECT_EQ(AlbumFiles().size(), 1u);
}

// An ID3v2.3 tag holding one front cover (APIC) of the given bytes.
std::string CoverTag(const std::string& png) {
    std::string frame = std::string("\0image/png\0", 11) + '\x03' + std::string("\0", 1) + png;
    const auto be32 = [](size_t n) {
        return std::string{static_cast<char>(n >> 24), static_cast<char>(n >> 16), static_cast<char>(n >> 8),
                           static_cast<char>(n)};
    };
    frame = "APIC" + be32(frame.size()) + std::string(2, '\0') + frame;
    const size_t size = frame.size();
    const std::string synchsafe{static_cast<char>((size >> 21) & 0x7F),
                                static_cast<char>((size >> 14) & 0x7F), static_cast<char>((size >> 7) & 0x7F),
                                static_cast<char>(size & 0x7F)};
    return std::string("ID3\x03\0\0", 6) + synchsafe + frame;
}

TEST_F(MprisTest, ThePlayingTracksCoverIsOfferedAsAFileWithItsBytes) {
    const std::string png = std::string("\x89PNG\r\n\x1a\n", 8) + std::string(300, '\x5A');
    const std::string plain = LongStream("music/plain.mp2", 4);
    const std::string covered = (FFolder / "music/covered.mp2").string();
    WriteFile(covered, CoverTag(png) + ReadFile(plain));

    Call("OpenUri", {QUrl::fromLocalFile(QString::fromStdString(plain)).toString()});
    EXPECT_FALSE(Metadata().contains(QStringLiteral("mpris:artUrl"))) << "no picture, no art";

    Call("OpenUri", {QUrl::fromLocalFile(QString::fromStdString(covered)).toString()});
    ASSERT_EQ(PlayingFile(), covered);
    const QUrl art(Metadata().value(QStringLiteral("mpris:artUrl")).toString());
    ASSERT_TRUE(art.isLocalFile()) << art.toString().toStdString();
    EXPECT_TRUE(art.toLocalFile().endsWith(QStringLiteral(".png")));
    EXPECT_EQ(ReadFile(art.toLocalFile().toStdString()), png);
}

TEST_F(MprisTest, TheTransportMethodsWorkAsTheButtons) {
    TwoTracks();
    struct TStep {
        const char* Method;
        const char* Status;
        const std::string* Playing;
    };
    const std::vector<TStep> steps = {
        {"Play", "Playing", &First},      {"Play", "Playing", &First}, // playing: stays on its track
        {"Pause", "Paused", &First},      {"Pause", "Paused", &First}, // paused: Pause does not resume
        {"PlayPause", "Playing", &First}, {"PlayPause", "Paused", &First}, {"Play", "Playing", &First},
        {"Next", "Playing", &Second},     {"Next", "Playing", &First}, // wraps around, as the button does
        {"Previous", "Playing", &Second}, {"Stop", "Stopped", nullptr},    {"PlayPause", "Playing", &Second},
    };
    for (const TStep& step : steps) {
        Call(step.Method);
        EXPECT_EQ(Player("PlaybackStatus").toString(), QString::fromLatin1(step.Status)) << step.Method;
        if (step.Playing) {
            EXPECT_EQ(PlayingFile(), *step.Playing) << step.Method;
            EXPECT_TRUE(Metadata()
                            .value(QStringLiteral("xesam:url"))
                            .toString()
                            .endsWith(QString::fromStdString(
                                std::filesystem::path(*step.Playing).filename().string())))
                << step.Method;
        }
    }
}

TEST_F(MprisTest, SeekAndSetPositionMoveWithinTheTrackAndTellOfTheJump) {
    TwoTracks();
    Call("Play");
    Call("Pause");
    TSignalRecorder seeked(kService, kPath, kPlayer, QStringLiteral("Seeked"));

    Call("Seek", {qlonglong(3'000'000)});
    EXPECT_NEAR(PositionUs(), 3'000'000, 300'000);
    EXPECT_NEAR(Window->PLAYPOS->value(), 3000, 300) << "the position bar follows";
    ASSERT_TRUE(ProcessEventsUntil([&seeked] { return !seeked.Messages.empty(); }));
    EXPECT_NEAR(seeked.Messages.back().arguments().at(0).toLongLong(), 3'000'000, 300'000);

    Call("Seek", {qlonglong(-10'000'000)});
    EXPECT_LT(PositionUs(), 300'000) << "a seek before the start goes to the start";

    const QDBusObjectPath track = Metadata().value(QStringLiteral("mpris:trackid")).value<QDBusObjectPath>();
    Call("SetPosition", {QVariant::fromValue(track), qlonglong(6'000'000)});
    EXPECT_NEAR(PositionUs(), 6'000'000, 300'000);
    Call("SetPosition", {QVariant::fromValue(QDBusObjectPath(QStringLiteral("/org/tunelo/Tunelo/Track/1"))),
                         qlonglong(1'000'000)});
    EXPECT_NEAR(PositionUs(), 6'000'000, 300'000) << "another track's id is ignored";
    Call("SetPosition", {QVariant::fromValue(track), qlonglong(60'000'000)});
    EXPECT_NEAR(PositionUs(), 6'000'000, 300'000) << "a place past the end is ignored";

    Call("Seek", {qlonglong(60'000'000)});
    EXPECT_EQ(PlayingFile(), Second) << "a seek past the end goes to the next track";
}

TEST_F(MprisTest, VolumeLoopStatusAndShuffleSetTheWindowsControls) {
    TwoTracks();
    TSignalRecorder changes(kService, kPath, kProperties, QStringLiteral("PropertiesChanged"));

    Set("Volume", 0.3);
    EXPECT_EQ(Window->VOL->value(), 70) << "the bar's top is the loudest";
    EXPECT_EQ(Window->MP3Player1->Volume(), 30);
    EXPECT_DOUBLE_EQ(Player("Volume").toDouble(), 0.3);
    Set("Volume", 1.7);
    EXPECT_EQ(Window->MP3Player1->Volume(), 100);
    Set("Volume", -1.0);
    EXPECT_EQ(Window->MP3Player1->Volume(), 0);

    struct TLoop {
        const char* Status;
        QToolButton* TPlatform::*Button;
        bool RepeatOne;
        bool RepeatAll;
    };
    for (const TLoop& loop :
         {TLoop{"Track", &TPlatform::REPONE, true, false}, TLoop{"Playlist", &TPlatform::REPALL, false, true},
          TLoop{"None", &TPlatform::NRM, false, false}}) {
        Set("LoopStatus", QString::fromLatin1(loop.Status));
        EXPECT_TRUE((Window.get()->*loop.Button)->isChecked()) << loop.Status;
        EXPECT_EQ(Window->PlayOrder.RepeatOne(), loop.RepeatOne) << loop.Status;
        EXPECT_EQ(Window->PlayOrder.RepeatAll(), loop.RepeatAll) << loop.Status;
        EXPECT_EQ(Player("LoopStatus").toString(), QString::fromLatin1(loop.Status));
    }
    Set("LoopStatus", QStringLiteral("Sideways"));
    EXPECT_EQ(Player("LoopStatus").toString(), QStringLiteral("None")) << "an unknown status changes nothing";

    for (const bool on : {true, true, false}) {
        Set("Shuffle", on);
        EXPECT_EQ(Window->RAND->isChecked(), on);
        EXPECT_EQ(Window->PlayOrder.Random(), on);
        EXPECT_EQ(Player("Shuffle").toBool(), on);
    }
    Set("Rate", 2.0);
    EXPECT_DOUBLE_EQ(Player("Rate").toDouble(), 1.0) << "the player has one speed";

    // The window's own controls reach clients as well.
    changes.Messages.clear();
    Window->REPALL->click();
    EXPECT_TRUE(ToldOf(changes, "LoopStatus", QStringLiteral("Playlist")));
}

TEST_F(MprisTest, TheWindowsButtonsReachClientsAsPropertiesChanged) {
    TwoTracks();
    TSignalRecorder changes(kService, kPath, kProperties, QStringLiteral("PropertiesChanged"));
    Window->PLAY->click();
    EXPECT_TRUE(ToldOf(changes, "PlaybackStatus", QStringLiteral("Playing")));
    Window->PAUSE->click();
    EXPECT_TRUE(ToldOf(changes, "PlaybackStatus", QStringLiteral("Paused")));
    Window->STOP->click();
    EXPECT_TRUE(ToldOf(changes, "PlaybackStatus", QStringLiteral("Stopped")));
}

TEST_F(MprisTest, RaiseRestoresTheWindowAndQuitClosesIt) {
    Window->show();
    Window->showMinimized();
    ProcessEventsFor(50);
    const QDBusMessage raised = CallAndWait(kService, kPath, kRoot, QStringLiteral("Raise"));
    EXPECT_EQ(raised.type(), QDBusMessage::ReplyMessage);
    EXPECT_TRUE(Window->isVisible());
    EXPECT_FALSE(Window->isMinimized());

    bool closed = false;
    QObject::connect(Window.get(), &TPlatform::FormClosed, [&closed] { closed = true; });
    const QDBusMessage quit = CallAndWait(kService, kPath, kRoot, QStringLiteral("Quit"));
    EXPECT_EQ(quit.type(), QDBusMessage::ReplyMessage);
    EXPECT_TRUE(ProcessEventsUntil([&closed] { return closed; }));
}

TEST_F(MprisTest, ADecodeRunRefusesEveryRequestButRaiseAndQuit) {
    // Long enough that the run is still going while the bus is asked.
    const std::string first = LongStream("long/first.mp2", 600);
    const std::string second = LongStream("long/second.mp2", 4);
    AddThroughDialog({first, second});
    Window->VOL->setValue(20);
    std::filesystem::create_directories(FFolder / "wav");
    FileAnswers.push_back(QString::fromStdString((FFolder / "wav" / "(none)").string()));
    Window->BitBtn1Click();
    ASSERT_TRUE(Window->Decoding);

    Service->Next();
    Service->Stop();
    Service->PlayPause();
    Service->SetVolume(1.0);
    Service->SetShuffle(true);
    Service->OpenUri(QUrl::fromLocalFile(QString::fromStdString(second)).toString());
    EXPECT_TRUE(Window->Decoding);
    EXPECT_EQ(PlayingFile(), first);
    EXPECT_EQ(Window->MP3Player1->Status(), mpsPlaying);
    EXPECT_EQ(Window->VOL->value(), 20);
    EXPECT_FALSE(Window->PlayOrder.Random());
    EXPECT_EQ(Window->Album.MusicCount(), 2);
    for (const char* can : {"CanPlay", "CanPause", "CanGoNext", "CanGoPrevious", "CanSeek"}) {
        EXPECT_FALSE(Player(can).toBool()) << can;
    }
    Window->EndDecodeRun();
}

TEST_F(MprisTest, ASecondServiceCannotTakeTheNameAndTheFirstKeepsAnswering) {
    TMprisService second(*Window);
    EXPECT_FALSE(second.Register());
    EXPECT_EQ(Player("PlaybackStatus").toString(), QStringLiteral("Stopped"));
}

} // namespace
} // namespace tunelo::test
