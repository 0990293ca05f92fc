// Helpers of the album tests: a tag reader that needs no audio, temporary folders and files, and a
// current-folder switch that is undone at the end of a test.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "album.h"

namespace tunelo::test {

// Tags made from the file name: title "T:<name>", artist "A:<name>". A path containing "broken" is
// refused as the player refuses a file without MPEG audio. Every path asked for is recorded.
struct TFakeTagReader {
    std::vector<std::string> Asked;

    TAlbum::TTagReader Reader() {
        return [this](const std::string& path) {
            Asked.push_back(path);
            if (path.find("broken") != std::string::npos) {
                throw EMPError("unknown MPEG Audio format.");
            }
            const std::string name = std::filesystem::path(path).filename().string();
            TMusicList tags;
            tags.Title = "T:" + name;
            tags.Artist = "A:" + name;
            tags.Album = "Album";
            tags.Year = "1999";
            tags.Comment = "c";
            tags.Genre = "Rock";
            tags.Track = "7";
            return tags;
        };
    }
};

class TTempFolder {
public:
    TTempFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "tunelo-album-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            ADD_FAILURE() << "mkdtemp failed";
        }
        FPath = pattern;
    }
    ~TTempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(FPath, ignored);
    }
    TTempFolder(const TTempFolder&) = delete;
    TTempFolder& operator=(const TTempFolder&) = delete;

    const std::filesystem::path& Path() const { return FPath; }
    // Creates relative (and its folders) with the given content; returns its full path.
    std::string MakeFile(const std::string& relative, const std::string& content = "x") const {
        const std::filesystem::path full = FPath / relative;
        std::filesystem::create_directories(full.parent_path());
        std::ofstream(full, std::ios::binary) << content;
        return full.string();
    }
    std::string MakeFolder(const std::string& relative) const {
        const std::filesystem::path full = FPath / relative;
        std::filesystem::create_directories(full);
        return full.string();
    }

private:
    std::filesystem::path FPath;
};

class TCurrentFolder {
public:
    explicit TCurrentFolder(const std::filesystem::path& folder) : FOld(std::filesystem::current_path()) {
        std::filesystem::current_path(folder);
    }
    ~TCurrentFolder() { std::filesystem::current_path(FOld); }
    TCurrentFolder(const TCurrentFolder&) = delete;
    TCurrentFolder& operator=(const TCurrentFolder&) = delete;

private:
    std::filesystem::path FOld;
};

inline std::string ReadWholeFile(const std::filesystem::path& path) {
    std::ifstream input(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(input), std::istreambuf_iterator<char>());
}

inline std::vector<std::string> FileNames(const TAlbum& album) {
    std::vector<std::string> names;
    for (int32_t i = 0; i < album.MusicCount(); ++i) {
        names.push_back(album.Entry(i).FileName);
    }
    return names;
}

} // namespace tunelo::test
