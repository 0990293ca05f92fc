#include "listening_options.h"

#include <QActionGroup>

#include <algorithm>
#include <utility>

#include "ini_file.h"
#include "text_encoding.h"

namespace tunelo {

namespace {

constexpr const char* kOptions = "Options";
constexpr int32_t kPreampLimit = 15;

// Code pages offered in the menu: caption and iconv name.
const std::pair<const char*, const char*> kCodePages[] = {{"Latin-1 (Western)", ""},
                                                          {"Windows-1250 (Central European)", "CP1250"},
                                                          {"Windows-1251 (Cyrillic)", "CP1251"},
                                                          {"Windows-1252 (Western)", "CP1252"},
                                                          {"Shift-JIS (Japanese)", "SHIFT_JIS"},
                                                          {"GBK (Simplified Chinese)", "GBK"},
                                                          {"Big5 (Traditional Chinese)", "BIG5"},
                                                          {"EUC-KR (Korean)", "EUC-KR"}};

template <typename Choose>
void AddChoice(QMenu& menu, QActionGroup& group, const QString& caption, bool checked, Choose choose) {
    QAction* action = menu.addAction(caption);
    action->setCheckable(true);
    action->setChecked(checked);
    group.addAction(action);
    QObject::connect(action, &QAction::triggered, &menu, choose);
}

} // namespace

TListeningSettings ReadListeningSettings(const std::string& iniFileName) {
    const TMPIniFile ini(iniFileName);
    TListeningSettings settings;
    settings.CodePage = ini.ReadString(kOptions, "TagCodePage", "");
    // A name iconv does not know would read as Latin-1 anyway; keep the setting honest.
    if (!IsKnownCodePage(settings.CodePage)) {
        settings.CodePage.clear();
    }
    if (!ReplayGainModeFromName(ini.ReadString(kOptions, "ReplayGain", "off"), settings.Mode)) {
        settings.Mode = rgmOff;
    }
    settings.PreampDb =
        std::clamp(ini.ReadInteger(kOptions, "ReplayGainPreamp", 0), -kPreampLimit, kPreampLimit);
    return settings;
}

void WriteListeningSettings(const std::string& iniFileName, const TListeningSettings& settings) {
    TMPIniFile ini(iniFileName);
    ini.WriteString(kOptions, "TagCodePage", settings.CodePage);
    ini.WriteString(kOptions, "ReplayGain", ReplayGainModeName(settings.Mode));
    ini.WriteInteger(kOptions, "ReplayGainPreamp", settings.PreampDb);
}

void ApplyListeningSettings(const TListeningSettings& settings, TMP3Player& player) {
    player.SetLegacyCodePage(settings.CodePage);
    player.SetReplayGainMode(settings.Mode);
    player.SetReplayGainPreamp(settings.PreampDb);
}

void AddListeningMenu(QMenu& menu, const std::string& iniFileName,
                      std::function<void(const TListeningSettings&)> apply) {
    const TListeningSettings current = ReadListeningSettings(iniFileName);
    auto change = [iniFileName, apply](auto edit) {
        TListeningSettings settings = ReadListeningSettings(iniFileName);
        edit(settings);
        WriteListeningSettings(iniFileName, settings);
        apply(settings);
    };
    QMenu* codePages = menu.addMenu(QStringLiteral("Tag text code page"));
    auto* codePageGroup = new QActionGroup(codePages);
    for (const auto& [caption, name] : kCodePages) {
        const std::string codePage = name;
        AddChoice(*codePages, *codePageGroup, QString::fromUtf8(caption), current.CodePage == codePage,
                  [change, codePage] { change([&](TListeningSettings& s) { s.CodePage = codePage; }); });
    }
    QMenu* gain = menu.addMenu(QStringLiteral("ReplayGain"));
    auto* modeGroup = new QActionGroup(gain);
    for (const auto& [caption, mode] :
         {std::pair{"Off", rgmOff}, std::pair{"Track", rgmTrack}, std::pair{"Album", rgmAlbum},
          std::pair{"Album while its tracks play in a row", rgmAuto}}) {
        const TMPReplayGainMode chosen = mode;
        AddChoice(*gain, *modeGroup, QString::fromUtf8(caption), current.Mode == mode,
                  [change, chosen] { change([&](TListeningSettings& s) { s.Mode = chosen; }); });
    }
    gain->addSeparator();
    auto* preampGroup = new QActionGroup(gain);
    for (int32_t preamp = -12; preamp <= 12; preamp += 3) {
        AddChoice(*gain, *preampGroup,
                  QStringLiteral("Pre-amp %1%2 dB").arg(preamp > 0 ? "+" : "").arg(preamp),
                  current.PreampDb == preamp,
                  [change, preamp] { change([&](TListeningSettings& s) { s.PreampDb = preamp; }); });
    }
}

} // namespace tunelo
