#include "file_bytes.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include <sys/stat.h>

namespace tunelo::cli {

namespace {

void AppendRest(FILE* file, std::vector<uint8_t>& bytes) {
    uint8_t chunk[65536];
    for (;;) {
        const size_t n = std::fread(chunk, 1, sizeof chunk, file);
        bytes.insert(bytes.end(), chunk, chunk + n);
        if (n < sizeof chunk) {
            break;
        }
    }
}

} // namespace

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& bytes, std::string& reason) {
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
    if (!file) {
        reason = std::strerror(errno);
        return false;
    }
    bytes.clear();
    // One read into a buffer sized from the file avoids regrowing the buffer (and the page faults
    // that come with it) on long files; pipes and other unsized inputs fall back to chunked reads.
    struct stat info {};
    if (fstat(fileno(file.get()), &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0) {
        const auto expected = static_cast<size_t>(info.st_size);
        bytes.resize(expected);
        const size_t n = std::fread(bytes.data(), 1, expected, file.get());
        bytes.resize(n);
        if (n == expected && !std::ferror(file.get())) {
            AppendRest(file.get(), bytes); // the file grew after fstat
        }
    } else {
        AppendRest(file.get(), bytes);
    }
    if (std::ferror(file.get())) {
        reason = std::strerror(errno ? errno : EIO);
        return false;
    }
    return true;
}

size_t LeadingId3v2Size(const uint8_t* bytes, size_t size) {
    if (size < 10 || bytes[0] != 'I' || bytes[1] != 'D' || bytes[2] != '3') {
        return 0;
    }
    for (int i = 6; i < 10; ++i) {
        if (bytes[i] & 0x80) {
            return 0; // not a sync-safe size: not a tag
        }
    }
    size_t body = (size_t{bytes[6]} << 21) | (size_t{bytes[7]} << 14) | (size_t{bytes[8]} << 7) | bytes[9];
    const size_t footer = (bytes[5] & 0x10) ? 10 : 0;
    return 10 + body + footer;
}

} // namespace tunelo::cli
