// tunelo-cli info FILE...: what the player finds in each file (stream parameters, where the audio data
// lies, the playing time, the tags), as "key: value" lines, one block per file.
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "MP3Plyr.h"
#include "commands.h"

namespace tunelo::cli {

namespace {

const char* VersionName(int32_t version) {
    switch (version) {
    case 1:
        return "MPEG-1";
    case 2:
        return "MPEG-2";
    case 3:
        return "MPEG-2.5";
    default:
        return "unknown";
    }
}

std::string TagKinds(TMP3InfoType found) {
    static const std::pair<TMP3InfoKind, const char*> kNames[] = {{mitID3V1, "ID3v1"},
                                                                  {mitID3V2, "ID3v2"},
                                                                  {mitRiff, "RIFF"},
                                                                  {mitMacBin, "MacBinary"},
                                                                  {mitLyrics, "Lyrics3"}};
    std::string text;
    for (const auto& [kind, name] : kNames) {
        if (found.Has(kind)) {
            text += text.empty() ? "" : ", ";
            text += name;
        }
    }
    return text.empty() ? "none" : text;
}

// One line per key: line breaks and other control characters in tag text are shown escaped.
void PrintField(const char* key, const std::string& value) {
    std::string shown;
    for (const char c : value) {
        if (c == '\n') {
            shown += "\\n";
        } else if (c == '\r') {
            shown += "\\r";
        } else if (c == '\t') {
            shown += "\\t";
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", static_cast<unsigned char>(c));
            shown += escaped;
        } else {
            shown += c;
        }
    }
    std::printf("%s: %s\n", key, shown.c_str());
}

void PrintField(const char* key, int64_t value) {
    std::printf("%s: %lld\n", key, static_cast<long long>(value));
}

bool PrintInfo(TMP3Player& player, const std::string& path) {
    PrintField("path", path);
    try {
        player.SetFileName(path);
    } catch (const std::exception& error) {
        PrintField("error", error.what());
        return false;
    }
    PrintField("layer", player.Layer());
    PrintField("version", VersionName(player.Version()));
    PrintField("sample rate", player.SampleRate());
    PrintField("channels", player.Channels());
    PrintField("bit rate", player.BitRate());
    PrintField("duration (ms)", player.Duration());
    // The exact length a listener hears, where the encoder's delay and padding are known.
    if (player.ExactSamples() == kUnknownSamples) {
        PrintField("samples", "unknown");
    } else {
        PrintField("samples", player.ExactSamples());
    }
    if (player.EncoderGap().Known) {
        PrintField("encoder delay", player.EncoderGap().Delay);
        PrintField("encoder padding", player.EncoderGap().Padding);
    }
    PrintField("data start", player.DataStart());
    const int32_t length = player.DataLength();
    if (length == TMP3Info::kUnknownLength) {
        PrintField("data length", "unknown");
    } else {
        PrintField("data length", length);
    }
    PrintField("tags found", TagKinds(player.FoundInfoTypes()));
    PrintField("title", player.Title());
    PrintField("artist", player.Artist());
    PrintField("album", player.Album());
    PrintField("year", player.Year());
    PrintField("comment", player.Comment());
    PrintField("genre", player.Genre());
    PrintField("track", player.Track());
    player.Close();
    return true;
}

} // namespace

int RunInfo(int argc, char** argv) {
    if (argc < 1) {
        std::fprintf(stderr, "usage: tunelo-cli info FILE...\n");
        return 2;
    }
    // Nothing is played: no sound device is needed.
    setenv("TUNELO_AUDIO", "null", 1);
    TMP3Player player;
    player.SetAutoPlay(false);
    bool failed = false;
    for (int i = 0; i < argc; ++i) {
        if (i > 0) {
            std::printf("\n");
        }
        failed |= !PrintInfo(player, argv[i]);
    }
    std::fflush(stdout);
    return failed ? 1 : 0;
}

} // namespace tunelo::cli
