// The main window's own settings in the settings file: where the window was, whether the equalizer panel
// shows and where its 32 bars stand, and the folders last used by the album and add dialogs. Each call
// reads or writes the file at once; nothing is kept here.
//
//   [Position] Left, Top        window edges; -1 (the default) or any negative value: not applied
//   [Setup]    ShowEQFlag       1/0, default 1
//              EQ00 .. EQ31     bar positions -100..100 (clamped); default: the bar's current position
//   [Options]  LastAlbumPath    folder of the album file last opened or saved
//              LastAddPath      folder of the first file last added
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace tunelo {

struct TJukeboxWindowSettings {
    static constexpr int32_t BandCount = 32;
    static constexpr int32_t BandMin = -100;
    static constexpr int32_t BandMax = 100;

    // Present only when the stored value is 0 or more.
    std::optional<int32_t> Left;
    std::optional<int32_t> Top;
    bool ShowEQFlag = true;
    std::array<int32_t, BandCount> Bands{};
};

class TJukeboxSettings {
public:
    // The program's own settings file (ApplicationIniPath) unless another is given.
    TJukeboxSettings();
    explicit TJukeboxSettings(std::string iniFileName);

    const std::string& IniFileName() const { return FIniFileName; }

    // The equalizer bars' current positions stand in for missing or unreadable values.
    TJukeboxWindowSettings
    ReadWindow(const std::array<int32_t, TJukeboxWindowSettings::BandCount>& currentBands = {}) const;
    // Left and Top are written as given (a window always has edges; an empty one is written as -1).
    void WriteWindow(const TJukeboxWindowSettings& settings) const;

    std::string LastAlbumPath() const;
    std::string LastAddPath() const;
    // Store the folder of the chosen file (see FolderOf).
    void SetLastAlbumPath(const std::string& folder) const;
    void SetLastAddPath(const std::string& folder) const;

    // "EQ00" .. "EQ31".
    static std::string BandKey(int32_t band);
    // The folder of a file path without a trailing "/", except the root itself ("/a/b.m3u" → "/a",
    // "/b.m3u" → "/"); empty for a bare name.
    static std::string FolderOf(const std::string& filePath);

private:
    std::string FIniFileName;
};

} // namespace tunelo
