// The equalizer: band gains and frequencies, and their application to the decoder's sub-band factors
// (memSubBand, and memFreq for Layers I and II) or spectral-line factors (memFreq for Layer III).
#include <algorithm>
#include <atomic>
#include <cmath>

#include "equalizer_gains.h"
#include "errors.h"
#include "player.h"

namespace tunelo {

namespace {

// Nearest integer, halves to even.
int32_t RoundHalfEven(double value) {
    return static_cast<int32_t>(std::nearbyint(value));
}

// The decode thread reads these while it synthesises; single relaxed stores keep every value whole.
void StoreSwitch(int32_t& field, bool on) {
    std::atomic_ref<int32_t>(field).store(on ? 1 : 0, std::memory_order_relaxed);
}

void StoreGain(float& field, float value) {
    std::atomic_ref<float>(field).store(value, std::memory_order_relaxed);
}

} // namespace

void TMP3Player::RequestEqualizer() {
    FWindow->PostUnlessQueued(MPM_EQUALIZER_CHANGED);
}

void TMP3Player::SetEqualizerEnabled(bool value) {
    if (value != FEqualizerEnabled) {
        FEqualizerEnabled = value;
        RequestEqualizer();
    }
}

void TMP3Player::SetEqualizerCount(int32_t value) {
    // The band arrays hold 32 bands.
    if (value <= 0 || value > kEqualizerBands || value == FEqualizerCount) {
        return;
    }
    FEqualizerCount = value;
    RequestEqualizer();
}

void TMP3Player::SetEqualizerMode(TMP3EqualizerMode value) {
    if (value != FEqualizerMode) {
        FEqualizerMode = value;
        RequestEqualizer();
    }
}

void TMP3Player::SetEqualizerPreamp(double decibels) {
    if (!(decibels >= -20.0 && decibels <= 20.0) || decibels == FEqualizerPreamp) {
        return;
    }
    FEqualizerPreamp = decibels;
    RequestEqualizer();
}

void TMP3Player::SetEqualizerBand(int32_t index, int32_t gain) {
    if (index < 0 || index >= kEqualizerBands) {
        RaiseListIndexError(index);
    }
    if (gain < -100 || gain > 100) {
        return;
    }
    FBandGains[static_cast<size_t>(index)] = gain;
    RequestEqualizer();
}

int32_t TMP3Player::EqualizerBand(int32_t index) const {
    if (index < 0 || index >= kEqualizerBands) {
        RaiseListIndexError(index);
    }
    return FBandGains[static_cast<size_t>(index)];
}

int32_t TMP3Player::FrequencyBand(int32_t index) const {
    if (index < 0 || index >= kEqualizerBands) {
        RaiseListIndexError(index);
    }
    return FBandFrequencies[static_cast<size_t>(index)];
}

void TMP3Player::SetFrequencyBands(int32_t low, int32_t high) {
    if (FEqualizerMode != memFreq || low <= 0 || low > high || high > 24000) {
        return;
    }
    const int32_t n = FEqualizerCount;
    FBandFrequencies[0] = low;
    for (int32_t i = 1; i <= n - 2; ++i) {
        const double previous = FBandFrequencies[static_cast<size_t>(i - 1)];
        const int32_t edge = RoundHalfEven(previous * std::pow(high / previous, 1.0 / (n - i)));
        MP_ASSERT(edge >= FBandFrequencies[static_cast<size_t>(i - 1)]);
        FBandFrequencies[static_cast<size_t>(i)] = edge;
    }
    FBandFrequencies[static_cast<size_t>(n - 1)] = high;
    RequestEqualizer();
}

void TMP3Player::ApplyEqualizer() {
    // Under the decoder lock, so that a frame is decoded either wholly before or wholly after the change.
    TMPLockGuard lock(FDecoderLock);
    TMPDecoderState& state = *FDecoderState;
    const double rate = FSampleRate;
    // Only the bands this mode can pick count towards the headroom.
    const size_t usedBands =
        FEqualizerMode == memSubBand ? FBandGains.size() : static_cast<size_t>(FEqualizerCount);
    const double shift = EqualizerShiftDecibels(std::span(FBandGains.data(), usedBands), FEqualizerPreamp);
    const auto factor = [this, shift](int32_t band) {
        return EqualizerFactor(FBandGains[static_cast<size_t>(band)], shift);
    };
    // The band whose frequency is nearest by ratio to the centre c; the lowest index on ties.
    const auto nearestBand = [this](int32_t centre) {
        MP_ASSERT(centre > 0);
        double best = 2147483648.0;
        int32_t band = 0;
        for (int32_t b = 0; b < FEqualizerCount; ++b) {
            double ratio =
                std::max(FBandFrequencies[static_cast<size_t>(b)], 1) / static_cast<double>(centre);
            if (ratio < 1.0) {
                ratio = 1.0 / ratio;
            }
            if (ratio < best) {
                best = ratio;
                band = b;
            }
        }
        return band;
    };

    if (FEqualizerMode == memSubBand) {
        for (int32_t i = 0; i < kEqualizerBands; ++i) {
            StoreGain(state.SubbandGains[i], factor(i));
        }
        StoreSwitch(state.LineEqActive, false);
        StoreSwitch(state.SubbandEqActive, FEqualizerEnabled);
        if (FSampleRate > 0) {
            for (int32_t i = 0; i < kEqualizerBands; ++i) {
                FBandFrequencies[static_cast<size_t>(i)] = SubbandCentreFrequency(FSampleRate, i);
            }
        }
        return;
    }
    if (FLayer != 3) {
        StoreSwitch(state.LineEqActive, false);
        if (FEqualizerEnabled) {
            MP_ASSERT(FSampleRate > 0);
            for (int32_t d = 0; d < kEqualizerBands; ++d) {
                const int32_t band = nearestBand(SubbandCentreFrequency(FSampleRate, d));
                StoreGain(state.SubbandGains[d], factor(band));
            }
        }
        StoreSwitch(state.SubbandEqActive, FEqualizerEnabled);
        return;
    }
    StoreSwitch(state.SubbandEqActive, false);
    if (FEqualizerEnabled) {
        MP_ASSERT(FSampleRate > 0);
        for (int32_t k = 0; k < 576; ++k) {
            const int32_t band = nearestBand(RoundHalfEven(rate / 1152 * (k + 0.5)));
            StoreGain(state.LineGains[k], factor(band));
        }
    }
    StoreSwitch(state.LineEqActive, FEqualizerEnabled);
}

} // namespace tunelo
