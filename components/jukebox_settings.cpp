#include "jukebox_settings.h"

#include <algorithm>
#include <cstdio>

#include "ini_file.h"

namespace tunelo {

namespace {

constexpr const char* kPosition = "Position";
constexpr const char* kSetup = "Setup";
constexpr const char* kOptions = "Options";

std::optional<int32_t> Edge(const TMPIniFile& ini, const char* key) {
    const int32_t value = ini.ReadInteger(kPosition, key, -1);
    return value >= 0 ? std::optional<int32_t>(value) : std::nullopt;
}

} // namespace

TJukeboxSettings::TJukeboxSettings() : FIniFileName(ApplicationIniPath()) {}

TJukeboxSettings::TJukeboxSettings(std::string iniFileName) : FIniFileName(std::move(iniFileName)) {}

std::string TJukeboxSettings::BandKey(int32_t band) {
    char key[8];
    std::snprintf(key, sizeof(key), "EQ%02d", static_cast<int>(band));
    return key;
}

TJukeboxWindowSettings TJukeboxSettings::ReadWindow(
    const std::array<int32_t, TJukeboxWindowSettings::BandCount>& currentBands) const {
    const TMPIniFile ini(FIniFileName);
    TJukeboxWindowSettings settings;
    settings.Left = Edge(ini, "Left");
    settings.Top = Edge(ini, "Top");
    settings.ShowEQFlag = ini.ReadBool(kSetup, "ShowEQFlag", true);
    for (int32_t band = 0; band < TJukeboxWindowSettings::BandCount; ++band) {
        const auto index = static_cast<size_t>(band);
        // The bar's own range bounds what it takes.
        settings.Bands[index] = std::clamp(ini.ReadInteger(kSetup, BandKey(band), currentBands[index]),
                                           TJukeboxWindowSettings::BandMin, TJukeboxWindowSettings::BandMax);
    }
    return settings;
}

void TJukeboxSettings::WriteWindow(const TJukeboxWindowSettings& settings) const {
    TMPIniFile ini(FIniFileName);
    ini.WriteInteger(kPosition, "Left", settings.Left.value_or(-1));
    ini.WriteInteger(kPosition, "Top", settings.Top.value_or(-1));
    ini.WriteBool(kSetup, "ShowEQFlag", settings.ShowEQFlag);
    for (int32_t band = 0; band < TJukeboxWindowSettings::BandCount; ++band) {
        ini.WriteInteger(kSetup, BandKey(band), settings.Bands[static_cast<size_t>(band)]);
    }
}

std::string TJukeboxSettings::LastAlbumPath() const {
    return TMPIniFile(FIniFileName).ReadString(kOptions, "LastAlbumPath", "");
}

std::string TJukeboxSettings::LastAddPath() const {
    return TMPIniFile(FIniFileName).ReadString(kOptions, "LastAddPath", "");
}

void TJukeboxSettings::SetLastAlbumPath(const std::string& folder) const {
    TMPIniFile(FIniFileName).WriteString(kOptions, "LastAlbumPath", folder);
}

void TJukeboxSettings::SetLastAddPath(const std::string& folder) const {
    TMPIniFile(FIniFileName).WriteString(kOptions, "LastAddPath", folder);
}

std::string TJukeboxSettings::FolderOf(const std::string& filePath) {
    const size_t slash = filePath.rfind('/');
    if (slash == std::string::npos) {
        return {};
    }
    const size_t end = filePath.find_last_not_of('/', slash);
    return end == std::string::npos ? "/" : filePath.substr(0, end + 1);
}

} // namespace tunelo
