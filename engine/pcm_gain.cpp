#include "pcm_gain.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace tunelo {

void ApplyPcmGain(uint8_t* pcm, int32_t count, double factor) {
    if (factor == 1.0) {
        return;
    }
    const float scale = static_cast<float>(factor);
    for (int32_t i = 0; i + 1 < count; i += 2) {
        int16_t sample;
        std::memcpy(&sample, pcm + i, sizeof sample);
        const float scaled = std::nearbyint(static_cast<float>(sample) * scale);
        sample = static_cast<int16_t>(std::clamp(scaled, -32768.0f, 32767.0f));
        std::memcpy(pcm + i, &sample, sizeof sample);
    }
}

} // namespace tunelo
