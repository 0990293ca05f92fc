// Two submenus of the window's context menu, "Tag text code page" (for tag text that declares none) and
// "ReplayGain" (off, track, album, album while its tracks play in a row; pre-amp steps), applied to both
// players and kept in the settings file:
//
//   [Options]  TagCodePage      iconv name, empty for Latin-1 (the default)
//              ReplayGain       "off" (the default), "track", "album" or "auto"
//              ReplayGainPreamp pre-amp in dB, -15..15, default 0
#pragma once

#include <QMenu>

#include <functional>
#include <string>

#include "player.h"

namespace tunelo {

struct TListeningSettings {
    std::string CodePage;
    TMPReplayGainMode Mode = rgmOff;
    int32_t PreampDb = 0;
};

TListeningSettings ReadListeningSettings(const std::string& iniFileName);
void WriteListeningSettings(const std::string& iniFileName, const TListeningSettings& settings);
void ApplyListeningSettings(const TListeningSettings& settings, TMP3Player& player);

// Adds the submenus to menu; each choice is written to the settings file and handed to apply.
void AddListeningMenu(QMenu& menu, const std::string& iniFileName,
                      std::function<void(const TListeningSettings&)> apply);

} // namespace tunelo
