#include "album_arguments.h"

#include "album.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <system_error>

namespace tunelo::cli {

namespace {

namespace fs = std::filesystem;

bool IsExistingFile(const fs::path& path) {
    std::error_code error;
    return fs::is_regular_file(path, error);
}

} // namespace

bool IsAlbumFile(const std::string& path) {
    std::string extension = fs::path(path).extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension == ".m3u" || extension == ".m3u8" || extension == ".pls";
}

bool LoadAlbum(const std::string& albumPath, std::vector<std::string>& files, std::string& error) {
    if (!IsExistingFile(albumPath)) {
        error = "File not found. (" + albumPath + ")";
        return false;
    }
    std::ifstream in(albumPath, std::ios::binary);
    if (!in) {
        error = "File not found. (" + albumPath + ")";
        return false;
    }
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::error_code noFolder;
    const std::string albumFolder = fs::absolute(fs::path(albumPath), noFolder).parent_path().string();
    const std::vector<std::string> lines =
        IsPlsFileName(albumPath) ? PlsEntryLines(text) : SplitAlbumLines(text);
    for (const std::string& line : lines) {
        if (line.starts_with('#')) {
            continue; // an extended-M3U line or a comment
        }
        if (std::optional<std::string> found = ResolveAlbumLine(line, albumFolder)) {
            files.push_back(std::move(*found));
        }
    }
    return true;
}

std::vector<std::string> ExpandFileArguments(const std::vector<std::string>& arguments,
                                             std::vector<std::string>& errors) {
    std::vector<std::string> files;
    for (const std::string& argument : arguments) {
        if (!IsAlbumFile(argument)) {
            files.push_back(argument);
            continue;
        }
        std::string error;
        if (!LoadAlbum(argument, files, error)) {
            errors.push_back(error);
        }
    }
    return files;
}

} // namespace tunelo::cli
