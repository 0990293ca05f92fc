// Equalizer presets without a window: the built-in curves, user presets kept by name in the settings
// file (saved, replaced, deleted, bad entries left out), the pre-amp, and the compact band frequencies.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <set>

#include "equalizer_presets.h"
#include "frequency_text.h"
#include "ini_file.h"

namespace tunelo {
namespace {

class PresetStoreTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(FTemp.isValid()); }
    std::string Ini() const { return (FTemp.path() + QStringLiteral("/tunelo.ini")).toStdString(); }
    QTemporaryDir FTemp;
};

TEqualizerGains Ramp(int32_t start) {
    TEqualizerGains gains{};
    for (size_t band = 0; band < gains.size(); ++band) {
        gains[band] = start + static_cast<int32_t>(band);
    }
    return gains;
}

TEST(BuiltInEqualizerPresets, AreTheEightNamedCurvesEachDifferentAndInRange) {
    std::vector<std::string> names;
    std::set<TEqualizerGains> curves;
    for (const TEqualizerPreset& preset : BuiltInEqualizerPresets()) {
        names.push_back(preset.Name);
        curves.insert(preset.Gains);
        for (int32_t gain : preset.Gains) {
            EXPECT_GE(gain, -100) << preset.Name;
            EXPECT_LE(gain, 100) << preset.Name;
        }
    }
    EXPECT_EQ(names, (std::vector<std::string>{"Flat", "Bass", "Treble", "Vocal", "Rock", "Pop", "Classical",
                                               "Loudness"}));
    EXPECT_EQ(curves.size(), names.size()) << "two presets share a curve";
    EXPECT_EQ(BuiltInEqualizerPresets()[0].Gains, TEqualizerGains{}) << "Flat is flat";
    const TEqualizerGains& bass = BuiltInEqualizerPresets()[1].Gains;
    EXPECT_GT(bass[0], 0);
    EXPECT_EQ(bass[31], 0) << "Bass leaves the top alone";
    const TEqualizerGains& treble = BuiltInEqualizerPresets()[2].Gains;
    EXPECT_EQ(treble[0], 0);
    EXPECT_GT(treble[31], 0);
}

TEST_F(PresetStoreTest, UserPresetsAreSavedReplacedAndDeletedByName) {
    const TEqualizerPresetStore store(Ini());
    EXPECT_TRUE(store.UserPresets().empty());
    ASSERT_TRUE(store.Save("  Late night ", Ramp(-10)));
    ASSERT_TRUE(store.Save("Car", Ramp(5)));
    std::vector<TEqualizerPreset> presets = store.UserPresets();
    ASSERT_EQ(presets.size(), 2u);
    EXPECT_EQ(presets[0].Name, "Late night") << "blanks around a name are trimmed";
    EXPECT_EQ(presets[0].Gains, Ramp(-10));
    EXPECT_EQ(presets[1].Name, "Car");

    // The same name in another letter case replaces it, and the new spelling is the one kept.
    ASSERT_TRUE(store.Save("LATE NIGHT", Ramp(20)));
    presets = store.UserPresets();
    ASSERT_EQ(presets.size(), 2u);
    EXPECT_EQ(presets[1].Name, "LATE NIGHT");
    EXPECT_EQ(presets[1].Gains, Ramp(20));

    ASSERT_TRUE(store.Delete("car"));
    presets = store.UserPresets();
    ASSERT_EQ(presets.size(), 1u);
    EXPECT_EQ(presets[0].Name, "LATE NIGHT");
    EXPECT_EQ(TMPIniFile(Ini()).ReadString("EqualizerPresets", "late night", ""),
              TEqualizerPresetStore::GainsText(Ramp(20)));
}

struct TNameCase {
    const char* Name;
    bool Accepted;
};

class PresetNames : public ::testing::TestWithParam<TNameCase> {};

TEST_P(PresetNames, OnlyNamesTheSettingsFileCanHoldAndNoBuiltInOnes) {
    const TNameCase& c = GetParam();
    EXPECT_EQ(TEqualizerPresetStore::NameProblem(c.Name).empty(), c.Accepted) << '"' << c.Name << '"';
}

INSTANTIATE_TEST_SUITE_P(Names, PresetNames,
                         ::testing::Values(TNameCase{"Late night", true}, TNameCase{"Ä-Klang 2", true},
                                           TNameCase{"", false}, TNameCase{"   ", false},
                                           TNameCase{"a=b", false}, TNameCase{"[x]", false},
                                           TNameCase{";x", false}, TNameCase{"two\nlines", false},
                                           TNameCase{"rock", false}, TNameCase{" Flat ", false},
                                           TNameCase{"01234567890123456789012345678901234567890", false}));

TEST_F(PresetStoreTest, ABadNameIsNotSavedAndBadEntriesAreLeftOut) {
    const TEqualizerPresetStore store(Ini());
    EXPECT_FALSE(store.Save("Rock", Ramp(0)));
    EXPECT_FALSE(store.Save("a=b", Ramp(0)));
    TMPIniFile ini(Ini());
    ini.WriteString("EqualizerPresets", "Short", "1,2,3");
    ini.WriteString("EqualizerPresets", "Loud", TEqualizerPresetStore::GainsText(Ramp(80)));
    ini.WriteString("EqualizerPresets", "Words", "loud");
    ini.WriteString("EqualizerPresets", "Good", TEqualizerPresetStore::GainsText(Ramp(-3)));
    const std::vector<TEqualizerPreset> presets = store.UserPresets();
    ASSERT_EQ(presets.size(), 1u) << "a gain above 100, too few gains and text are left out";
    EXPECT_EQ(presets[0].Name, "Good");
}

TEST(PresetGains, TextRoundTripsAndRejectsWhatIsNotThirtyTwoGains) {
    EXPECT_EQ(TEqualizerPresetStore::ParseGains(TEqualizerPresetStore::GainsText(Ramp(-40))), Ramp(-40));
    std::string thirtyThree = TEqualizerPresetStore::GainsText(Ramp(0)) + ",1";
    EXPECT_FALSE(TEqualizerPresetStore::ParseGains(thirtyThree));
    EXPECT_FALSE(TEqualizerPresetStore::ParseGains(""));
    EXPECT_FALSE(TEqualizerPresetStore::ParseGains(TEqualizerPresetStore::GainsText(Ramp(0)) + ","));
    EXPECT_EQ(
        TEqualizerPresetStore::ParseGains(" 1, 2,3 ,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20,21,22,23,"
                                          "24,25,26,27,28,29,30,31,-100"),
        [] {
            TEqualizerGains gains = Ramp(1);
            gains[31] = -100;
            return gains;
        }())
        << "blanks around a gain are allowed";
}

TEST_F(PresetStoreTest, ThePreampIsKeptInTheSetupSectionAndClamped) {
    const TEqualizerPresetStore store(Ini());
    EXPECT_EQ(store.Preamp(), 0);
    store.SetPreamp(-6);
    EXPECT_EQ(TMPIniFile(Ini()).ReadInteger("Setup", "EQPreamp", 0), -6);
    EXPECT_EQ(store.Preamp(), -6);
    TMPIniFile(Ini()).WriteInteger("Setup", "EQPreamp", 99);
    EXPECT_EQ(store.Preamp(), 20);
}

TEST(MatchingEqualizerPreset, NamesTheBuiltInFirstThenTheUsersOwn) {
    const std::vector<TEqualizerPreset> user = {{"Mine", Ramp(1)}, {"Also flat", {}}};
    EXPECT_EQ(MatchingEqualizerPreset({}, user), "Flat");
    EXPECT_EQ(MatchingEqualizerPreset(BuiltInEqualizerPresets()[4].Gains, user), "Rock");
    EXPECT_EQ(MatchingEqualizerPreset(Ramp(1), user), "Mine");
    EXPECT_EQ(MatchingEqualizerPreset(Ramp(2), user), "");
    ASSERT_NE(FindEqualizerPreset("Mine", user), nullptr);
    EXPECT_EQ(FindEqualizerPreset("Mine", user)->Gains, Ramp(1));
    ASSERT_NE(FindEqualizerPreset("Pop", user), nullptr);
    EXPECT_EQ(FindEqualizerPreset("Pop", user), &BuiltInEqualizerPresets()[5]);
    EXPECT_EQ(FindEqualizerPreset("mine", user), nullptr) << "the list's own spelling";
}

struct TFrequencyCase {
    int32_t Hertz;
    const char* Text;
};

class CompactFrequency : public ::testing::TestWithParam<TFrequencyCase> {};

TEST_P(CompactFrequency, FitsUnderABar) {
    EXPECT_EQ(CompactFrequencyText(GetParam().Hertz), GetParam().Text);
}

INSTANTIATE_TEST_SUITE_P(Texts, CompactFrequency,
                         ::testing::Values(TFrequencyCase{63, "63"}, TFrequencyCase{345, "345"},
                                           TFrequencyCase{999, "999"}, TFrequencyCase{1000, "1.0k"},
                                           TFrequencyCase{1034, "1.0k"}, TFrequencyCase{1723, "1.7k"},
                                           TFrequencyCase{9302, "9.3k"}, TFrequencyCase{9949, "9.9k"},
                                           TFrequencyCase{9991, "10k"}, TFrequencyCase{10680, "11k"},
                                           TFrequencyCase{21705, "22k"}, TFrequencyCase{23625, "24k"}));

} // namespace
} // namespace tunelo
