#include "FileNameKeeper.h"

#include <QMenu>
#include <QTemporaryDir>

#include <memory>

#include "MPIniFile.h"
#include "qt_environment.h"

namespace tunelo {
namespace {

class FileNameKeepTest : public ::testing::Test {
protected:
    std::string IniPath() const { return FFolder.filePath("TUNELO.ini").toStdString(); }
    std::unique_ptr<TFileNameKeep> Attached() {
        auto keep = std::make_unique<TFileNameKeep>();
        keep->SetIniFileName(IniPath());
        keep->SetParentMenu(&FMenu);
        return keep;
    }
    static QString Album(int n) { return QStringLiteral("/music/album%1.m3u").arg(n); }
    QStringList Captions() const {
        QStringList captions;
        for (const QAction* action : FMenu.actions()) {
            captions.append(action->text());
        }
        return captions;
    }

    QTemporaryDir FFolder;
    QMenu FMenu{QStringLiteral("History album (&H)")};
};

TEST_F(FileNameKeepTest, SeventeenNamesKeepTheSixteenNewest) {
    auto keep = Attached();
    for (int n = 1; n <= 17; ++n) {
        keep->Add(Album(n));
    }
    ASSERT_EQ(keep->Items().size(), 16u);
    EXPECT_EQ(FMenu.actions().size(), 16);
    EXPECT_EQ(keep->Name(1), Album(17));
    EXPECT_EQ(keep->Name(16), Album(2));
    EXPECT_FALSE(keep->Names().contains(Album(1)));
    EXPECT_EQ(Captions().first(), "&1 " + Album(17));
    EXPECT_EQ(Captions()[9], "&a " + Album(8)) << "the tenth item is numbered in lower-case hexadecimal";
    EXPECT_EQ(Captions()[14], "&f " + Album(3));
    EXPECT_EQ(Captions().last(), "&10 " + Album(2));
}

TEST_F(FileNameKeepTest, ANameAddedAgainMovesToTheTopWithoutANewItem) {
    auto keep = Attached();
    for (int n = 1; n <= 4; ++n) {
        keep->Add(Album(n));
    }
    keep->Add(Album(2));
    EXPECT_EQ(keep->Items().size(), 4u);
    EXPECT_EQ(keep->Names(), (QStringList{Album(2), Album(4), Album(3), Album(1)}));
    EXPECT_EQ(Captions(),
              (QStringList{"&1 " + Album(2), "&2 " + Album(4), "&3 " + Album(3), "&4 " + Album(1)}));

    // Letter case counts: this is another name.
    keep->Add("/MUSIC/album2.m3u");
    EXPECT_EQ(keep->Items().size(), 5u);
    EXPECT_EQ(keep->Name(2), Album(2));
}

TEST_F(FileNameKeepTest, ThePlaceholderItemIsEnabledExactlyWhenItHasItems) {
    auto keep = Attached();
    EXPECT_FALSE(FMenu.menuAction()->isEnabled());
    keep->Add("");
    EXPECT_FALSE(FMenu.menuAction()->isEnabled()) << "an empty name is not kept";
    keep->Add(Album(1));
    EXPECT_TRUE(FMenu.menuAction()->isEnabled());

    TFileNameKeep detached;
    detached.Add(Album(1));
    EXPECT_TRUE(detached.Names().isEmpty()) << "without a menu nothing is kept";
}

TEST_F(FileNameKeepTest, ChoosingAnItemReportsItsNameAsKept) {
    auto keep = Attached();
    QStringList chosen;
    keep->OnSelect = [&](const QString& name) { chosen.append(name); };
    for (int n = 1; n <= 10; ++n) {
        keep->Add(Album(n));
    }
    keep->Add("/music/Rock & Roll.m3u");
    keep->Add("  leading blanks.m3u");
    EXPECT_EQ(Captions()[1], "&2 /music/Rock && Roll.m3u") << "an ampersand of the name shows as itself";

    keep->Items()[10]->trigger(); // item 11, caption "&b /music/album2.m3u"
    keep->Items()[1]->trigger();
    keep->Items()[0]->trigger();
    EXPECT_EQ(chosen, (QStringList{Album(2), "/music/Rock & Roll.m3u", "  leading blanks.m3u"}));
}

TEST_F(FileNameKeepTest, NamesGoToTheSettingsFileAndComeBackInOrder) {
    {
        auto keep = Attached();
        for (int n = 1; n <= 3; ++n) {
            keep->Add(Album(n));
        }
    }
    const TMPIniFile ini(IniPath());
    EXPECT_EQ(ini.ReadSection("KeepFileNames").size(), 16u) << "all sixteen keys, empty ones included";
    EXPECT_EQ(ini.ReadString("KeepFileNames", "FileName1", ""), Album(3).toStdString());
    EXPECT_EQ(ini.ReadString("KeepFileNames", "FileName3", ""), Album(1).toStdString());
    EXPECT_EQ(ini.ReadString("KeepFileNames", "FileName4", "x"), "");

    auto again = Attached();
    EXPECT_EQ(again->Names(), (QStringList{Album(3), Album(2), Album(1)}));
    EXPECT_TRUE(FMenu.menuAction()->isEnabled());
}

TEST_F(FileNameKeepTest, ClearHistoryEmptiesTheMenuAndTheSectionUntilTheEnd) {
    auto keep = Attached();
    keep->Add(Album(1));
    keep->Add(Album(2));
    keep->Save();
    TMPIniFile ini(IniPath());

    // As the album menu's "Clear history" does it: erase the section, then clear the menu.
    ASSERT_TRUE(ini.EraseSection("KeepFileNames"));
    keep->ClearAll();
    EXPECT_TRUE(keep->Names().isEmpty());
    EXPECT_TRUE(FMenu.actions().isEmpty());
    EXPECT_FALSE(FMenu.menuAction()->isEnabled());
    EXPECT_FALSE(ini.SectionExists("KeepFileNames"));

    keep.reset();
    EXPECT_EQ(ini.ReadSection("KeepFileNames").size(), 16u);
    EXPECT_EQ(ini.ReadString("KeepFileNames", "FileName1", "x"), "");
}

TEST_F(FileNameKeepTest, ClearAllReloadsWhatTheFileStillHolds) {
    TMPIniFile ini(IniPath());
    ini.WriteString("KeepFileNames", "FileName1", "/a.m3u");
    ini.WriteString("KeepFileNames", "FileName2", "/b.m3u");
    auto keep = Attached();
    keep->Add("/c.m3u");
    keep->ClearAll();
    EXPECT_EQ(keep->Names(), (QStringList{"/a.m3u", "/b.m3u"}));
    EXPECT_EQ(FMenu.actions().size(), 2);
}

} // namespace
} // namespace tunelo
