// Checks on decoded 16-bit PCM that several test folders share: clipping and level.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace tunelo::test {

// Runs of two or more samples in a row held at full scale, counted per channel of an interleaved stream
// (each sample that continues a run counts once).
inline int ClippedRuns(const std::vector<int16_t>& samples, size_t channels) {
    int runs = 0;
    for (size_t channel = 0; channel < channels; ++channel) {
        bool previous = false;
        for (size_t i = channel; i < samples.size(); i += channels) {
            const bool clipped = samples[i] >= 32767 || samples[i] <= -32768;
            runs += clipped && previous ? 1 : 0;
            previous = clipped;
        }
    }
    return runs;
}

inline int PeakLevel(const std::vector<int16_t>& samples) {
    int peak = 0;
    for (int16_t sample : samples) {
        peak = std::max(peak, std::abs(int(sample)));
    }
    return peak;
}

} // namespace tunelo::test
