#include "AlbumFile.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

namespace tunelo::cli {

namespace {

namespace fs = std::filesystem;

bool IsExistingFile(const fs::path& path) {
    std::error_code error;
    return fs::is_regular_file(path, error);
}

// The line against the current folder, else against the album's folder; empty when neither is a file.
std::string FindFile(const std::string& line, const fs::path& albumFolder) {
    std::error_code error;
    const fs::path inCurrent = fs::absolute(fs::path(line), error).lexically_normal();
    if (!error && !line.empty() && IsExistingFile(inCurrent)) {
        return inCurrent.string();
    }
    const fs::path inAlbum = (albumFolder / fs::path(line)).lexically_normal();
    if (!line.empty() && IsExistingFile(inAlbum)) {
        return inAlbum.string();
    }
    return {};
}

} // namespace

bool IsAlbumFile(const std::string& path) {
    std::string extension = fs::path(path).extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension == ".m3u";
}

std::vector<std::string> AlbumLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        size_t cut = end;
        if (cut > start && text[cut - 1] == '\r') {
            --cut;
        }
        lines.push_back(text.substr(start, cut - start));
        start = end + 1;
    }
    return lines;
}

std::string ResolveAlbumLine(const std::string& line, const std::string& albumPath) {
    std::error_code error;
    fs::path albumFolder = fs::absolute(fs::path(albumPath), error).parent_path();
    if (std::string found = FindFile(line, albumFolder); !found.empty()) {
        return found;
    }
    if (line.find('\\') == std::string::npos) {
        return {};
    }
    std::string slashed = line;
    std::replace(slashed.begin(), slashed.end(), '\\', '/');
    return FindFile(slashed, albumFolder);
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
    for (const std::string& line : AlbumLines(text)) {
        if (std::string found = ResolveAlbumLine(line, albumPath); !found.empty()) {
            files.push_back(std::move(found));
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
