// Helpers of the command-line tests: running commands, reading PCM, and the accuracy measure of
// ISO/IEC 11172-4 (RMS and largest absolute difference in 16-bit units).
#pragma once

#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace tunelo::test {

inline std::vector<int16_t> ReadPcm(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        // A missing stream must not pass as "nothing to compare".
        ADD_FAILURE() << "cannot read " << path;
        return {};
    }
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<int16_t> samples(bytes.size() / 2);
    for (size_t i = 0; i < samples.size(); ++i) {
        samples[i] = static_cast<int16_t>(static_cast<uint8_t>(bytes[2 * i]) |
                                          (static_cast<uint8_t>(bytes[2 * i + 1]) << 8));
    }
    return samples;
}

struct TAccuracy {
    double Rms = 0;
    int MaxDiff = 0;
    size_t Compared = 0;
    bool Full() const { return Rms < 1.0 / std::sqrt(12.0) && MaxDiff <= 2; }
};

// Compares over the shorter of the two lengths.
inline TAccuracy Compare(const std::vector<int16_t>& a, const std::vector<int16_t>& b) {
    TAccuracy r;
    r.Compared = std::min(a.size(), b.size());
    double sum = 0;
    for (size_t i = 0; i < r.Compared; ++i) {
        const int d = a[i] - b[i];
        sum += static_cast<double>(d) * d;
        r.MaxDiff = std::max(r.MaxDiff, std::abs(d));
    }
    r.Rms = r.Compared ? std::sqrt(sum / static_cast<double>(r.Compared)) : 0.0;
    return r;
}

// A stream name as a test name: letters and digits only.
inline std::string TestName(std::string name) {
    for (char& ch : name) {
        if (!std::isalnum(static_cast<unsigned char>(ch))) {
            ch = '_';
        }
    }
    return name;
}

inline int RunCommand(const std::string& command) {
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

inline bool HaveTool(const std::string& tool) {
    return RunCommand("command -v " + tool + " >/dev/null 2>&1") == 0;
}

// A scratch folder removed at the end of the test.
class TScratchDir {
public:
    TScratchDir() {
        char pattern[] = "/tmp/tunelo-test-XXXXXX";
        Path_ = mkdtemp(pattern);
    }
    ~TScratchDir() {
        std::error_code ec;
        std::filesystem::remove_all(Path_, ec);
    }
    std::string File(const std::string& name) const { return Path_ + "/" + name; }

private:
    std::string Path_;
};

} // namespace tunelo::test
