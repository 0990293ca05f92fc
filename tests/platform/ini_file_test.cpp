#include "ini_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace tunelo {
namespace {

namespace fs = std::filesystem;

class IniFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "tunelo-ini-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        FFolder = pattern;
        FPath = (FFolder / "TUNELO.ini").string();
    }
    void TearDown() override { fs::remove_all(FFolder); }

    void Put(const std::string& text) const {
        std::ofstream out(FPath, std::ios::binary | std::ios::trunc);
        out << text;
    }
    std::string Contents() const {
        std::ifstream in(FPath, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    std::vector<std::string> FolderEntries() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(FFolder)) {
            names.push_back(entry.path().filename().string());
        }
        return names;
    }

    fs::path FFolder;
    std::string FPath;
};

TEST_F(IniFileTest, MissingFileSectionOrKeyGivesTheDefaults) {
    TMPIniFile ini(FPath);
    EXPECT_EQ(ini.ReadString("Options", "LastAlbumPath", "dflt"), "dflt");
    EXPECT_EQ(ini.ReadInteger("Position", "Left", -1), -1);
    EXPECT_TRUE(ini.ReadBool("Setup", "ShowEQFlag", true));
    EXPECT_FALSE(ini.SectionExists("Setup"));
    EXPECT_FALSE(fs::exists(FPath)) << "reading must not create the file";

    Put("[Setup]\nEQ00=5\n");
    EXPECT_EQ(ini.ReadInteger("Setup", "EQ01", 7), 7);
    EXPECT_EQ(ini.ReadInteger("Position", "EQ00", 7), 7) << "a key of another section does not count";
}

TEST_F(IniFileTest, SectionsAndKeysMatchWithoutRegardToCase) {
    Put("[setup]\nshoweqflag = 0\n eq05=  -20  \n");
    TMPIniFile ini(FPath);
    EXPECT_FALSE(ini.ReadBool("Setup", "ShowEQFlag", true));
    EXPECT_EQ(ini.ReadInteger("SETUP", "EQ05", 0), -20);
    EXPECT_TRUE(ini.ValueExists("Setup", "EQ05"));

    ASSERT_TRUE(ini.WriteBool("SETUP", "SHOWEQFLAG", true));
    EXPECT_EQ(Contents(), "[setup]\nshoweqflag=1\n eq05=  -20  \n") << "the key is replaced in place";
}

TEST_F(IniFileTest, OnlyWholeDecimalNumbersAreNumbers) {
    Put("[S]\nplain=42\nsigned=-5\nplus=+7\nblanks= 12 \ntrailing=12abc\nempty=\nhex=0x10\n"
        "huge=99999999999\nlowest=-2147483648\nword=true\ndouble=+-3\n");
    TMPIniFile ini(FPath);
    EXPECT_EQ(ini.ReadInteger("S", "plain", 0), 42);
    EXPECT_EQ(ini.ReadInteger("S", "signed", 0), -5);
    EXPECT_EQ(ini.ReadInteger("S", "plus", 0), 7);
    EXPECT_EQ(ini.ReadInteger("S", "blanks", 0), 12);
    EXPECT_EQ(ini.ReadInteger("S", "lowest", 0), INT32_MIN);
    for (const char* key : {"trailing", "empty", "hex", "huge", "word", "double"}) {
        EXPECT_EQ(ini.ReadInteger("S", key, 99), 99) << key;
    }
    EXPECT_TRUE(ini.ReadBool("S", "word", true)) << "a boolean that is not a number reads as the default";
    EXPECT_FALSE(ini.ReadBool("S", "word", false));
    EXPECT_TRUE(ini.ReadBool("S", "signed", false)) << "any non-zero number is true";
}

TEST_F(IniFileTest, WritesReachTheFileAtOnceAndNothingIsCached) {
    TMPIniFile writer(FPath);
    TMPIniFile reader(FPath);
    EXPECT_EQ(reader.ReadInteger("Position", "Left", -1), -1);
    ASSERT_TRUE(writer.WriteInteger("Position", "Left", 120));
    EXPECT_EQ(reader.ReadInteger("Position", "Left", -1), 120);
    EXPECT_EQ(Contents(), "[Position]\nLeft=120\n");

    // A change made behind the object's back is seen by its next read.
    Put("[Position]\nLeft=7\n");
    EXPECT_EQ(writer.ReadInteger("Position", "Left", -1), 7);
    ASSERT_TRUE(writer.WriteInteger("Position", "Top", 9));
    EXPECT_EQ(Contents(), "[Position]\nLeft=7\nTop=9\n");
}

TEST_F(IniFileTest, NewKeysJoinTheirSectionAndEverythingElseIsKept) {
    Put("; settings\r\nstray line\r\n[A]\r\nx=1\r\n\r\n[B]\r\ny=2\r\n");
    TMPIniFile ini(FPath);
    EXPECT_EQ(ini.ReadString("A", "x", ""), "1") << "CRLF lines are read";
    Put("\xEF\xBB\xBF[Position]\nLeft=3\n");
    EXPECT_EQ(ini.ReadInteger("Position", "Left", -1), 3) << "a byte-order mark is skipped";
    Put("; settings\r\nstray line\r\n[A]\r\nx=1\r\n\r\n[B]\r\ny=2\r\n");
    ASSERT_TRUE(ini.WriteString("a", "z", "three"));
    ASSERT_TRUE(ini.WriteString("C", "w", "4"));
    EXPECT_EQ(Contents(), "; settings\nstray line\n[A]\nx=1\nz=three\n\n[B]\ny=2\n\n[C]\nw=4\n");
    EXPECT_EQ(ini.ReadSections(), (std::vector<std::string>{"A", "B", "C"}));
    EXPECT_EQ(ini.ReadSection("A"), (std::vector<std::string>{"x", "z"}));
}

TEST_F(IniFileTest, TheFirstOfDuplicatesIsReadAndEraseRemovesThemAll) {
    Put("[K]\nn=1\nn=2\n[Other]\nkeep=yes\n[k]\nn=3\n");
    TMPIniFile ini(FPath);
    EXPECT_EQ(ini.ReadInteger("K", "n", 0), 1);
    ASSERT_TRUE(ini.EraseSection("K"));
    EXPECT_EQ(Contents(), "[Other]\nkeep=yes\n");
    EXPECT_FALSE(ini.SectionExists("K"));
    EXPECT_TRUE(ini.EraseSection("K")) << "erasing a missing section is no failure";
    ASSERT_TRUE(ini.DeleteKey("Other", "KEEP"));
    EXPECT_EQ(Contents(), "[Other]\n");
}

TEST_F(IniFileTest, ValuesAreStoredTrimmedAndLineBreaksAreRefused) {
    TMPIniFile ini(FPath);
    ASSERT_TRUE(ini.WriteString("Options", "LastAddPath", "  /music/a b  "));
    EXPECT_EQ(ini.ReadString("Options", "LastAddPath", ""), "/music/a b");
    ASSERT_TRUE(ini.WriteString("Options", "Eq", "a=b"));
    EXPECT_EQ(ini.ReadString("Options", "Eq", ""), "a=b") << "only the first '=' parts key and value";

    // A file name with a line break must not be able to forge another section or key.
    EXPECT_FALSE(ini.WriteString("KeepFileNames", "FileName1", "x.m3u\n[Bounds]\nPlatform.Bounds=1"));
    EXPECT_FALSE(ini.WriteString("Bad]", "k", "v"));
    EXPECT_FALSE(ini.WriteString("S", "k=", "v"));
    EXPECT_FALSE(ini.WriteString("S", "", "v"));
    EXPECT_FALSE(ini.SectionExists("KeepFileNames"));
    EXPECT_FALSE(ini.SectionExists("Bounds"));
}

TEST_F(IniFileTest, ReplacingLeavesNoTemporaryFileAndKeepsLinksAndPermissions) {
    Put("[A]\nx=1\n");
    fs::permissions(FPath, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    const std::string link = (FFolder / "link.ini").string();
    fs::create_symlink(FPath, link);

    TMPIniFile ini(link);
    for (int i = 0; i < 20; ++i) {
        ASSERT_TRUE(ini.WriteInteger("A", "x", i));
    }
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(Contents(), "[A]\nx=19\n");
    EXPECT_EQ(fs::status(FPath).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    auto entries = FolderEntries();
    std::sort(entries.begin(), entries.end());
    EXPECT_EQ(entries, (std::vector<std::string>{"TUNELO.ini", "link.ini"}));
}

TEST_F(IniFileTest, AFailedWriteReportsFalseAndLeavesNothingBehind) {
    // The target is a folder: the rename must fail.
    fs::create_directory(FPath);
    TMPIniFile ini(FPath);
    EXPECT_FALSE(ini.WriteInteger("A", "x", 1));
    EXPECT_EQ(FolderEntries(), std::vector<std::string>{"TUNELO.ini"});

    // A folder that cannot be made (a plain file is in the way).
    Put("");
    fs::remove(FPath);
    std::ofstream(FFolder / "plain") << "x";
    TMPIniFile blocked((FFolder / "plain" / "tunelo" / "TUNELO.ini").string());
    EXPECT_FALSE(blocked.WriteInteger("A", "x", 1));
}

TEST_F(IniFileTest, MissingFoldersOfTheSettingsPathAreCreated) {
    const std::string nested = (FFolder / "config" / "tunelo" / "TUNELO.ini").string();
    TMPIniFile ini(nested);
    ASSERT_TRUE(ini.WriteString("Options", "LastAlbumPath", "/music"));
    EXPECT_EQ(TMPIniFile(nested).ReadString("Options", "LastAlbumPath", ""), "/music");
}

TEST(IniPathTest, ThePortableCopysFileWhenItExistsElseTheConfigFolder) {
    EXPECT_EQ(IniPathFor("/opt/tunelo/tunelo", true, "/cfg", "/home/u"), "/opt/tunelo/tunelo.ini");
    EXPECT_EQ(IniPathFor("/opt/tunelo/TUNELO.exe", true, "", "/home/u"), "/opt/tunelo/TUNELO.ini");
    EXPECT_EQ(IniPathFor("/opt/v1.2/tunelo", true, "", "/home/u"), "/opt/v1.2/tunelo.ini");
    EXPECT_EQ(IniPathFor("/opt/.hidden", true, "", "/home/u"), "/opt/.hidden.ini");
    EXPECT_EQ(IniPathFor("/usr/bin/tunelo", false, "/cfg", "/home/u"), "/cfg/tunelo/tunelo.ini");
    EXPECT_EQ(IniPathFor("/usr/bin/tunelo", false, "", "/home/u"), "/home/u/.config/tunelo/tunelo.ini");
    EXPECT_EQ(IniPathFor("/usr/bin/tunelo", false, "relative", "/home/u"),
              "/home/u/.config/tunelo/tunelo.ini");
    EXPECT_EQ(IniPathFor("", true, "/cfg", "/home/u"), "/cfg/tunelo/tunelo.ini");
}

TEST_F(IniFileTest, AWritableProgramFolderGetsNoSettingsFileUnlessOneIsThere) {
    const std::string configHome = FFolder.string();
    const char* saved = std::getenv("XDG_CONFIG_HOME");
    const std::string savedValue = saved ? saved : "";
    setenv("XDG_CONFIG_HOME", configHome.c_str(), 1);

    // The build folder holding this test program is writable, and yet the settings go to the config folder.
    EXPECT_EQ(ApplicationIniPath(), configHome + "/tunelo/tunelo.ini");

    char buffer[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", buffer, sizeof(buffer) - 1);
    ASSERT_GT(length, 0);
    const std::string portable = PortableIniPath(std::string(buffer, static_cast<size_t>(length)));
    std::ofstream(portable) << "[Setup]\n";
    EXPECT_EQ(ApplicationIniPath(), portable);
    std::filesystem::remove(portable);

    if (saved) {
        setenv("XDG_CONFIG_HOME", savedValue.c_str(), 1);
    } else {
        unsetenv("XDG_CONFIG_HOME");
    }
}

TEST(IniPathTest, ParseIniIntegerAgreesWithReadInteger) {
    int32_t value = 0;
    EXPECT_TRUE(ParseIniInteger(" 250 ", value));
    EXPECT_EQ(value, 250);
    EXPECT_FALSE(ParseIniInteger("2147483648", value));
    EXPECT_FALSE(ParseIniInteger("-", value));
    EXPECT_FALSE(ParseIniInteger("+", value));
    EXPECT_EQ(value, 250) << "a failed parse leaves the value alone";
}

} // namespace
} // namespace tunelo
