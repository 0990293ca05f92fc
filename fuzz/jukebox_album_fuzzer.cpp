// The jukebox's album files on arbitrary text: the album is loaded (lines split at CR, LF and Ctrl-Z,
// resolved against the current folder and the album's folder, with Windows separators), saved again
// and the saved file loaded back, which must give the same entries. The album lies in a scratch folder
// beside a few files and a subfolder; the current folder is an empty one of its own, so that what the
// lines name does not depend on where the fuzzer runs.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "album.h"

namespace {

using namespace tunelo;
namespace fs = std::filesystem;

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "jukebox_album_fuzzer: %s\n", what);
    std::abort();
}

void Touch(const fs::path& path) {
    std::ofstream(path) << "x";
}

struct TScratch {
    fs::path Root;
    fs::path Album;
    fs::path Saved;
};

// <scratch>/top.mp3, <scratch>/album/a.mp3, <scratch>/album/sub/b c.mp3, <scratch>/album/sub/x\y.mp3;
// the album is <scratch>/album/list.m3u, the current folder <scratch>/deep/current.
const TScratch& Scratch() {
    static const TScratch scratch = [] {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/tunelo-jukebox-fuzz-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) {
            Fail("cannot make a scratch folder");
        }
        const fs::path root = pattern;
        fs::create_directories(root / "album" / "sub");
        fs::create_directories(root / "deep" / "current");
        Touch(root / "top.mp3");
        Touch(root / "album" / "a.mp3");
        Touch(root / "album" / "sub" / "b c.mp3");
        Touch(root / "album" / "sub" / "x\\y.mp3");
        if (chdir((root / "deep" / "current").c_str()) != 0) {
            Fail("cannot enter the scratch folder");
        }
        static const fs::path removeAtExit = root;
        std::atexit([] {
            std::error_code error;
            fs::remove_all(removeAtExit, error);
        });
        return TScratch{root, root / "album" / "list.m3u", root / "album" / "saved.m3u"};
    }();
    return scratch;
}

TMusicList ReadTags(const std::string& path) {
    TMusicList entry;
    entry.Title = fs::path(path).filename().string();
    return entry;
}

std::vector<std::string> FileNames(const TAlbum& album) {
    std::vector<std::string> names;
    for (int32_t i = 0; i < album.MusicCount(); ++i) {
        names.push_back(album.Entry(i).FileName);
    }
    return names;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const TScratch& scratch = Scratch();
    {
        std::ofstream out(scratch.Album, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
        if (!out) {
            Fail("cannot write the album");
        }
    }
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::vector<std::string> lines = SplitAlbumLines(text);
    std::istringstream stream(text);
    TAlbumLineReader reader(stream);
    size_t read = 0;
    for (std::string line; reader.Next(line); ++read) {
        if (read >= lines.size() || line != lines[read]) {
            Fail("the line reader and SplitAlbumLines disagree");
        }
    }
    if (read != lines.size()) {
        Fail("the line reader and SplitAlbumLines disagree on the count");
    }

    TAlbum album(ReadTags);
    int32_t changes = 0;
    album.OnChanged = [&changes] { ++changes; };
    try {
        if (album.LoadAlbum(scratch.Album.string()) != TAlbum::TLoadResult::Loaded) {
            Fail("an existing album was not found");
        }
    } catch (const EMPError&) {
        // A full album refuses the rest; what was added stays.
        if (album.MusicCount() != TAlbum::kCapacity) {
            Fail("loading failed before the album was full");
        }
    }
    if (static_cast<size_t>(album.MusicCount()) > lines.size() || changes > 1) {
        Fail("more entries than lines, or more than one change report");
    }
    for (const std::string& name : FileNames(album)) {
        std::error_code error;
        if (!fs::path(name).is_absolute() || !fs::is_regular_file(name, error)) {
            Fail("an entry is not an existing file with a full path");
        }
    }

    album.SaveAlbum(scratch.Saved.string());
    TAlbum again(ReadTags);
    if (again.LoadAlbum(scratch.Saved.string()) != TAlbum::TLoadResult::Loaded ||
        FileNames(again) != FileNames(album)) {
        Fail("the saved album does not load back to the same entries");
    }
    return 0;
}
