#include "ini_file.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <mutex>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tunelo {

namespace {

constexpr const char* kBlanks = " \t";

std::string Trim(const std::string& text) {
    const size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string::npos) {
        return {};
    }
    const size_t last = text.find_last_not_of(kBlanks);
    return text.substr(first, last - first + 1);
}

bool SameName(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) {
            return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        };
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

// One line of the file as it was read, with what it means.
struct TLine {
    enum TKind { lkOther, lkSection, lkKey };
    TKind Kind = lkOther;
    std::string Text;  // the line as written (without its line end)
    std::string Name;  // section or key name, trimmed
    std::string Value; // key value, trimmed
};

TLine ParseLine(const std::string& text) {
    TLine line;
    line.Text = text;
    const std::string trimmed = Trim(text);
    if (trimmed.empty() || trimmed[0] == ';') {
        return line;
    }
    if (trimmed[0] == '[') {
        const size_t close = trimmed.find(']');
        line.Kind = TLine::lkSection;
        line.Name = Trim(trimmed.substr(1, close == std::string::npos ? std::string::npos : close - 1));
        return line;
    }
    const size_t equals = trimmed.find('=');
    if (equals == std::string::npos || equals == 0) {
        return line;
    }
    line.Kind = TLine::lkKey;
    line.Name = Trim(trimmed.substr(0, equals));
    line.Value = Trim(trimmed.substr(equals + 1));
    return line;
}

std::vector<TLine> LoadLines(const std::string& fileName) {
    std::vector<TLine> lines;
    std::ifstream in(fileName, std::ios::binary);
    if (!in) {
        return lines;
    }
    std::string text;
    while (std::getline(in, text)) {
        if (!text.empty() && text.back() == '\r') {
            text.pop_back();
        }
        // A byte-order mark left by an editor would hide the first section. All of them go: one left
        // behind would lead the file once it is rewritten and change what its first line says.
        while (lines.empty() && text.rfind("\xEF\xBB\xBF", 0) == 0) {
            text.erase(0, 3);
        }
        lines.push_back(ParseLine(text));
    }
    return lines;
}

// The range [begin, end) of the lines of the first section of that name (begin is its heading), or
// begin == end == npos when there is none.
struct TSectionRange {
    size_t Begin = std::string::npos;
    size_t End = std::string::npos;
    bool Found() const { return Begin != std::string::npos; }
};

TSectionRange FindSection(const std::vector<TLine>& lines, const std::string& section, size_t from = 0) {
    TSectionRange range;
    for (size_t i = from; i < lines.size(); ++i) {
        if (lines[i].Kind != TLine::lkSection) {
            continue;
        }
        if (range.Found()) {
            range.End = i;
            return range;
        }
        if (SameName(lines[i].Name, section)) {
            range.Begin = i;
        }
    }
    if (range.Found()) {
        range.End = lines.size();
    }
    return range;
}

size_t FindKey(const std::vector<TLine>& lines, const TSectionRange& range, const std::string& key) {
    if (!range.Found()) {
        return std::string::npos;
    }
    for (size_t i = range.Begin + 1; i < range.End; ++i) {
        if (lines[i].Kind == TLine::lkKey && SameName(lines[i].Name, key)) {
            return i;
        }
    }
    return std::string::npos;
}

bool HasLineBreak(const std::string& text) {
    return text.find_first_of("\r\n") != std::string::npos;
}

// Read-modify-write cycles of this process do not interleave.
std::mutex& WriteLock() {
    static std::mutex lock;
    return lock;
}

std::string ParentFolder(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

void MakeFolders(const std::string& folder) {
    if (folder.empty() || folder == "/" || folder == ".") {
        return;
    }
    struct stat info {};
    if (stat(folder.c_str(), &info) == 0) {
        return;
    }
    MakeFolders(ParentFolder(folder));
    mkdir(folder.c_str(), 0700);
}

// Writes the lines to a new file beside the target and renames it over the target.
bool StoreLines(const std::string& fileName, const std::vector<TLine>& lines) {
    std::string target = fileName;
    if (char* resolved = realpath(fileName.c_str(), nullptr)) {
        // Through a symbolic link: replace the file it names, not the link.
        target = resolved;
        free(resolved);
    }

    static std::atomic<uint32_t> counter{0};
    std::string temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temporary = target + ".tmp." + std::to_string(getpid()) + "." + std::to_string(counter++);
        fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno == ENOENT && attempt == 0) {
            MakeFolders(ParentFolder(target));
        } else if (fd < 0 && errno != EEXIST) {
            return false;
        }
    }
    if (fd < 0) {
        return false;
    }

    std::string text;
    for (const TLine& line : lines) {
        text += line.Text;
        // Reading took one carriage return off the line end; a line that had more gets its CR LF back,
        // or the next read would take its last one and change what the line says.
        if (!line.Text.empty() && line.Text.back() == '\r') {
            text += '\r';
        }
        text += '\n';
    }
    bool ok = true;
    const char* data = text.data();
    size_t left = text.size();
    while (ok && left > 0) {
        const ssize_t written = write(fd, data, left);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        ok = written > 0;
        if (ok) {
            data += written;
            left -= static_cast<size_t>(written);
        }
    }
    struct stat old {};
    if (ok && stat(target.c_str(), &old) == 0) {
        fchmod(fd, old.st_mode & 07777); // keep the permissions the file had; best effort
    }
    ok = ok && fsync(fd) == 0;
    ok = (close(fd) == 0) && ok;
    ok = ok && rename(temporary.c_str(), target.c_str()) == 0;
    if (!ok) {
        unlink(temporary.c_str());
    }
    return ok;
}

TLine KeyLine(const std::string& key, const std::string& value) {
    return ParseLine(key + "=" + value);
}

} // namespace

bool ParseIniInteger(const std::string& text, int32_t& value) {
    const std::string trimmed = Trim(text);
    const char* first = trimmed.data();
    const char* last = first + trimmed.size();
    if (first != last && *first == '+') {
        ++first;
        if (first != last && *first == '-') {
            return false;
        }
    }
    int32_t parsed = 0;
    const auto [end, error] = std::from_chars(first, last, parsed, 10);
    if (error != std::errc() || end != last || first == last) {
        return false;
    }
    value = parsed;
    return true;
}

std::string TMPIniFile::ReadString(const std::string& section, const std::string& key,
                                   const std::string& def) const {
    const std::vector<TLine> lines = LoadLines(FFileName);
    const size_t index = FindKey(lines, FindSection(lines, section), key);
    return index == std::string::npos ? def : lines[index].Value;
}

int32_t TMPIniFile::ReadInteger(const std::string& section, const std::string& key, int32_t def) const {
    const std::vector<TLine> lines = LoadLines(FFileName);
    const size_t index = FindKey(lines, FindSection(lines, section), key);
    int32_t value = def;
    if (index == std::string::npos || !ParseIniInteger(lines[index].Value, value)) {
        return def;
    }
    return value;
}

bool TMPIniFile::ReadBool(const std::string& section, const std::string& key, bool def) const {
    return ReadInteger(section, key, def ? 1 : 0) != 0;
}

bool TMPIniFile::WriteString(const std::string& section, const std::string& key, const std::string& value) {
    // A line break would split the entry and could forge other keys; such a name or value is refused.
    if (HasLineBreak(section) || HasLineBreak(key) || HasLineBreak(value) || Trim(section).empty() ||
        Trim(key).empty() || section.find(']') != std::string::npos || key.find('=') != std::string::npos ||
        Trim(key)[0] == '[' || Trim(key)[0] == ';') {
        return false;
    }
    const std::lock_guard<std::mutex> guard(WriteLock());
    std::vector<TLine> lines = LoadLines(FFileName);
    const TSectionRange range = FindSection(lines, section);
    const size_t index = FindKey(lines, range, key);
    if (index != std::string::npos) {
        lines[index] = KeyLine(lines[index].Name, Trim(value));
    } else if (range.Found()) {
        // After the section's last key, so blank lines that part sections stay where they are.
        size_t at = range.Begin + 1;
        for (size_t i = range.Begin + 1; i < range.End; ++i) {
            if (lines[i].Kind == TLine::lkKey) {
                at = i + 1;
            }
        }
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(at), KeyLine(Trim(key), Trim(value)));
    } else {
        if (!lines.empty() && !Trim(lines.back().Text).empty()) {
            lines.push_back(ParseLine(""));
        }
        // Appended piece by piece: g++ 12 warns falsely (-Wrestrict) about "[" + string + "]" at -O3.
        std::string heading = "[";
        heading += Trim(section);
        heading += ']';
        lines.push_back(ParseLine(heading));
        lines.push_back(KeyLine(Trim(key), Trim(value)));
    }
    return StoreLines(FFileName, lines);
}

bool TMPIniFile::WriteInteger(const std::string& section, const std::string& key, int32_t value) {
    return WriteString(section, key, std::to_string(value));
}

bool TMPIniFile::WriteBool(const std::string& section, const std::string& key, bool value) {
    return WriteString(section, key, value ? "1" : "0");
}

bool TMPIniFile::EraseSection(const std::string& section) {
    const std::lock_guard<std::mutex> guard(WriteLock());
    std::vector<TLine> lines = LoadLines(FFileName);
    bool erased = false;
    for (TSectionRange range = FindSection(lines, section); range.Found();
         range = FindSection(lines, section, range.Begin)) {
        lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(range.Begin),
                    lines.begin() + static_cast<std::ptrdiff_t>(range.End));
        erased = true;
    }
    return !erased || StoreLines(FFileName, lines);
}

bool TMPIniFile::DeleteKey(const std::string& section, const std::string& key) {
    const std::lock_guard<std::mutex> guard(WriteLock());
    std::vector<TLine> lines = LoadLines(FFileName);
    const size_t index = FindKey(lines, FindSection(lines, section), key);
    if (index == std::string::npos) {
        return true;
    }
    lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(index));
    return StoreLines(FFileName, lines);
}

bool TMPIniFile::SectionExists(const std::string& section) const {
    return FindSection(LoadLines(FFileName), section).Found();
}

bool TMPIniFile::ValueExists(const std::string& section, const std::string& key) const {
    const std::vector<TLine> lines = LoadLines(FFileName);
    return FindKey(lines, FindSection(lines, section), key) != std::string::npos;
}

std::vector<std::string> TMPIniFile::ReadSection(const std::string& section) const {
    const std::vector<TLine> lines = LoadLines(FFileName);
    const TSectionRange range = FindSection(lines, section);
    std::vector<std::string> keys;
    if (range.Found()) {
        for (size_t i = range.Begin + 1; i < range.End; ++i) {
            if (lines[i].Kind == TLine::lkKey) {
                keys.push_back(lines[i].Name);
            }
        }
    }
    return keys;
}

std::vector<std::string> TMPIniFile::ReadSections() const {
    std::vector<std::string> sections;
    for (const TLine& line : LoadLines(FFileName)) {
        if (line.Kind == TLine::lkSection) {
            sections.push_back(line.Name);
        }
    }
    return sections;
}

std::string PortableIniPath(const std::string& executablePath) {
    const size_t slash = executablePath.rfind('/');
    const size_t dot = executablePath.rfind('.');
    const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
    return (hasExtension ? executablePath.substr(0, dot) : executablePath) + ".ini";
}

std::string IniPathFor(const std::string& executablePath, bool portableIniExists,
                       const std::string& xdgConfigHome, const std::string& home) {
    if (portableIniExists && !executablePath.empty()) {
        return PortableIniPath(executablePath);
    }
    std::string config = xdgConfigHome;
    if (config.empty() || config[0] != '/') {
        config = home + "/.config";
    }
    return config + "/tunelo/tunelo.ini";
}

std::string ApplicationIniPath() {
    std::string executable;
    char buffer[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", buffer, sizeof(buffer) - 1);
    if (length > 0) {
        executable.assign(buffer, static_cast<size_t>(length));
    }
    // Only a copy the user put there on purpose: a build folder or ~/bin is writable too, and a settings
    // file must not appear in it.
    struct stat info {};
    const bool portable =
        !executable.empty() && stat(PortableIniPath(executable).c_str(), &info) == 0 && S_ISREG(info.st_mode);
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    std::string home;
    if (const char* variable = std::getenv("HOME"); variable && *variable) {
        home = variable;
    } else if (const passwd* user = getpwuid(getuid()); user && user->pw_dir) {
        home = user->pw_dir;
    }
    return IniPathFor(executable, portable, xdg ? xdg : "", home);
}

} // namespace tunelo
