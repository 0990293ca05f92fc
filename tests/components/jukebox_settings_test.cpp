#include "JukeboxSettings.h"

#include <QTemporaryDir>

#include <filesystem>

#include "MPIniFile.h"
#include "qt_environment.h"

namespace tunelo {
namespace {

class JukeboxSettingsTest : public ::testing::Test {
protected:
    std::string IniPath() const { return FFolder.filePath("TUNELO.ini").toStdString(); }
    QTemporaryDir FFolder;
};

TEST_F(JukeboxSettingsTest, WithoutAFileTheWindowKeepsItsPlaceAndTheEqualizerShowsFlat) {
    const TJukeboxSettings settings(IniPath());
    const TJukeboxWindowSettings window = settings.ReadWindow();
    EXPECT_FALSE(window.Left.has_value());
    EXPECT_FALSE(window.Top.has_value());
    EXPECT_TRUE(window.ShowEQFlag);
    for (const int32_t band : window.Bands) {
        EXPECT_EQ(band, 0);
    }
    EXPECT_EQ(settings.LastAlbumPath(), "");
    EXPECT_EQ(settings.LastAddPath(), "");
    EXPECT_FALSE(std::filesystem::exists(IniPath()));
}

TEST_F(JukeboxSettingsTest, StoredValuesAreBoundedAndNegativeEdgesIgnored) {
    TMPIniFile ini(IniPath());
    ini.WriteInteger("Position", "Left", -5);
    ini.WriteInteger("Position", "Top", 0);
    ini.WriteBool("Setup", "ShowEQFlag", false);
    ini.WriteInteger("Setup", "EQ05", 250);
    ini.WriteInteger("Setup", "EQ06", -300);
    ini.WriteInteger("Setup", "EQ07", -100);
    ini.WriteString("Setup", "EQ08", "loud");
    ini.WriteInteger("Setup", "EQ31", 42);

    std::array<int32_t, 32> current{};
    current[8] = 33;
    current[9] = -12;
    const TJukeboxWindowSettings window = TJukeboxSettings(IniPath()).ReadWindow(current);
    EXPECT_FALSE(window.Left.has_value()) << "-5 is not an edge to apply";
    ASSERT_TRUE(window.Top.has_value());
    EXPECT_EQ(*window.Top, 0);
    EXPECT_FALSE(window.ShowEQFlag);
    EXPECT_EQ(window.Bands[5], 100);
    EXPECT_EQ(window.Bands[6], -100);
    EXPECT_EQ(window.Bands[7], -100);
    EXPECT_EQ(window.Bands[8], 33) << "an unreadable value leaves the bar where it is";
    EXPECT_EQ(window.Bands[9], -12) << "a missing value leaves the bar where it is";
    EXPECT_EQ(window.Bands[31], 42);
}

TEST_F(JukeboxSettingsTest, WrittenSettingsReadBackUnderTheirKeys) {
    TJukeboxWindowSettings written;
    written.Left = 12;
    written.Top = 34;
    written.ShowEQFlag = false;
    for (int32_t band = 0; band < 32; ++band) {
        written.Bands[static_cast<size_t>(band)] = band * 6 - 93;
    }
    const TJukeboxSettings settings(IniPath());
    settings.WriteWindow(written);
    settings.SetLastAlbumPath("/home/u/albums");
    settings.SetLastAddPath("/");

    const TMPIniFile ini(IniPath());
    EXPECT_EQ(ini.ReadInteger("Position", "Left", -1), 12);
    EXPECT_EQ(ini.ReadString("Setup", "ShowEQFlag", ""), "0");
    EXPECT_EQ(ini.ReadInteger("Setup", "EQ00", 0), -93);
    EXPECT_EQ(ini.ReadInteger("Setup", "EQ31", 0), 93);
    EXPECT_EQ(ini.ReadSection("Setup").size(), 33u);

    const TJukeboxWindowSettings read = settings.ReadWindow();
    EXPECT_EQ(read.Left, written.Left);
    EXPECT_EQ(read.Top, written.Top);
    EXPECT_EQ(read.ShowEQFlag, written.ShowEQFlag);
    EXPECT_EQ(read.Bands, written.Bands);
    EXPECT_EQ(settings.LastAlbumPath(), "/home/u/albums");
    EXPECT_EQ(settings.LastAddPath(), "/");
}

TEST(JukeboxSettingsNamesTest, BandKeysAndFolders) {
    EXPECT_EQ(TJukeboxSettings::BandKey(0), "EQ00");
    EXPECT_EQ(TJukeboxSettings::BandKey(5), "EQ05");
    EXPECT_EQ(TJukeboxSettings::BandKey(31), "EQ31");
    EXPECT_EQ(TJukeboxSettings::FolderOf("/home/u/albums/best.m3u"), "/home/u/albums");
    EXPECT_EQ(TJukeboxSettings::FolderOf("/best.m3u"), "/");
    EXPECT_EQ(TJukeboxSettings::FolderOf("/home/u//best.m3u"), "/home/u");
    EXPECT_EQ(TJukeboxSettings::FolderOf("best.m3u"), "");
}

} // namespace
} // namespace tunelo
