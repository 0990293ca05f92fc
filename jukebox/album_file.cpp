// Album files: reading M3U, M3U8 and PLS and finding the files they name, writing extended M3U with entries
// relative to the album file's folder through a temporary file.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <sstream>
#include <system_error>

#include "album.h"

namespace fs = std::filesystem;

namespace tunelo {

namespace {

constexpr char kEndOfText = 26; // Ctrl-Z

// Absolute and without "." and ".." steps; relative to "/" when there is no current folder.
fs::path FullPath(const fs::path& path) {
    std::error_code error;
    fs::path full = fs::absolute(path, error);
    if (error) {
        full = fs::path("/") / path;
    }
    return full.lexically_normal();
}

bool IsRegularFile(const fs::path& path) {
    std::error_code error;
    return fs::is_regular_file(path, error);
}

// The folder names of an absolute, normalised folder path, without the root and without the empty name
// a trailing "/" leaves.
std::vector<std::string> FolderNames(const fs::path& folder) {
    std::vector<std::string> names;
    for (const fs::path& part : folder.relative_path()) {
        if (!part.empty()) {
            names.push_back(part.string());
        }
    }
    return names;
}

// The device of path, or of its nearest folder that exists; false when not even "/" can be asked.
bool DeviceOf(fs::path path, dev_t& device) {
    for (;;) {
        struct stat info;
        if (::stat(path.c_str(), &info) == 0) {
            device = info.st_dev;
            return true;
        }
        if (!path.has_relative_path()) {
            return false;
        }
        path = path.parent_path();
    }
}

std::optional<std::string> FindFile(const std::string& line, const fs::path& albumFolder) {
    const fs::path candidate(line);
    const fs::path fromCurrent = FullPath(candidate);
    if (IsRegularFile(fromCurrent)) {
        return fromCurrent.string();
    }
    if (candidate.is_relative()) {
        const fs::path fromAlbum = (albumFolder / candidate).lexically_normal();
        if (IsRegularFile(fromAlbum)) {
            return fromAlbum.string();
        }
    }
    return std::nullopt;
}

[[noreturn]] void RaiseFileError(const std::string& what, const std::string& path, int error) {
    throw EMPError(what + " (" + path + "): " + std::strerror(error));
}

// The file descriptor of a new, empty file beside target, created with the usual permissions (0666 less
// the process's umask); its name goes to temporary.
int CreateTemporaryBeside(const fs::path& target, std::string& temporary) {
    std::random_device entropy;
    for (int attempt = 0; attempt < 16; ++attempt) {
        temporary = target.string() + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(entropy());
        const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) {
            return fd;
        }
    }
    errno = EEXIST;
    return -1;
}

bool WriteAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t written = ::write(fd, text.data() + done, text.size() - done);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        done += static_cast<size_t>(written);
    }
    return true;
}

// Replaces target's content with text through a temporary file renamed over it; on any failure the
// temporary file is removed and target is as it was.
void ReplaceFile(const fs::path& target, const std::string& text, const std::string& shownPath) {
    std::string temporary;
    const int fd = CreateTemporaryBeside(target, temporary);
    if (fd < 0) {
        RaiseFileError("Cannot save the album file", shownPath, errno);
    }
    struct stat old;
    if (::stat(target.c_str(), &old) == 0) {
        ::fchmod(fd, old.st_mode & 07777); // keep the permissions the album file had; best effort
    }
    bool ok = WriteAll(fd, text) && ::fsync(fd) == 0;
    int error = errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (ok && ::rename(temporary.c_str(), target.c_str()) != 0) {
        ok = false;
        error = errno;
    }
    if (!ok) {
        ::unlink(temporary.c_str());
        RaiseFileError("Cannot save the album file", shownPath, error);
    }
}

std::string Trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::string LowerCase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// "scheme:" with a scheme of two letters or more (one letter is a Windows drive).
bool HasUrlScheme(const std::string& text) {
    const size_t colon = text.find(':');
    if (colon == std::string::npos || colon < 2 || !std::isalpha(static_cast<unsigned char>(text[0]))) {
        return false;
    }
    return std::all_of(text.begin(), text.begin() + static_cast<long>(colon),
                       [](unsigned char c) { return std::isalnum(c) || c == '+' || c == '-' || c == '.'; });
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

// The path of a file: URL ("file:///a%20b.mp3", "file://localhost/a.mp3"), percent escapes decoded.
std::optional<std::string> LocalPathOfUrl(const std::string& url) {
    if (LowerCase(url.substr(0, 5)) != "file:") {
        return std::nullopt;
    }
    std::string rest = url.substr(5);
    if (rest.starts_with("//")) {
        const size_t slash = rest.find('/', 2);
        const std::string host =
            LowerCase(rest.substr(2, slash == std::string::npos ? std::string::npos : slash - 2));
        if (slash == std::string::npos || (!host.empty() && host != "localhost")) {
            return std::nullopt;
        }
        rest = rest.substr(slash);
    }
    std::string decoded;
    for (size_t i = 0; i < rest.size(); ++i) {
        if (rest[i] == '%' && i + 2 < rest.size() && HexValue(rest[i + 1]) >= 0 &&
            HexValue(rest[i + 2]) >= 0) {
            decoded.push_back(static_cast<char>(HexValue(rest[i + 1]) * 16 + HexValue(rest[i + 2])));
            i += 2;
        } else {
            decoded.push_back(rest[i]);
        }
    }
    if (decoded.empty() || decoded.find('\0') != std::string::npos) {
        return std::nullopt;
    }
    return decoded;
}

// What an #EXTINF line says of an entry: its length in whole seconds (-1 unknown) and its title on one line.
std::string ExtInfLine(const TMusicList& entry) {
    const long seconds = entry.LengthMs > 0 ? (static_cast<long>(entry.LengthMs) + 500) / 1000 : -1;
    std::string title = GridTitle(entry);
    std::replace_if(
        title.begin(), title.end(), [](char c) { return c == '\r' || c == '\n' || c == kEndOfText; }, ' ');
    return "#EXTINF:" + std::to_string(seconds) + "," + title;
}

} // namespace

// ---- Reading ----

bool TAlbumLineReader::Next(std::string& line) {
    line.clear();
    FTooLong = false;
    if (FEnded) {
        return false;
    }
    std::streambuf* input = FInput.rdbuf();
    bool consumed = false; // a line exists once any of its characters or its end has been read
    for (;;) {
        const int c = input->sbumpc();
        if (c == std::char_traits<char>::eof() || c == kEndOfText) {
            FEnded = true;
            break;
        }
        consumed = true;
        if (c == '\r') {
            if (input->sgetc() == '\n') {
                input->sbumpc();
            }
            break;
        }
        if (c == '\n') {
            break;
        }
        if (line.size() < kMaxLineBytes) {
            line.push_back(static_cast<char>(c));
        } else {
            FTooLong = true;
        }
    }
    if (!FStarted) {
        FStarted = true;
        static constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
        if (std::string_view(line).starts_with(kByteOrderMark)) {
            line.erase(0, kByteOrderMark.size());
        }
    }
    return consumed;
}

std::vector<std::string> SplitAlbumLines(std::string_view text) {
    std::istringstream input{std::string(text)};
    TAlbumLineReader reader(input);
    std::vector<std::string> lines;
    std::string line;
    while (reader.Next(line)) {
        lines.push_back(line);
    }
    return lines;
}

std::optional<std::string> ResolveAlbumLine(const std::string& line, const std::string& albumFolder) {
    // An empty line would name the folder itself; a NUL would cut the name the system sees.
    if (line.empty() || line.find('\0') != std::string::npos) {
        return std::nullopt;
    }
    const fs::path folder = FullPath(albumFolder);
    if (auto found = FindFile(line, folder)) {
        return found;
    }
    if (line.find('\\') == std::string::npos) {
        return std::nullopt;
    }
    // Written on Windows: its folder separator.
    std::string slashed = line;
    std::replace(slashed.begin(), slashed.end(), '\\', '/');
    return FindFile(slashed, folder);
}

bool IsPlsFileName(const std::string& path) {
    return LowerCase(fs::path(path).extension().string()) == ".pls";
}

std::vector<std::string> PlsEntryLines(std::string_view text) {
    std::map<long, std::string> entries;
    bool inPlaylist = false;
    for (const std::string& raw : SplitAlbumLines(text)) {
        const std::string line = Trimmed(raw);
        if (line.starts_with('[')) {
            inPlaylist = LowerCase(line) == "[playlist]";
            continue;
        }
        const size_t equals = line.find('=');
        if (!inPlaylist || equals == std::string::npos || LowerCase(line.substr(0, 4)) != "file") {
            continue;
        }
        const std::string number = Trimmed(line.substr(4, equals - 4));
        if (number.empty() || number.size() > 9 ||
            !std::all_of(number.begin(), number.end(), [](unsigned char c) { return std::isdigit(c); })) {
            continue;
        }
        const std::string value = Trimmed(line.substr(equals + 1));
        if (value.empty()) {
            continue;
        }
        if (const auto local = LocalPathOfUrl(value)) {
            entries[std::stol(number)] = *local;
        } else if (!HasUrlScheme(value)) {
            entries[std::stol(number)] = value;
        }
    }
    std::vector<std::string> lines;
    for (auto& [number, value] : entries) {
        lines.push_back(std::move(value));
    }
    return lines;
}

TAlbum::TLoadResult TAlbum::LoadAlbum(const std::string& path, TAddFailures* failures) {
    // Only a regular file is an album file; a folder or a device is "not found" as well (a device could
    // be endless).
    if (!IsRegularFile(path)) {
        return TLoadResult::NotFound;
    }
    std::ifstream input(path, std::ios::binary);
    if (!input) {
        RaiseFileError("Cannot read the album file", path, errno);
    }
    const fs::path albumFolder = FullPath(path).parent_path();

    BeginUpdate();
    struct TUpdateEnd {
        TAlbum& Album;
        ~TUpdateEnd() { Album.EndUpdate(); }
    } updateEnd{*this};

    std::vector<std::string> lines;
    if (IsPlsFileName(path)) {
        const std::string text{std::istreambuf_iterator<char>(input), std::istreambuf_iterator<char>()};
        lines = PlsEntryLines(text);
    } else {
        TAlbumLineReader reader(input);
        std::string line;
        while (reader.Next(line)) {
            // Comments and the extended M3U information lines.
            if (!reader.LineTooLong() && !line.starts_with('#')) {
                lines.push_back(line);
            }
        }
    }
    if (input.bad()) {
        RaiseFileError("Cannot read the album file", path, errno);
    }
    for (const std::string& line : lines) {
        const auto found = ResolveAlbumLine(line, albumFolder.string());
        if (!failures) {
            if (found) {
                AddEntry(*found);
            }
            continue;
        }
        if (!found) {
            if (!Trimmed(line).empty()) {
                failures->push_back({line, "file not found (named in " + path + ")"});
            }
            continue;
        }
        try {
            AddEntry(*found);
        } catch (const std::exception& error) {
            failures->push_back({*found, AddFailureReason(*found, error)});
        }
    }
    return TLoadResult::Loaded;
}

// ---- Writing ----

std::string LexicalRelativePath(const std::string& albumFolder, const std::string& entryPath) {
    const fs::path entry = FullPath(entryPath);
    const std::vector<std::string> fromNames = FolderNames(FullPath(albumFolder));
    const std::vector<std::string> toNames = FolderNames(entry.parent_path());

    size_t common = 0;
    while (common < fromNames.size() && common < toNames.size() && fromNames[common] == toNames[common]) {
        ++common;
    }
    std::string relative;
    for (size_t i = common; i < fromNames.size(); ++i) {
        relative += "../";
    }
    for (size_t i = common; i < toNames.size(); ++i) {
        relative += toNames[i];
        relative += '/';
    }
    relative += entry.filename().string();
    return relative;
}

std::string RelativeAlbumPath(const std::string& albumFolder, const std::string& entryPath) {
    const fs::path folder = FullPath(albumFolder);
    const fs::path entry = FullPath(entryPath);
    dev_t folderDevice = 0;
    dev_t entryDevice = 0;
    if (!DeviceOf(folder, folderDevice) || !DeviceOf(entry, entryDevice) || folderDevice != entryDevice) {
        return entry.string();
    }
    return LexicalRelativePath(folder.string(), entry.string());
}

void TAlbum::SaveAlbum(const std::string& path) const {
    fs::path target = FullPath(path);
    const std::string folder = target.parent_path().string();

    std::string text = "#EXTM3U\r\n";
    for (const TMusicList& entry : FEntries) {
        if (entry.FileName.find_first_of(std::string_view("\r\n\x1a\0", 4)) != std::string::npos) {
            throw EMPError("Cannot save the album file (" + path +
                           "): this file name holds a line break or control character that an album "
                           "file cannot keep: " +
                           entry.FileName);
        }
        text += ExtInfLine(entry);
        text += "\r\n";
        text += RelativeAlbumPath(folder, entry.FileName);
        text += "\r\n";
    }

    // An album file reached through a symbolic link is rewritten where it lies; the link stays.
    std::error_code error;
    if (fs::is_symlink(target, error)) {
        const fs::path resolved = fs::canonical(target, error);
        if (!error) {
            target = resolved;
        }
    }
    ReplaceFile(target, text, path);
}

} // namespace tunelo
