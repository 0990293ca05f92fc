// tunelo-cli's album loading on arbitrary album text: the album lies in a scratch folder beside a few
// files and a subfolder, so that lines can name real files (relative, "../", Windows separators) as well
// as anything else. Every path it hands out must name an existing file, at most one per line.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "album.h"
#include "album_arguments.h"

namespace {

using namespace tunelo::cli;
namespace fs = std::filesystem;

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "album_file_fuzzer: %s\n", what);
    std::abort();
}

void Touch(const fs::path& path) {
    std::ofstream(path) << "x";
}

// <scratch>/top.mp3, <scratch>/album/a.mp3, <scratch>/album/sub/b c.mp3; the album is
// <scratch>/album/list.m3u.
const fs::path& AlbumPath() {
    static const fs::path album = [] {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/tunelo-album-fuzz-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) {
            Fail("cannot make a scratch folder");
        }
        static const fs::path root = pattern;
        fs::create_directories(root / "album" / "sub");
        Touch(root / "top.mp3");
        Touch(root / "album" / "a.mp3");
        Touch(root / "album" / "sub" / "b c.mp3");
        std::atexit([] {
            std::error_code error;
            fs::remove_all(root, error);
        });
        return root / "album" / "list.m3u";
    }();
    return album;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const fs::path& album = AlbumPath();
    {
        std::ofstream out(album, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
        if (!out) {
            Fail("cannot write the album");
        }
    }
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::vector<std::string> lines = tunelo::SplitAlbumLines(text);
    size_t total = 0;
    for (const std::string& line : lines) {
        total += line.size();
    }
    if (total > size) {
        Fail("the lines hold more than the text");
    }

    std::vector<std::string> files;
    std::string error;
    if (!LoadAlbum(album.string(), files, error)) {
        Fail("an existing album was not read");
    }
    if (files.size() > lines.size()) {
        Fail("more files than lines");
    }
    for (const std::string& file : files) {
        std::error_code code;
        if (!fs::is_regular_file(file, code) || !fs::path(file).is_absolute()) {
            Fail("a resolved entry is not an existing file with a full path");
        }
    }
    // The album named on a command line among other arguments.
    std::vector<std::string> errors;
    const std::vector<std::string> expanded =
        ExpandFileArguments({"first.mp3", album.string(), "last.mp3"}, errors);
    if (!errors.empty() || expanded.size() != files.size() + 2 || expanded.front() != "first.mp3" ||
        expanded.back() != "last.mp3") {
        Fail("the album's entries do not replace it in place");
    }
    return 0;
}
