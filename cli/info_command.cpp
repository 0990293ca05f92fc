// tunelo-cli info FILE...: what the player finds in each file (stream parameters, where the audio data
// lies, the playing time, the tags), as "key: value" lines, one block per file.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <iterator>
#include <string>

#include "MP3Plyr.h"
#include "commands.h"
#include "terminal_text.h"
#include "text_encoding.h"

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
    static const std::pair<TMP3InfoKind, const char*> kNames[] = {
        {mitID3V1, "ID3v1"},      {mitID3V2, "ID3v2"},    {mitRiff, "RIFF"},
        {mitMacBin, "MacBinary"}, {mitLyrics, "Lyrics3"}, {mitApe, "APE"}};
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
    std::printf("%s: %s\n", key, Printable(value).c_str());
}

void PrintField(const char* key, int64_t value) {
    std::printf("%s: %lld\n", key, static_cast<long long>(value));
}

// ID3v2 picture types by number.
const char* PictureTypeName(uint8_t type) {
    static const char* const kNames[] = {"other",
                                         "file icon",
                                         "other file icon",
                                         "front cover",
                                         "back cover",
                                         "leaflet page",
                                         "media",
                                         "lead artist",
                                         "artist",
                                         "conductor",
                                         "band",
                                         "composer",
                                         "lyricist",
                                         "recording location",
                                         "during recording",
                                         "during performance",
                                         "video capture",
                                         "bright coloured fish",
                                         "illustration",
                                         "band logo",
                                         "publisher logo"};
    return type < std::size(kNames) ? kNames[type] : "other";
}

std::string Decibels(double gain, double peak) {
    char text[64];
    std::snprintf(text, sizeof text, "%+.2f dB, peak %.6f", gain, peak);
    return text;
}

void PrintNewerFields(const TMP3Info& info) {
    PrintField("track total", info.TrackTotal());
    PrintField("disc", info.Disc());
    PrintField("disc total", info.DiscTotal());
    PrintField("album artist", info.AlbumArtist());
    PrintField("composer", info.Composer());
    const TMPPicture& picture = info.Picture();
    if (picture.Empty()) {
        PrintField("picture", "none");
    } else {
        PrintField("picture", std::string(PictureTypeName(picture.Type)) + ", " + picture.Mime + ", " +
                                  std::to_string(picture.Data.size()) + " bytes");
    }
    const TMPReplayGain gain = info.ReplayGain();
    PrintField("replaygain track", gain.HasTrackGain ? Decibels(gain.TrackGain, gain.TrackPeak) : "none");
    PrintField("replaygain album", gain.HasAlbumGain ? Decibels(gain.AlbumGain, gain.AlbumPeak) : "none");
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
    PrintField("duration (ms)", player.CountedDuration());
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
    const int64_t length = player.DataLength();
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
    PrintNewerFields(player.Info());
    player.Close();
    return true;
}

} // namespace

int RunInfo(int argc, char** argv) {
    std::string codePage;
    if (argc >= 2 && std::strcmp(argv[0], "--encoding") == 0) {
        codePage = argv[1];
        if (!IsKnownCodePage(codePage)) {
            std::fprintf(
                stderr,
                "tunelo-cli info: unknown encoding '%s' (names as iconv spells them, such as CP1251)\n",
                codePage.c_str());
            return 2;
        }
        argc -= 2;
        argv += 2;
    }
    if (argc < 1) {
        std::fprintf(stderr, "usage: tunelo-cli info [--encoding NAME] FILE...\n");
        return 2;
    }
    // Nothing is played: no sound device is needed.
    setenv("TUNELO_AUDIO", "null", 1);
    TMP3Player player;
    player.SetAutoPlay(false);
    player.SetLegacyCodePage(codePage);
    bool failed = false;
    for (int i = 0; i < argc; ++i) {
        if (i > 0) {
            std::printf("\n");
        }
        failed |= !PrintInfo(player, argv[i]);
    }
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "tunelo-cli: standard output: %s\n", std::strerror(errno));
        return 1;
    }
    return failed ? 1 : 0;
}

} // namespace tunelo::cli
