// Equalizer presets: the built-in curves and the user's own, kept by name in the settings file, and the
// pre-amp the panel sets. Each call reads or writes the file at once; nothing is kept here.
//
//   [EqualizerPresets]  NAME=G0,G1,...,G31   band gains -100..100 (+100 is +20 dB), band 0 first
//   [Setup]             EQPreamp             pre-amp in dB, -20..20, default 0
//
// Preset names match without regard to letter case, as the file's keys do.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tunelo {

using TEqualizerGains = std::array<int32_t, 32>;

struct TEqualizerPreset {
    std::string Name;
    TEqualizerGains Gains{};
};

// Flat, Bass, Treble, Vocal, Rock, Pop, Classical, Loudness.
const std::vector<TEqualizerPreset>& BuiltInEqualizerPresets();

class TEqualizerPresetStore {
public:
    static constexpr int32_t kPreampMin = -20;
    static constexpr int32_t kPreampMax = 20;
    static constexpr size_t kMaxNameLength = 40;

    explicit TEqualizerPresetStore(std::string iniFileName) : FIniFileName(std::move(iniFileName)) {}

    // In file order; entries whose value is not 32 gains are left out.
    std::vector<TEqualizerPreset> UserPresets() const;
    // Replaces a user preset of the same name (in any letter case). False when the name is not one a
    // preset can have or the file could not be written.
    bool Save(const std::string& name, const TEqualizerGains& gains) const;
    bool Delete(const std::string& name) const;

    int32_t Preamp() const;
    void SetPreamp(int32_t decibels) const;

    // Why a name cannot be a user preset's; empty when it can. The name is taken with its blanks trimmed.
    static std::string NameProblem(const std::string& name);
    static std::string Trimmed(const std::string& name);
    // Gains as written to the file, and read back; nothing when the text is not 32 gains in range.
    static std::string GainsText(const TEqualizerGains& gains);
    static std::optional<TEqualizerGains> ParseGains(const std::string& text);

private:
    std::string FIniFileName;
};

// The preset of exactly that name, built-in first, then the user's; nullptr when there is none.
const TEqualizerPreset* FindEqualizerPreset(const std::string& name,
                                            const std::vector<TEqualizerPreset>& user);

// The preset (built-in first, then the user's) whose gains are exactly these; empty when none is.
std::string MatchingEqualizerPreset(const TEqualizerGains& gains, const std::vector<TEqualizerPreset>& user);

} // namespace tunelo
