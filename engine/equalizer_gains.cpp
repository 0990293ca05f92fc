#include "equalizer_gains.h"

#include <algorithm>
#include <cmath>

namespace tunelo {

double BandGainDecibels(int32_t gain) {
    return gain / 5.0;
}

double BandEdgeOvershootDecibels(double loudest, double quietest) {
    // A tone near the edge between two sub-bands passes through both; with equal gains the synthesis
    // cancels the aliasing each band adds, with gains a > b it gives up to b + (a - b)(1 + sqrt 2) / 2.
    // Any two bands may end up neighbours once a mode maps its bands onto the sub-bands.
    const double ratio = std::pow(10.0, (quietest - loudest) / 20.0);
    const double worst = 1.0 + (1.0 - ratio) * (std::sqrt(2.0) - 1.0) / 2.0;
    return 20.0 * std::log10(worst);
}

double EqualizerShiftDecibels(std::span<const int32_t> gains, double preampDecibels) {
    if (gains.empty()) {
        return std::min(preampDecibels, 0.0);
    }
    const auto [quietestGain, loudestGain] = std::minmax_element(gains.begin(), gains.end());
    const double loudest = BandGainDecibels(*loudestGain);
    const double quietest = BandGainDecibels(*quietestGain);
    return std::min(preampDecibels - std::max(loudest, 0.0),
                    -loudest - BandEdgeOvershootDecibels(loudest, quietest));
}

float EqualizerFactor(int32_t gain, double shiftDecibels) {
    return static_cast<float>(std::pow(10.0, (BandGainDecibels(gain) + shiftDecibels) / 20.0));
}

int32_t SubbandCentreFrequency(int32_t sampleRate, int32_t subband) {
    return static_cast<int32_t>(std::nearbyint(sampleRate / 64.0 * (subband + 0.5)));
}

} // namespace tunelo
