// The settings file reader and writer on arbitrary file content: every section and key found is read
// in every form, then written, erased and read back, and the results are checked against each other.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "ini_file.h"

namespace {

using namespace tunelo;

constexpr size_t kMaxSections = 8;
constexpr size_t kMaxKeys = 16;

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "ini_file_fuzzer: %s\n", what);
    std::abort();
}

// One scratch file for the life of the process, removed at exit.
const std::string& ScratchFile() {
    static const std::string path = [] {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/tunelo-ini-fuzz-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) {
            Fail("cannot make a scratch folder");
        }
        static std::string folder = pattern;
        std::atexit([] {
            std::remove((folder + "/settings.ini").c_str());
            rmdir(folder.c_str());
        });
        return pattern + "/settings.ini";
    }();
    return path;
}

void CheckKey(const TMPIniFile& ini, const std::string& section, const std::string& key) {
    if (!ini.ValueExists(section, key)) {
        Fail("a key listed by ReadSection does not exist");
    }
    const std::string text = ini.ReadString(section, key, "");
    int32_t parsed = 0;
    const bool number = ParseIniInteger(text, parsed);
    if (ini.ReadInteger(section, key, -7) != (number ? parsed : -7)) {
        Fail("ReadInteger disagrees with the text it reads");
    }
    if (ini.ReadBool(section, key, true) != (number ? parsed != 0 : true)) {
        Fail("ReadBool disagrees with ReadInteger");
    }
}

void WriteAndErase(TMPIniFile& ini, const std::string& section, const std::vector<std::string>& keys) {
    const std::string key = keys.empty() ? std::string("Added") : keys.front();
    if (ini.WriteInteger(section, key, -2147483647 - 1)) {
        if (ini.ReadInteger(section, key, 0) != -2147483647 - 1 || !ini.ValueExists(section, key)) {
            Fail("a written value does not read back");
        }
    }
    if (ini.WriteString(section, "Fresh Key", "  spaced value  ")) {
        if (ini.ReadString(section, "fresh key", "") != "spaced value") {
            Fail("an added key does not read back");
        }
    }
    ini.DeleteKey(section, key);
    if (ini.EraseSection(section) && ini.SectionExists(section)) {
        Fail("an erased section is still there");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string& path = ScratchFile();
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
        if (!out) {
            Fail("cannot write the scratch file");
        }
    }
    TMPIniFile ini(path);
    const std::vector<std::string> sections = ini.ReadSections();
    for (size_t s = 0; s < sections.size() && s < kMaxSections; ++s) {
        const std::string& section = sections[s];
        if (!ini.SectionExists(section)) {
            Fail("a listed section does not exist");
        }
        const std::vector<std::string> keys = ini.ReadSection(section);
        for (size_t k = 0; k < keys.size() && k < kMaxKeys; ++k) {
            CheckKey(ini, section, keys[k]);
        }
    }
    if (!sections.empty()) {
        WriteAndErase(ini, sections.front(), ini.ReadSection(sections.front()));
    }
    // A section that is not in the file yet is added at its end.
    if (ini.WriteBool("Fuzz Added", "Flag", true) && !ini.ReadBool("FUZZ ADDED", "flag", false)) {
        Fail("a new section does not read back");
    }
    return 0;
}
