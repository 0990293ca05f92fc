// The code page and ReplayGain choices of the context menu: what the settings file holds, what a damaged
// one reads as, and that a menu choice is stored and handed on.
#include <QMenu>

#include "listening_options.h"
#include "window_test_support.h"

namespace {

using namespace tunelo;
using tunelo::test::WriteFile;

QAction* FindAction(QMenu& menu, const QString& caption) {
    for (QAction* action : menu.findChildren<QAction*>()) {
        if (action->text() == caption) {
            return action;
        }
    }
    return nullptr;
}

struct TIniCase {
    const char* Text;
    const char* CodePage;
    TMPReplayGainMode Mode;
    int32_t Preamp;
};

} // namespace

TEST(ListeningOptions, SettingsFileValuesAndTheirDefaults) {
    QTemporaryDir folder;
    const std::string ini = (std::filesystem::path(folder.path().toStdString()) / "tunelo.ini").string();
    for (const TIniCase& c :
         {TIniCase{"", "", rgmOff, 0},
          TIniCase{"[Options]\nTagCodePage=CP1251\nReplayGain=album\nReplayGainPreamp=6\n", "CP1251",
                   rgmAlbum, 6},
          TIniCase{"[Options]\nTagCodePage=NO-SUCH\nReplayGain=loud\nReplayGainPreamp=99\n", "", rgmOff, 15},
          TIniCase{"[Options]\nReplayGain=track\nReplayGainPreamp=-40\n", "", rgmTrack, -15}}) {
        SCOPED_TRACE(c.Text);
        WriteFile(ini, c.Text);
        const TListeningSettings settings = ReadListeningSettings(ini);
        EXPECT_EQ(settings.CodePage, c.CodePage);
        EXPECT_EQ(settings.Mode, c.Mode);
        EXPECT_EQ(settings.PreampDb, c.Preamp);
    }
    WriteListeningSettings(ini, TListeningSettings{"SHIFT_JIS", rgmTrack, -3});
    const TListeningSettings back = ReadListeningSettings(ini);
    EXPECT_EQ(back.CodePage, "SHIFT_JIS");
    EXPECT_EQ(back.Mode, rgmTrack);
    EXPECT_EQ(back.PreampDb, -3);
}

TEST(ListeningOptions, MenuChoicesAreStoredAndApplied) {
    QTemporaryDir folder;
    const std::string ini = (std::filesystem::path(folder.path().toStdString()) / "tunelo.ini").string();
    QMenu menu;
    std::vector<TListeningSettings> applied;
    AddListeningMenu(menu, ini, [&](const TListeningSettings& settings) { applied.push_back(settings); });
    QAction* cyrillic = FindAction(menu, QStringLiteral("Windows-1251 (Cyrillic)"));
    QAction* album = FindAction(menu, QStringLiteral("Album"));
    QAction* preamp = FindAction(menu, QStringLiteral("Pre-amp +6 dB"));
    ASSERT_TRUE(cyrillic && album && preamp);
    EXPECT_TRUE(FindAction(menu, QStringLiteral("Off"))->isChecked()) << "off by default";
    cyrillic->trigger();
    album->trigger();
    preamp->trigger();
    ASSERT_EQ(applied.size(), 3u);
    EXPECT_EQ(applied.back().CodePage, "CP1251");
    EXPECT_EQ(applied.back().Mode, rgmAlbum);
    EXPECT_EQ(applied.back().PreampDb, 6);
    const TListeningSettings stored = ReadListeningSettings(ini);
    EXPECT_EQ(stored.CodePage, "CP1251");
    EXPECT_EQ(stored.Mode, rgmAlbum);
    EXPECT_EQ(stored.PreampDb, 6);

    TMP3Player player;
    ApplyListeningSettings(stored, player);
    EXPECT_EQ(player.LegacyCodePage(), "CP1251");
    EXPECT_EQ(player.ReplayGainMode(), rgmAlbum);
    EXPECT_EQ(player.ReplayGainPreamp(), 6);
}
