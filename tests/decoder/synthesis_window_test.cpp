// The synthesis window and PCM conversion, each state's polarity, and the whole synthesis (transform,
// ring and window) against the standard's polyphase filterbank.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <numbers>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "MP3decdr.h"
#include "layer3_tables.h"
#include "routine_table.h"
#include "standard_tables.h"
#include "synthesis.h"

namespace tunelo {
namespace {

std::vector<float> RandomRing(std::mt19937& rng, float amplitude) {
    std::uniform_real_distribution<float> dist(-amplitude, amplitude);
    std::vector<float> ring(512);
    for (float& v : ring) {
        v = dist(rng);
    }
    return ring;
}

// Replaces the window with chosen coefficients for one test and puts the real one back afterwards.
class ControlledWindow {
public:
    ControlledWindow() {
        std::memcpy(saved_, SynthWindowTable, sizeof saved_);
        std::fill(std::begin(SynthWindowTable), std::end(SynthWindowTable), 0.0f);
    }
    ~ControlledWindow() { std::memcpy(SynthWindowTable, saved_, sizeof saved_); }

private:
    float saved_[264];
};

TEST(Window, ZerosGiveSilenceAtEveryPosition) {
    std::vector<float> ring(512, 0.0f);
    for (int p = 0; p < 512; p += 32) {
        std::vector<int16_t> mono(32, 99), stereo(64, 99);
        WindowMonoGeneric(ring.data(), p, mono.data());
        WindowStereoGeneric(ring.data(), p, stereo.data());
        for (int j = 0; j < 32; ++j) {
            EXPECT_EQ(mono[j], 0);
            EXPECT_EQ(stereo[2 * j], 0);
            EXPECT_EQ(stereo[2 * j + 1], 99);
        }
    }
}

TEST(Window, RoundsToNearestEvenAndClipsTo16Bits) {
    ControlledWindow controlled;
    // With only the first coefficient of sample 16 set to 1, sample 16 is the ring value at p + 32.
    SynthWindowTable[256] = 1.0f;
    struct Case {
        float Sum;
        int16_t Sample;
    };
    const float inf = std::numeric_limits<float>::infinity();
    const Case cases[] = {
        {12.5f, 12},         {-12.5f, -12},
        {13.5f, 14},         {-13.5f, -14},
        {12.4999f, 12},      {12.5001f, 13},
        {0.5f, 0},           {-0.5f, 0},
        {1.5f, 2},           {40000.2f, 32767},
        {-40000.2f, -32768}, {32767.4f, 32767},
        {32767.5f, 32767},   {-32768.5f, -32768},
        {-32769.0f, -32768}, {1e30f, 32767},
        {-1e30f, -32768},    {inf, 32767},
        {-inf, -32768},      {std::numeric_limits<float>::quiet_NaN(), 0},
    };
    std::vector<float> ring(512, 0.0f);
    for (const Case& c : cases) {
        for (int p : {0, 480}) {
            std::fill(ring.begin(), ring.end(), 0.0f);
            ring[(p + 32) & 511] = c.Sum;
            std::vector<int16_t> mono(32, 99), stereo(64, 99);
            WindowMonoGeneric(ring.data(), p, mono.data());
            WindowStereoGeneric(ring.data(), p, stereo.data());
            EXPECT_EQ(mono[16], c.Sample) << "sum " << c.Sum << " at position " << p;
            EXPECT_EQ(stereo[32], c.Sample) << "sum " << c.Sum << " at position " << p;
            EXPECT_EQ(mono[0], 0);
        }
    }
}

TEST(Window, StereoWritesOnlyEverySecondSample) {
    std::mt19937 rng(11);
    const std::vector<float> ring = RandomRing(rng, 2000.0f);
    for (int p = 0; p < 512; p += 32) {
        std::vector<int16_t> mono(32);
        WindowMonoGeneric(ring.data(), p, mono.data());
        // Exactly one block: writing past its end is caught by the address sanitizer.
        auto block = std::make_unique<int16_t[]>(64);
        for (int i = 0; i < 64; ++i) {
            block[i] = static_cast<int16_t>(-1000 - i);
        }
        WindowStereoGeneric(ring.data(), p, block.get() + 1);
        for (int j = 0; j < 32; ++j) {
            ASSERT_EQ(block[2 * j], -1000 - 2 * j) << "left sample " << j << " touched";
            ASSERT_EQ(block[2 * j + 1], mono[j]) << j;
        }
    }
}

// One granule of mono Layer III output from the given state's hybrid output.
std::vector<int16_t> MonoGranule(TMPDecoderState& state) {
    std::vector<int16_t> samples(18 * 32);
    kLayer3OutputRoutines[0](state, samples.data(), 0);
    return samples;
}

void FillHybridOut(TMPDecoderState& state, std::mt19937& rng, float amplitude) {
    std::uniform_real_distribution<float> dist(-amplitude, amplitude);
    for (auto& slot : state.HybridOut) {
        for (float& v : slot) {
            v = dist(rng);
        }
    }
}

// Two decoder states fed the same subband samples, one of them inverted: the inverted one gives the
// negated samples (the clipping limits swap), the other one and the shared window stay as they were,
// and switching back mid-stream gives exactly the samples of a state that was never inverted.
TEST(Polarity, EachStateInvertsOnlyItsOwnSamplesAndSwitchingTwiceRestoresThem) {
    float stored[264];
    std::memcpy(stored, SynthWindowTable, sizeof stored);
    auto normalState = std::make_unique<TMPDecoderState>();
    auto invertedState = std::make_unique<TMPDecoderState>();
    SetPolarity(*invertedState, true);
    SetPolarity(*invertedState, true); // no second negation
    EXPECT_TRUE(GetPolarity(*invertedState));
    EXPECT_FALSE(GetPolarity(*normalState));

    std::mt19937 rng(12);
    int clipped = 0;
    int compared = 0;
    for (int granule = 0; granule < 2; ++granule) {
        // Large enough that some sums clip, so the asymmetric limits are exercised too.
        FillHybridOut(*normalState, rng, 4000.0f);
        std::memcpy(invertedState->HybridOut, normalState->HybridOut, sizeof normalState->HybridOut);
        const std::vector<int16_t> normal = MonoGranule(*normalState);
        const std::vector<int16_t> inverted = MonoGranule(*invertedState);
        for (size_t j = 0; j < normal.size(); ++j) {
            if (normal[j] == 32767) {
                EXPECT_EQ(inverted[j], -32768) << j;
                ++clipped;
            } else if (normal[j] == -32768) {
                EXPECT_EQ(inverted[j], 32767) << j;
                ++clipped;
            } else {
                EXPECT_EQ(inverted[j], -normal[j]) << j;
            }
            ++compared;
        }
    }
    EXPECT_GT(clipped, 0);
    EXPECT_LT(clipped, compared);
    EXPECT_EQ(0, std::memcmp(stored, SynthWindowTable, sizeof stored));

    // Back to normal in the middle of the stream: the rings' history turns with it.
    SetPolarity(*invertedState, false);
    SetPolarity(*invertedState, false);
    EXPECT_FALSE(GetPolarity(*invertedState));
    FillHybridOut(*normalState, rng, 4000.0f);
    std::memcpy(invertedState->HybridOut, normalState->HybridOut, sizeof normalState->HybridOut);
    EXPECT_EQ(MonoGranule(*invertedState), MonoGranule(*normalState));
}

// ISO/IEC 11172-3 subband synthesis, literally: V shifted by 64 per slot, matrixed from S, U built
// from V, windowed with D and summed. Double precision throughout.
class StandardSynthesis {
public:
    void Slot(const float* subbands, double* out) {
        for (int i = 1023; i >= 64; --i) {
            v_[i] = v_[i - 64];
        }
        for (int i = 0; i < 64; ++i) {
            double sum = 0.0;
            for (int k = 0; k < 32; ++k) {
                sum += std::cos((16 + i) * (2 * k + 1) * std::numbers::pi / 64.0) * subbands[k];
            }
            v_[i] = sum;
        }
        double u[512];
        for (int i = 0; i < 8; ++i) {
            for (int j = 0; j < 32; ++j) {
                u[i * 64 + j] = v_[i * 128 + j];
                u[i * 64 + 32 + j] = v_[i * 128 + 96 + j];
            }
        }
        for (int j = 0; j < 32; ++j) {
            double sum = 0.0;
            for (int i = 0; i < 16; ++i) {
                sum += u[j + 32 * i] * kSynthWindowD[j + 32 * i];
            }
            out[j] = sum;
        }
    }

private:
    double v_[1024] = {};
};

std::unique_ptr<TMPDecoderState> NewState() {
    auto state = std::make_unique<TMPDecoderState>(); // value-initialised: all zero
    state->Routines.WindowMono = WindowMonoGeneric;
    state->Routines.WindowStereo = WindowStereoGeneric;
    SynthesisReset(*state);
    return state;
}

// Our samples are the standard's output rounded; the float transform adds a little.
constexpr double kTolerance = 0.5 + 0.02;

TEST(Synthesis, Layer12MonoMatchesTheStandardFilterbank) {
    constexpr int kSlots = 24; // beyond the 16 slots of the ring, so it wraps
    std::mt19937 rng(13);
    std::uniform_real_distribution<float> dist(-1500.0f, 1500.0f);
    std::vector<float> rows(kSlots * 64);
    for (float& v : rows) {
        v = dist(rng);
    }
    auto state = NewState();
    std::vector<int16_t> pcm(kSlots * 32);
    // Two calls, as two frames would make them.
    kLayer12OutputRoutines[kLayer12Mono](*state, rows.data(), pcm.data(), 12);
    kLayer12OutputRoutines[kLayer12Mono](*state, rows.data() + 12 * 64, pcm.data() + 12 * 32, kSlots - 12);

    StandardSynthesis reference;
    double worst = 0.0;
    int moving = 0;
    for (int t = 0; t < kSlots; ++t) {
        double want[32];
        reference.Slot(rows.data() + t * 64, want);
        for (int j = 0; j < 32; ++j) {
            ASSERT_LT(std::fabs(want[j]), 32000.0) << "test input clips";
            worst = std::max(worst, std::fabs(pcm[t * 32 + j] - want[j]));
            moving += std::fabs(want[j]) > 100.0;
        }
    }
    EXPECT_LE(worst, kTolerance);
    EXPECT_GT(moving, kSlots * 32 / 2);
}

TEST(Synthesis, Layer3StereoMatchesTheStandardFilterbankPerChannel) {
    constexpr int kGranules = 2;
    std::mt19937 rng(14);
    std::uniform_real_distribution<float> dist(-1500.0f, 1500.0f);
    std::vector<float> hybrid[2];
    for (auto& h : hybrid) {
        h.resize(kGranules * 18 * 32);
        for (float& v : h) {
            v = dist(rng);
        }
    }
    auto state = NewState();
    std::vector<int16_t> pcm(kGranules * 18 * 64);
    for (int g = 0; g < kGranules; ++g) {
        for (int c = 0; c < 2; ++c) {
            std::memcpy(state->HybridOut, hybrid[c].data() + g * 18 * 32, sizeof state->HybridOut);
            kLayer3OutputRoutines[1](*state, pcm.data() + g * 18 * 64, c);
        }
    }
    for (int c = 0; c < 2; ++c) {
        StandardSynthesis reference;
        double worst = 0.0;
        for (int t = 0; t < kGranules * 18; ++t) {
            double want[32];
            reference.Slot(hybrid[c].data() + t * 32, want);
            for (int j = 0; j < 32; ++j) {
                ASSERT_LT(std::fabs(want[j]), 32000.0) << "test input clips";
                worst = std::max(worst, std::fabs(pcm[t * 64 + 2 * j + c] - want[j]));
            }
        }
        EXPECT_LE(worst, kTolerance) << "channel " << c;
    }
}

} // namespace
} // namespace tunelo
