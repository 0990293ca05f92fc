// ReplayGain applied to decoded 16-bit PCM.
#pragma once

#include <cstdint>

namespace tunelo {

// Scales count bytes of 16-bit native-endian samples by factor, rounding to the nearest value and holding
// samples that would overflow at full scale. A factor of 1 leaves the samples untouched.
void ApplyPcmGain(uint8_t* pcm, int32_t count, double factor);

} // namespace tunelo
