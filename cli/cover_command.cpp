// tunelo-cli cover FILE OUT: writes the file's embedded picture (the front cover, else the first) to OUT
// byte for byte, through a temporary file renamed into place.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>

#include "commands.h"
#include "tag_scan.h"

namespace tunelo::cli {

namespace {

bool WriteWholeFile(const std::string& path, const std::string& bytes, std::string& reason) {
    const std::string temporary = path + ".part-" + std::to_string(getpid());
    FILE* file = std::fopen(temporary.c_str(), "wb");
    if (file == nullptr) {
        reason = std::strerror(errno);
        return false;
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    const int writeError = errno;
    const bool closed = std::fclose(file) == 0;
    const int closeError = errno;
    if (!written || !closed || std::rename(temporary.c_str(), path.c_str()) != 0) {
        reason = std::strerror(!written ? writeError : !closed ? closeError : errno);
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}

} // namespace

int RunCover(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: tunelo-cli cover FILE OUT\n");
        return 2;
    }
    const std::string in = argv[0];
    const std::string out = argv[1];
    TTagScan scan;
    std::string reason;
    if (!scan.Open(in, {}, reason)) {
        std::fprintf(stderr, "%s: %s\n", in.c_str(), reason.c_str());
        return 1;
    }
    const TMPPicture& picture = scan.Info().Picture();
    if (picture.Empty()) {
        std::fprintf(stderr, "%s: no picture in the tags\n", in.c_str());
        return 1;
    }
    if (!WriteWholeFile(out, picture.Data, reason)) {
        std::fprintf(stderr, "%s: %s\n", out.c_str(), reason.c_str());
        return 1;
    }
    return 0;
}

} // namespace tunelo::cli
