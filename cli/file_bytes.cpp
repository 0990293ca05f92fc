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

} // namespace tunelo::cli
