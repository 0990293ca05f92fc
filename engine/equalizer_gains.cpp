#include "equalizer_gains.h"

#include <algorithm>
#include <cmath>

namespace tunelo {

double BandGainDecibels(int32_t gain) {
    return gain / 5.0;
}

double EqualizerShiftDecibels(std::span<const int32_t> gains, double preampDecibels) {
    const double loudest =
        gains.empty() ? 0.0 : BandGainDecibels(*std::max_element(gains.begin(), gains.end()));
    return std::min(preampDecibels - std::max(loudest, 0.0), -loudest);
}

float EqualizerFactor(int32_t gain, double shiftDecibels) {
    return static_cast<float>(std::pow(10.0, (BandGainDecibels(gain) + shiftDecibels) / 20.0));
}

int32_t SubbandCentreFrequency(int32_t sampleRate, int32_t subband) {
    return static_cast<int32_t>(std::nearbyint(sampleRate / 64.0 * (subband + 0.5)));
}

} // namespace tunelo
