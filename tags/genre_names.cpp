#include <cctype>

#include "mp3_info.h"

namespace tunelo {

// The published ID3v1 list with its common extension up to 147, as this player has always named them
// (81, 118, 125, 128/129, 138, 140 and 144 differ from the published spelling), then names of its own.
// clang-format off
const std::array<std::string_view, 256> GenreNames = {
    "Blues", // 0
    "Classic Rock", // 1
    "Country", // 2
    "Dance", // 3
    "Disco", // 4
    "Funk", // 5
    "Grunge", // 6
    "Hip-Hop", // 7
    "Jazz", // 8
    "Metal", // 9
    "New Age", // 10
    "Oldies", // 11
    "Other", // 12
    "Pop", // 13
    "R&B", // 14
    "Rap", // 15
    "Reggae", // 16
    "Rock", // 17
    "Techno", // 18
    "Industrial", // 19
    "Alternative", // 20
    "Ska", // 21
    "Death Metal", // 22
    "Pranks", // 23
    "Soundtrack", // 24
    "Euro-Techno", // 25
    "Ambient", // 26
    "Trip-Hop", // 27
    "Vocal", // 28
    "Jazz+Funk", // 29
    "Fusion", // 30
    "Trance", // 31
    "Classical", // 32
    "Instrumental", // 33
    "Acid", // 34
    "House", // 35
    "Game", // 36
    "Sound Clip", // 37
    "Gospel", // 38
    "Noise", // 39
    "AlternRock", // 40
    "Bass", // 41
    "Soul", // 42
    "Punk", // 43
    "Space", // 44
    "Meditative", // 45
    "Instrumental Pop", // 46
    "Instrumental Rock", // 47
    "Ethnic", // 48
    "Gothic", // 49
    "Darkwave", // 50
    "Techno-Industrial", // 51
    "Electronic", // 52
    "Pop-Folk", // 53
    "Eurodance", // 54
    "Dream", // 55
    "Southern Rock", // 56
    "Comedy", // 57
    "Cult", // 58
    "Gangsta", // 59
    "Top 40", // 60
    "Christian Rap", // 61
    "Pop/Funk", // 62
    "Jungle", // 63
    "Native American", // 64
    "Cabaret", // 65
    "New Wave", // 66
    "Psychadelic", // 67
    "Rave", // 68
    "Showtunes", // 69
    "Trailer", // 70
    "Lo-Fi", // 71
    "Tribal", // 72
    "Acid Punk", // 73
    "Acid Jazz", // 74
    "Polka", // 75
    "Retro", // 76
    "Musical", // 77
    "Rock & Roll", // 78
    "Hard Rock", // 79
    "Folk", // 80
    "Folk/Rock", // 81
    "National Folk", // 82
    "Swing", // 83
    "Fast Fusion", // 84
    "Bebob", // 85
    "Latin", // 86
    "Revival", // 87
    "Celtic", // 88
    "Bluegrass", // 89
    "Avantgarde", // 90
    "Gothic Rock", // 91
    "Progressive Rock", // 92
    "Psychedelic Rock", // 93
    "Symphonic Rock", // 94
    "Slow Rock", // 95
    "Big Band", // 96
    "Chorus", // 97
    "Easy Listening", // 98
    "Acoustic", // 99
    "Humour", // 100
    "Speech", // 101
    "Chanson", // 102
    "Opera", // 103
    "Chamber Music", // 104
    "Sonata", // 105
    "Symphony", // 106
    "Booty Bass", // 107
    "Primus", // 108
    "Porn Groove", // 109
    "Satire", // 110
    "Slow Jam", // 111
    "Club", // 112
    "Tango", // 113
    "Samba", // 114
    "Folklore", // 115
    "Ballad", // 116
    "Power Ballad", // 117
    "Rhysmic Soul", // 118
    "Freestyle", // 119
    "Duet", // 120
    "Punk Rock", // 121
    "Drum Solo", // 122
    "Acapella", // 123
    "Euro-House", // 124
    "Dance-Hall", // 125
    "Goa", // 126
    "Drum & Bass", // 127
    "Hardcore", // 128
    "Club-House", // 129
    "Terror", // 130
    "Indie", // 131
    "BritPop", // 132
    "Negerpunk", // 133
    "Polsk Punk", // 134
    "Beat", // 135
    "Christian Gangsta Rap", // 136
    "Heavy Metal", // 137
    "Blank Metal", // 138
    "Crossover", // 139
    "Contemporrary Christian", // 140
    "Christian Rock", // 141
    "Merengue", // 142
    "Salsa", // 143
    "Trash Metal", // 144
    "Anime", // 145
    "JPop", // 146
    "Synthpop", // 147
    "", "", "", "", "", "", "", "", "", "", // 148 to 157
    "", "", "", "", "", "", "", "", "", "", // 158 to 167
    "", "", "", "", "", "", "", "", "", "", // 168 to 177
    "", "", "", "", "", "", "", "", "", "", // 178 to 187
    "", "", "", "", "", "", "", "", "", "", // 188 to 197
    "", "", "", "", "", "", "", "", "", "", // 198 to 207
    "", "", "", "", "", "", "", "", "", "", // 208 to 217
    "", "", "", "", "", "", "", "", "", "", // 218 to 227
    "", "", "", "", "", "", "", "", "", "", // 228 to 237
    "", "", "", "", "", "", "", "", "", "", // 238 to 247
    "Heavy Rock(J)", // 248
    "Doom Rock(J)", // 249
    "J-POP(J)", // 250
    "Seiyu(J)", // 251
    "Tecno Ambient(J)", // 252
    "Moemoe(J)", // 253
    "Tokusatsu(J)", // 254
    "Anime(J)", // 255
};
// clang-format on

namespace {

// The name a content-type reference (the text between the parentheses) stands for; false when the text
// is no reference.
bool NameOfReference(std::string_view reference, std::string& name) {
    if (reference == "RX") {
        name = "Remix";
        return true;
    }
    if (reference == "CR") {
        name = "Cover";
        return true;
    }
    if (reference.empty() || reference.size() > 3) {
        return false;
    }
    int index = 0;
    for (char c : reference) {
        if (!std::isdigit(static_cast<unsigned char>(c))) {
            return false;
        }
        index = index * 10 + (c - '0');
    }
    if (index >= static_cast<int>(GenreNames.size())) {
        return false;
    }
    // 255 is how taggers write "no genre".
    constexpr int kNoGenre = 255;
    name = index == kNoGenre ? std::string() : std::string(GenreNames[static_cast<size_t>(index)]);
    return true;
}

std::string GenreOfOneValue(std::string_view value) {
    // Version 2.4 and many taggers write the bare number.
    std::string bareName;
    if (NameOfReference(value, bareName) && value != "RX" && value != "CR") {
        return bareName;
    }
    bool referenced = false;
    std::string firstName;
    size_t i = 0;
    while (i < value.size() && value[i] == '(') {
        if (i + 1 < value.size() && value[i + 1] == '(') {
            // "((" escapes a refinement text that itself begins with '('.
            ++i;
            break;
        }
        const size_t close = value.find(')', i + 1);
        if (close == std::string_view::npos) {
            break;
        }
        std::string name;
        if (!NameOfReference(value.substr(i + 1, close - i - 1), name)) {
            break;
        }
        if (!referenced) {
            firstName = name;
            referenced = true;
        }
        i = close + 1;
    }
    const std::string_view refinement = value.substr(i);
    if (!refinement.empty() || !referenced) {
        return std::string(refinement);
    }
    return firstName;
}

} // namespace

std::string GenreFromContentType(std::string_view value) {
    // A version 2.4 frame (or an APE item) may hold several genres, which the readers join with "; ";
    // each of them may be a reference of its own.
    constexpr std::string_view kSeparator = "; ";
    std::string genres;
    size_t start = 0;
    while (true) {
        const size_t end = value.find(kSeparator, start);
        const std::string genre = GenreOfOneValue(value.substr(start, end - start));
        if (!genre.empty()) {
            genres += genres.empty() ? "" : kSeparator;
            genres += genre;
        }
        if (end == std::string_view::npos) {
            return genres;
        }
        start = end + kSeparator.size();
    }
}

} // namespace tunelo
