#include "equalizer_presets.h"

#include <algorithm>
#include <cctype>
#include <functional>

#include "ini_file.h"

namespace tunelo {

namespace {

constexpr const char* kPresetSection = "EqualizerPresets";
constexpr const char* kSetup = "Setup";
constexpr const char* kPreampKey = "EQPreamp";

// Curves in whole dB per sub-band; at 44.1 kHz sub-band 0 holds everything below 689 Hz, and each further
// one 689 Hz more, so the bass lives in the first two and the presence range in bands 1 to 5.
TEqualizerPreset Curve(const char* name, const std::array<int8_t, 32>& decibels) {
    TEqualizerPreset preset{name, {}};
    std::transform(decibels.begin(), decibels.end(), preset.Gains.begin(),
                   [](int8_t db) { return static_cast<int32_t>(db) * 5; });
    return preset;
}

bool SameName(const std::string& a, const std::string& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
    });
}

} // namespace

const std::vector<TEqualizerPreset>& BuiltInEqualizerPresets() {
    static const std::vector<TEqualizerPreset> presets = {
        Curve("Flat", {}),
        Curve("Bass", {10, 6, 3, 1}),
        Curve("Treble", {0, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 9, 9, 9,
                         9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9}),
        Curve("Vocal", {-3, 4,  5,  5,  3,  2,  1,  1,  1,  1,  -1, -1, -2, -2, -2, -2,
                        -2, -2, -2, -2, -2, -2, -2, -2, -2, -2, -2, -2, -2, -2, -2, -2}),
        Curve("Rock", {6, 2, -1, -2, -1, 1, 2, 3, 3, 3, 3, 4, 4, 4, 4, 4,
                       4, 4, 4,  4,  4,  4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4}),
        Curve("Pop", {2,  4,  5,  4,  2,  0,  0,  0,  0,  0,  -1, -1, -1, -1, -1, -1,
                      -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1}),
        Curve("Classical", {3, 1, 0, 0, 0, 0, 0, 0, 0, 0, 2, 2, 2, 2, 2, 2,
                            2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2}),
        Curve("Loudness", {8, 3, 0, 0, 0, 0, 0, 0, 0, 0, 2, 3, 3, 3, 3, 3,
                           3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3}),
    };
    return presets;
}

std::string TEqualizerPresetStore::Trimmed(const std::string& name) {
    const size_t first = name.find_first_not_of(" \t");
    if (first == std::string::npos) {
        return {};
    }
    return name.substr(first, name.find_last_not_of(" \t") - first + 1);
}

std::string TEqualizerPresetStore::NameProblem(const std::string& name) {
    const std::string trimmed = Trimmed(name);
    if (trimmed.empty()) {
        return "A preset needs a name.";
    }
    if (trimmed.size() > kMaxNameLength) {
        return "A preset name has at most 40 characters.";
    }
    // The settings file's own syntax: a key ends at '=', and a line starting with '[' is a section.
    if (trimmed.find_first_of("=[]\r\n") != std::string::npos || trimmed.front() == ';') {
        return "A preset name cannot hold = [ ] or start with ;.";
    }
    for (const TEqualizerPreset& builtIn : BuiltInEqualizerPresets()) {
        if (SameName(builtIn.Name, trimmed)) {
            return "\"" + builtIn.Name + "\" is a built-in preset; choose another name.";
        }
    }
    return {};
}

std::string TEqualizerPresetStore::GainsText(const TEqualizerGains& gains) {
    std::string text;
    for (int32_t gain : gains) {
        text += (text.empty() ? "" : ",") + std::to_string(gain);
    }
    return text;
}

std::optional<TEqualizerGains> TEqualizerPresetStore::ParseGains(const std::string& text) {
    TEqualizerGains gains{};
    size_t band = 0;
    size_t start = 0;
    while (start <= text.size()) {
        const size_t comma = std::min(text.find(',', start), text.size());
        int32_t gain = 0;
        if (band == gains.size() || !ParseIniInteger(text.substr(start, comma - start), gain) ||
            gain < -100 || gain > 100) {
            return std::nullopt;
        }
        gains[band++] = gain;
        start = comma + 1;
    }
    return band == gains.size() ? std::optional<TEqualizerGains>(gains) : std::nullopt;
}

std::vector<TEqualizerPreset> TEqualizerPresetStore::UserPresets() const {
    const TMPIniFile ini(FIniFileName);
    std::vector<TEqualizerPreset> presets;
    for (const std::string& name : ini.ReadSection(kPresetSection)) {
        if (const auto gains = ParseGains(ini.ReadString(kPresetSection, name, ""))) {
            presets.push_back({name, *gains});
        }
    }
    return presets;
}

bool TEqualizerPresetStore::Save(const std::string& name, const TEqualizerGains& gains) const {
    if (!NameProblem(name).empty()) {
        return false;
    }
    TMPIniFile ini(FIniFileName);
    const std::string trimmed = Trimmed(name);
    // A key keeps its old spelling when replaced; the name as typed now is the one to show.
    ini.DeleteKey(kPresetSection, trimmed);
    return ini.WriteString(kPresetSection, trimmed, GainsText(gains));
}

bool TEqualizerPresetStore::Delete(const std::string& name) const {
    return TMPIniFile(FIniFileName).DeleteKey(kPresetSection, Trimmed(name));
}

int32_t TEqualizerPresetStore::Preamp() const {
    return std::clamp(TMPIniFile(FIniFileName).ReadInteger(kSetup, kPreampKey, 0), kPreampMin, kPreampMax);
}

void TEqualizerPresetStore::SetPreamp(int32_t decibels) const {
    TMPIniFile(FIniFileName).WriteInteger(kSetup, kPreampKey, std::clamp(decibels, kPreampMin, kPreampMax));
}

namespace {

const TEqualizerPreset* FirstPreset(const std::vector<TEqualizerPreset>& user,
                                    const std::function<bool(const TEqualizerPreset&)>& wanted) {
    for (const auto* list : {&BuiltInEqualizerPresets(), &user}) {
        const auto found = std::find_if(list->begin(), list->end(), wanted);
        if (found != list->end()) {
            return &*found;
        }
    }
    return nullptr;
}

} // namespace

const TEqualizerPreset* FindEqualizerPreset(const std::string& name,
                                            const std::vector<TEqualizerPreset>& user) {
    return FirstPreset(user, [&](const TEqualizerPreset& preset) { return preset.Name == name; });
}

std::string MatchingEqualizerPreset(const TEqualizerGains& gains, const std::vector<TEqualizerPreset>& user) {
    const TEqualizerPreset* found =
        FirstPreset(user, [&](const TEqualizerPreset& preset) { return preset.Gains == gains; });
    return found ? found->Name : std::string();
}

} // namespace tunelo
