// Layer I and Layer II: set-up choices and refusals, the tables, and frames written bit by bit here,
// decoded and compared with the standard's requantisation formula.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "bit_writer.h"
#include "layer12.h"
#include "standard_tables.h"
#include "synthesis.h"

namespace tunelo {
namespace {

// --- Writing frames ---

using BitWriter = testsupport::TBitWriter;

struct TStream {
    int32_t Layer = 2;
    int32_t VersionId = 1;
    int32_t SamplingIndex = 0; // 44.1 kHz for MPEG-1
    int32_t BitrateIndex = 10;
    int32_t Mode = 0;
    int32_t SyncKind = 1;
};

int32_t SamplingRate(const TStream& s) {
    static const int32_t rates[2][3] = {{22050, 24000, 16000}, {44100, 48000, 32000}};
    return rates[s.VersionId][s.SamplingIndex];
}

int32_t FrameLengthOf(const TStream& s) {
    const int32_t bitrate = kBitrateTable[s.Layer - 1][s.VersionId][s.BitrateIndex] * 1000;
    return s.Layer == 1 ? 12 * bitrate / SamplingRate(s) * 4 : 144 * bitrate / SamplingRate(s);
}

int32_t Channels(const TStream& s) {
    return s.Mode == 3 ? 1 : 2;
}

TMPHeader HeaderOf(const TStream& s) {
    TMPHeader h{};
    h.SyncKind = s.SyncKind;
    h.VersionId = s.VersionId;
    h.LayerCode = 4 - s.Layer;
    h.ProtectionBit = 1;
    h.BitrateIndex = s.BitrateIndex;
    h.SamplingIndex = s.SamplingIndex;
    h.Mode = s.Mode;
    return h;
}

// What DecoderSetup stores before it hands over to the layer's set-up.
std::unique_ptr<TMPDecoderState> NewState(const TStream& s, int32_t channelMode) {
    auto state = std::make_unique<TMPDecoderState>();
    state->ChannelMode = channelMode;
    state->FrameLength = FrameLengthOf(s);
    state->VersionId = s.VersionId;
    state->SamplingIndex = s.SamplingIndex;
    state->Mode = s.Mode;
    state->Channels = Channels(s);
    state->SampleRate = SamplingRate(s);
    return state;
}

int32_t SetUpStream(TMPDecoderState& state, const TStream& s, int32_t frequencyLimit,
                    int32_t downSampling = 0) {
    const TMPHeader h = HeaderOf(s);
    return s.Layer == 1 ? Layer1Setup(state, h, downSampling, frequencyLimit)
                        : Layer2Setup(state, h, downSampling, frequencyLimit);
}

// The content of one frame, per channel-subband i (two-channel streams interleave left and right).
// A joint pair is written from its first (left) entry.
struct TContent {
    int32_t Mode = 0;
    int32_t ModeExtension = 0;
    int32_t Padding = 0;
    int32_t Protection = 1;
    std::array<int32_t, 64> Alloc{}; // the allocation field's value
    std::array<int32_t, 64> Scfsi{};
    std::array<std::array<int32_t, 3>, 64> Scf{};
    // Layer I: [slot][i]. Layer II: [3 x granule + k][i]; a grouped class uses the granule's first row.
    std::array<std::array<uint32_t, 64>, 36> Code{};
};

// The stream's layout as the standard describes it, computed here without the decoder.
struct TLayout {
    int32_t Total;
    int32_t Bound;
    int32_t Paired;
    const TLayer2AllocTable* Table;
};

TLayout LayoutOf(const TStream& s, const TContent& c) {
    TLayout l{};
    l.Paired = Channels(s) - 1;
    if (s.Layer == 1) {
        l.Total = 32 * Channels(s);
    } else {
        l.Table = &kLayer2AllocTables[Layer2AllocTableFor(HeaderOf(s))];
        l.Total = l.Table->Subbands * Channels(s);
    }
    l.Bound = l.Total;
    if (l.Paired && c.Mode == 1) {
        l.Bound = std::min(l.Total, 8 * (c.ModeExtension + 1));
    }
    return l;
}

// The channel-subband whose fields a channel-subband uses: a joint pair shares its first entry's.
int32_t Source(const TLayout& l, int32_t i) {
    return i >= l.Bound ? (i & ~1) : i;
}

// Layer II levels of the quantisation classes 1..17.
int32_t LevelsOf(int32_t cls) {
    static const int32_t levels[18] = {0,   3,   5,    7,    9,    15,   31,    63,    127,
                                       255, 511, 1023, 2047, 4095, 8191, 16383, 32767, 65535};
    return levels[cls];
}
bool Grouped(int32_t cls) {
    return cls == 1 || cls == 2 || cls == 4;
}
int32_t CodeBits(int32_t cls) {
    if (Grouped(cls)) {
        return cls == 1 ? 5 : cls == 2 ? 7 : 10;
    }
    return static_cast<int32_t>(std::log2(LevelsOf(cls) + 1));
}

int32_t ClassOf(const TStream& s, const TLayout& l, const TContent& c, int32_t i) {
    const int32_t value = c.Alloc[Source(l, i)];
    if (s.Layer == 1) {
        return value;
    }
    return l.Table->Classes[i >> l.Paired][value];
}

BitWriter WriteBits(const TStream& s, const TContent& c) {
    const TLayout l = LayoutOf(s, c);
    BitWriter w;
    w.Put(0xFFF, 12);
    w.Put(s.VersionId, 1);
    w.Put(4 - s.Layer, 2);
    w.Put(c.Protection, 1);
    w.Put(s.BitrateIndex, 4);
    w.Put(s.SamplingIndex, 2);
    w.Put(c.Padding, 1);
    w.Put(0, 1);
    w.Put(c.Mode, 2);
    w.Put(c.ModeExtension, 2);
    w.Put(0, 4);
    if (c.Protection == 0) {
        w.Put(0xBEEF, 16);
    }
    auto allocBits = [&](int32_t i) { return s.Layer == 1 ? 4 : l.Table->AllocBits[i >> l.Paired]; };
    for (int32_t i = 0; i < l.Total; i += i < l.Bound ? 1 : 2) {
        w.Put(c.Alloc[i], allocBits(i));
    }
    if (s.Layer == 1) {
        for (int32_t i = 0; i < l.Total; ++i) {
            if (ClassOf(s, l, c, i) != 0) {
                w.Put(c.Scf[i][0], 6);
            }
        }
        for (int32_t slot = 0; slot < 12; ++slot) {
            for (int32_t i = 0; i < l.Total; i += i < l.Bound ? 1 : 2) {
                const int32_t a = ClassOf(s, l, c, i);
                if (a != 0) {
                    w.Put(c.Code[slot][i], a == 15 ? 16 : a + 1);
                }
            }
        }
    } else {
        static const int32_t scfCount[4] = {3, 2, 1, 2};
        for (int32_t i = 0; i < l.Total; ++i) {
            if (ClassOf(s, l, c, i) != 0) {
                w.Put(c.Scfsi[i], 2);
            }
        }
        for (int32_t i = 0; i < l.Total; ++i) {
            if (ClassOf(s, l, c, i) != 0) {
                for (int32_t k = 0; k < scfCount[c.Scfsi[i]]; ++k) {
                    w.Put(c.Scf[i][k], 6);
                }
            }
        }
        for (int32_t granule = 0; granule < 12; ++granule) {
            for (int32_t i = 0; i < l.Total; i += i < l.Bound ? 1 : 2) {
                const int32_t cls = ClassOf(s, l, c, i);
                if (cls == 0) {
                    continue;
                }
                const int32_t samples = Grouped(cls) ? 1 : 3;
                for (int32_t k = 0; k < samples; ++k) {
                    w.Put(c.Code[3 * granule + k][i], CodeBits(cls));
                }
            }
        }
    }
    return w;
}

std::vector<uint8_t> WriteFrame(const TStream& s, const TContent& c) {
    const BitWriter w = WriteBits(s, c);
    const int32_t padding = c.Padding * (s.Layer == 1 ? 4 : 1);
    EXPECT_LE(w.Bits, 8 * (FrameLengthOf(s) + padding)) << "test frame does not fit";
    // The frame as the decoder gets it: exactly its length (what does not fit is cut off).
    std::vector<uint8_t> bytes = w.Bytes;
    bytes.resize(FrameLengthOf(s) + padding, 0);
    return bytes;
}

// The standard's requantisation: the code with its top bit inverted read as a two's complement
// fraction, then C x (fraction + D) with C = 2^nb / levels.
double Requantise(uint32_t code, int32_t nb, int32_t levels, double d) {
    code &= (1u << nb) - 1u; // the frame holds only the low nb bits
    const int32_t inverted = static_cast<int32_t>(code ^ (1u << (nb - 1)));
    const int32_t signedCode = inverted >= (1 << (nb - 1)) ? inverted - (1 << nb) : inverted;
    const double fraction = signedCode / static_cast<double>(1 << (nb - 1));
    return static_cast<double>(1 << nb) / levels * (fraction + d);
}

// The standard's scale factor 2 x 2^(-i/3), on the 16-bit PCM scale.
double ScaleOf(int32_t index) {
    return 32768.0 * 2.0 * std::pow(2.0, -index / 3.0);
}

using TRows = std::array<std::array<double, 64>, 36>;

TRows Expected(const TStream& s, const TContent& c, int32_t limit) {
    const TLayout l = LayoutOf(s, c);
    TRows rows{};
    const int32_t rowCount = s.Layer == 1 ? 12 : 36;
    for (int32_t row = 0; row < rowCount; ++row) {
        for (int32_t i = 0; i < limit; ++i) {
            const int32_t cls = ClassOf(s, l, c, i);
            const int32_t src = Source(l, i);
            if (cls == 0) {
                continue;
            }
            if (s.Layer == 1) {
                if (cls != 15) { // the forbidden allocation decodes as silence
                    rows[row][i] =
                        Requantise(c.Code[row][src], cls + 1, (1 << (cls + 1)) - 1, std::ldexp(1.0, -cls)) *
                        ScaleOf(c.Scf[i][0]);
                }
                continue;
            }
            const int32_t granule = row / 3;
            const int32_t part = granule / 4;
            const int32_t k = row % 3;
            const auto& scf = c.Scf[i];
            const int32_t index[4][3] = {{scf[0], scf[1], scf[2]},
                                         {scf[0], scf[0], scf[1]},
                                         {scf[0], scf[0], scf[0]},
                                         {scf[0], scf[1], scf[1]}};
            const double scale = ScaleOf(index[c.Scfsi[i]][part]);
            const int32_t levels = LevelsOf(cls);
            if (Grouped(cls)) {
                uint32_t code = c.Code[3 * granule][src] & ((1u << CodeBits(cls)) - 1u);
                for (int32_t n = 0; n < k; ++n) {
                    code /= levels;
                }
                const int32_t nb = cls == 1 ? 2 : cls == 2 ? 3 : 4;
                rows[row][i] = Requantise(code % levels, nb, levels, 0.5) * scale;
            } else {
                const int32_t nb = CodeBits(cls);
                rows[row][i] = Requantise(c.Code[row][src], nb, levels, std::ldexp(1.0, 1 - nb)) * scale;
            }
        }
    }
    return rows;
}

void ExpectRows(const TMPDecoderState& state, const TRows& expected, int32_t rowCount) {
    int32_t failures = 0;
    for (int32_t row = 0; row < rowCount; ++row) {
        for (int32_t i = 0; i < 64; ++i) {
            const double e = expected[row][i];
            const double got = state.L12.Samples[row][i];
            if (std::fabs(got - e) > 1e-5 * std::fabs(e) + 1e-3 && ++failures <= 8) {
                ADD_FAILURE() << "row " << row << " channel-subband " << i << ": got " << got << ", expected "
                              << e;
            }
        }
    }
    EXPECT_EQ(failures, 0);
}

// A random but valid content that fits the frame: every allocation field in range, codes within
// their width.
TContent RandomContent(const TStream& s, std::mt19937& rng, int32_t mode, int32_t modeExtension,
                       int32_t reserveBits = 0) {
    TContent c;
    c.Mode = mode;
    c.ModeExtension = modeExtension;
    const TLayout l = LayoutOf(s, c);
    auto pick = [&](int32_t n) { return static_cast<int32_t>(rng() % static_cast<uint32_t>(n)); };
    for (int32_t i = 0; i < l.Total; ++i) {
        const int32_t fieldBits = s.Layer == 1 ? 4 : l.Table->AllocBits[i >> l.Paired];
        // Layer I: 1..14 (15 has its own test); Layer II: any value, often 0 to keep frames short.
        c.Alloc[i] = s.Layer == 1 ? (pick(3) == 0 ? 0 : 1 + pick(5)) : (pick(2) ? 0 : pick(1 << fieldBits));
        c.Scfsi[i] = pick(4);
        c.Scf[i] = {pick(63), pick(63), pick(63)};
    }
    for (auto& row : c.Code) {
        for (uint32_t& code : row) {
            code = rng();
        }
    }
    for (int32_t i = 0; i < l.Total; ++i) {
        const int32_t cls = ClassOf(s, l, c, i);
        for (int32_t row = 0; row < 36; ++row) {
            const int32_t bits = s.Layer == 1 ? (cls == 0 ? 0 : cls + 1) : (cls == 0 ? 0 : CodeBits(cls));
            c.Code[row][i] &= bits == 0 ? 0u : (1u << bits) - 1u;
        }
    }
    while (WriteBits(s, c).Bits > 8 * FrameLengthOf(s) - reserveBits) {
        c.Alloc[Source(l, pick(l.Total))] = 0;
    }
    return c;
}

struct TDecoded {
    int32_t Consumed;
    std::vector<int16_t> Pcm;
};

// Decodes from a heap block of exactly the frame's size into one of exactly OutputBytes, so that any
// access beyond either is caught by the address sanitizer.
TDecoded Decode(TMPDecoderState& state, const TStream& s, const std::vector<uint8_t>& frame) {
    auto bytes = std::make_unique<uint8_t[]>(frame.size());
    std::memcpy(bytes.get(), frame.data(), frame.size());
    std::vector<int16_t> pcm(static_cast<size_t>(state.OutputBytes) / 2, int16_t{0x5A5A});
    const int32_t consumed = s.Layer == 1
                                 ? Layer1Frame(state, bytes.get(), reinterpret_cast<uint8_t*>(pcm.data()))
                                 : Layer2Frame(state, bytes.get(), reinterpret_cast<uint8_t*>(pcm.data()));
    return {consumed, pcm};
}

// --- Set-up ---

TEST(Layer2Setup, ChoosesTheAllocationTableByRateAndBitRatePerChannel) {
    struct Case {
        int32_t VersionId, SamplingIndex, BitrateIndex, Mode, Table;
    };
    // MPEG-1 Layer II bit-rate indices: 1 = 32, 2 = 48, 3 = 56, 4 = 64, 5 = 80, 6 = 96, 8 = 128, 9 = 160,
    // 10 = 192, 11 = 224, 14 = 384 kbit/s. Sampling index 0 = 44.1, 1 = 48, 2 = 32 kHz.
    const Case cases[] = {
        {1, 0, 8, 0, kAllocB2a},  {1, 0, 8, 1, kAllocB2a},  {1, 0, 4, 0, kAllocB2c},
        {1, 1, 6, 2, kAllocB2c},  {1, 2, 4, 0, kAllocB2d},  {1, 2, 6, 1, kAllocB2d},
        {1, 0, 9, 0, kAllocB2a},  {1, 0, 10, 0, kAllocB2b}, {1, 2, 10, 0, kAllocB2b},
        {1, 1, 10, 0, kAllocB2a}, {1, 1, 14, 0, kAllocB2a}, {1, 0, 14, 0, kAllocB2b},
        {1, 0, 1, 3, kAllocB2c},  {1, 2, 2, 3, kAllocB2d},  {1, 0, 3, 3, kAllocB2a},
        {1, 0, 5, 3, kAllocB2a},  {1, 0, 6, 3, kAllocB2b},  {1, 1, 10, 3, kAllocB2a},
        {1, 0, 0, 0, kAllocB2b},  {1, 2, 0, 3, kAllocB2b},  {1, 1, 0, 0, kAllocB2a},
        {0, 0, 1, 0, kAllocB1},   {0, 2, 14, 3, kAllocB1},  {0, 1, 8, 1, kAllocB1},
    };
    for (const Case& c : cases) {
        TStream s{2, c.VersionId, c.SamplingIndex, c.BitrateIndex, c.Mode};
        SCOPED_TRACE(::testing::Message() << "version " << c.VersionId << " rate " << c.SamplingIndex
                                          << " bit rate " << c.BitrateIndex << " mode " << c.Mode);
        auto state = NewState(s, 0);
        ASSERT_EQ(SetUpStream(*state, s, 0), 1);
        EXPECT_EQ(state->L12.AllocTable, c.Table);
        EXPECT_EQ(state->L12.Total, kLayer2AllocTables[c.Table].Subbands * Channels(s));
    }
}

TEST(Layer2Setup, RefusesBitRateAndModeCombinationsWithoutATable) {
    struct Case {
        int32_t BitrateIndex, Mode;
    };
    // Two channels at 32, 48, 56 and 80 kbit/s; one channel at 224 kbit/s and above; index 15.
    const Case refused[] = {{1, 0},  {2, 1},  {3, 2},  {5, 0},  {11, 3},
                            {12, 3}, {13, 3}, {14, 3}, {15, 0}, {15, 3}};
    for (const Case& c : refused) {
        for (int32_t rate = 0; rate < 3; ++rate) {
            TStream s{2, 1, rate, c.BitrateIndex, c.Mode};
            auto state = NewState(s, 0);
            EXPECT_EQ(SetUpStream(*state, s, 24000), 0)
                << "bit rate " << c.BitrateIndex << " mode " << c.Mode;
            // A refused stream leaves nothing a frame routine could decode with.
            std::vector<uint8_t> frame(1000, 0xFF);
            std::vector<uint8_t> out(4608);
            EXPECT_EQ(Layer2Frame(*state, frame.data(), out.data()), 0);
        }
    }
    TStream lsfIndex15{2, 0, 0, 15, 0};
    auto state = NewState(lsfIndex15, 0);
    EXPECT_EQ(SetUpStream(*state, lsfIndex15, 24000), 0);
}

TEST(Layer12Setup, RefusesMpeg25ReservedRatesAndReducedOutputRates) {
    for (int32_t layer : {1, 2}) {
        SCOPED_TRACE(layer);
        TStream mpeg25{layer, 0, 0, 8, 0, 2};
        auto state = NewState(mpeg25, 0);
        EXPECT_EQ(SetUpStream(*state, mpeg25, 24000), 0);

        TStream reserved{layer, 1, 3, 8, 0};
        state = std::make_unique<TMPDecoderState>();
        state->FrameLength = 400;
        EXPECT_EQ(SetUpStream(*state, reserved, 24000), 0);

        // No synthesis at half or quarter rate exists: promising it would overrun the output block.
        TStream plain{layer, 1, 0, 8, 0};
        state = NewState(plain, 0);
        EXPECT_EQ(SetUpStream(*state, plain, 24000, 1), 0);
        EXPECT_EQ(SetUpStream(*state, plain, 24000, 2), 0);
        EXPECT_EQ(SetUpStream(*state, plain, 24000, 0), 1);
    }
}

TEST(Layer12Setup, LimitsAreCappedPerChannelAndDoubledForTwoChannels) {
    struct Case {
        int32_t Layer, SamplingIndex, BitrateIndex, Mode, FrequencyLimit, SubbandLimit, Total;
    };
    const Case cases[] = {
        {2, 0, 8, 0, 24000, 54, 54}, // B.2a: the table's 27 subbands are below the player's 31
        {2, 0, 8, 0, 0, 54, 54},      {2, 0, 10, 0, 24000, 60, 60}, // B.2b: 30 subbands
        {2, 0, 4, 0, 24000, 16, 16},                                // B.2c: 8 subbands
        {2, 0, 10, 3, 24000, 30, 30},                               // one channel: not doubled
        {2, 0, 8, 0, 500, 2, 54},    // 500 Hz counts as 1000 Hz: (64000 + 22050) / 44100 = 1 subband
        {2, 1, 8, 0, 5000, 14, 54},  // (320000 + 24000) / 48000 = 7
        {1, 0, 4, 0, 24000, 64, 64}, // at least half the sampling rate: every subband Layer I codes
        {1, 0, 4, 0, 0, 64, 64},     // no limit: every subband
        {1, 2, 4, 3, 24000, 32, 32},  {1, 0, 4, 0, 22050, 64, 64}, // exactly half of 44100 Hz
        {1, 0, 4, 0, 22049, 62, 64}, // just below half: 32 subbands by rounding, capped at 31
        {1, 0, 4, 0, 21000, 60, 64}, // (1344000 + 22050) / 44100 = 30
    };
    for (const Case& c : cases) {
        TStream s{c.Layer, 1, c.SamplingIndex, c.BitrateIndex, c.Mode};
        SCOPED_TRACE(::testing::Message() << "layer " << c.Layer << " limit " << c.FrequencyLimit);
        auto state = NewState(s, 0);
        ASSERT_EQ(SetUpStream(*state, s, c.FrequencyLimit), 1);
        EXPECT_EQ(state->SubbandLimit, c.SubbandLimit);
        EXPECT_EQ(state->L12.Total, c.Total);
    }
}

TEST(Layer12Setup, OutputGeometryFollowsLayerAndChannelMode) {
    struct Case {
        int32_t Layer, Mode, ChannelMode, Channels, Routine;
    };
    const Case cases[] = {
        {1, 0, 0, 2, kLayer12Stereo},   {1, 3, 0, 1, kLayer12Mono},      {2, 1, 1, 1, kLayer12Mix},
        {2, 0, 2, 1, kLayer12LeftOnly}, {2, 2, 3, 1, kLayer12RightOnly}, {2, 3, 2, 1, kLayer12Mono},
        {1, 3, 3, 1, kLayer12Mono},     {2, 0, 0, 2, kLayer12Stereo},
    };
    for (const Case& c : cases) {
        TStream s{c.Layer, 1, 1, c.Layer == 1 ? 4 : 10, c.Mode};
        SCOPED_TRACE(::testing::Message()
                     << "layer " << c.Layer << " mode " << c.Mode << " channel mode " << c.ChannelMode);
        auto state = NewState(s, c.ChannelMode);
        ASSERT_EQ(SetUpStream(*state, s, 24000), 1);
        const int32_t perChannel = c.Layer == 1 ? 384 : 1152;
        EXPECT_EQ(state->OutputChannels, c.Channels);
        EXPECT_EQ(state->OutputSamples, c.Channels * perChannel);
        EXPECT_EQ(state->OutputBytes, 2 * c.Channels * perChannel);
        EXPECT_EQ(state->GranuleOutputOffset, c.Channels * perChannel);
        EXPECT_EQ(state->SilenceByte, 0);
        EXPECT_EQ(state->L12OutputRoutine, kLayer12OutputRoutines[c.Routine]);
        EXPECT_EQ(state->Format.Channels, c.Channels);
        EXPECT_EQ(state->Format.SamplesPerFrame, c.Channels * perChannel);
        EXPECT_EQ(state->Format.SampleRate, 48000);
        EXPECT_EQ(state->Format.BitsPerSample, 16);
    }
}

TEST(Layer12Setup, ClearsTheSampleBufferAndTheSynthesisRings) {
    TStream s{2, 1, 0, 10, 0};
    auto state = NewState(s, 0);
    state->L12.Samples[35][63] = 5.0f;
    state->L12.Samples[0][0] = 7.0f;
    state->SynthBuffer[1][100] = 3.0f;
    state->SynthPos[0] = 96;
    ASSERT_EQ(SetUpStream(*state, s, 24000), 1);
    EXPECT_EQ(state->L12.Samples[35][63], 0.0f);
    EXPECT_EQ(state->L12.Samples[0][0], 0.0f);
    EXPECT_EQ(state->SynthBuffer[1][100], 0.0f);
    EXPECT_EQ(state->SynthPos[0], 0);
}

// --- Tables ---

TEST(Layer12Tables, DegroupingReadsBaseDigitsLeastSignificantFirst) {
    const TLayer12Tables& t = Layer12Tables();
    auto triple = [](const int8_t* v) { return std::array<int32_t, 3>{v[0], v[1], v[2]}; };
    using A = std::array<int32_t, 3>;
    EXPECT_EQ(triple(t.Degroup3[26]), (A{1, 1, 1}));
    EXPECT_EQ(triple(t.Degroup3[0]), (A{-1, -1, -1}));
    EXPECT_EQ(triple(t.Degroup3[1]), (A{0, -1, -1}));
    EXPECT_EQ(triple(t.Degroup3[5]), (A{1, 0, -1}));
    EXPECT_EQ(triple(t.Degroup5[124]), (A{2, 2, 2}));
    EXPECT_EQ(triple(t.Degroup5[7]), (A{0, -1, -2}));
    EXPECT_EQ(triple(t.Degroup9[728]), (A{4, 4, 4}));
    EXPECT_EQ(triple(t.Degroup9[0]), (A{-4, -4, -4}));
    // Codes beyond the valid ones follow the same digit rule.
    EXPECT_EQ(triple(t.Degroup3[31]), (A{0, 0, -1}));
    EXPECT_EQ(triple(t.Degroup9[1023]), (A{2, 1, -1}));

    // Every valid code comes back from its three values, and no code leaves the value range.
    auto check = [](const auto& table, int32_t base, int32_t valid) {
        const int32_t half = (base - 1) / 2;
        for (int32_t code = 0; code < static_cast<int32_t>(std::size(table)); ++code) {
            for (int8_t v : table[code]) {
                ASSERT_LE(std::abs(v), half) << code;
            }
            if (code < valid) {
                const int32_t back = (table[code][0] + half) + base * (table[code][1] + half) +
                                     base * base * (table[code][2] + half);
                ASSERT_EQ(back, code);
            }
        }
    };
    check(t.Degroup3, 3, 27);
    check(t.Degroup5, 5, 125);
    check(t.Degroup9, 9, 729);
}

TEST(Layer12Tables, ClassWidthsAndScaleMultipliers) {
    const TLayer12Tables& t = Layer12Tables();
    const int32_t tripleBits[18] = {0, 5, 7, 9, 10, 12, 15, 18, 21, 24, 27, 30, 33, 36, 39, 42, 45, 48};
    for (int32_t c = 0; c < kLayer2ClassCount; ++c) {
        EXPECT_EQ(t.Layer2[c].TripleBits, tripleBits[c]) << c;
        if (c > 0) {
            EXPECT_FLOAT_EQ(t.Layer2[c].Requantise, 2.0f / LevelsOf(c)) << c;
        }
    }
    EXPECT_FLOAT_EQ(t.ScaleMultiplier[0], 65536.0f);
    EXPECT_FLOAT_EQ(t.ScaleMultiplier[3], 32768.0f);
    EXPECT_FLOAT_EQ(t.ScaleMultiplier[62], static_cast<float>(65536.0 * std::exp2(-62 / 3.0)));
    EXPECT_EQ(t.Layer1Bits[1], 2);
    EXPECT_EQ(t.Layer1Bits[14], 15);
    EXPECT_EQ(t.Layer1Bits[15], 16); // forbidden, but its bits still have to be passed over
}

// --- Layer I frames ---

TEST(Layer1Frame, DequantisesAllocationScaleFactorAndCode) {
    TStream s{1, 1, 0, 12, 3}; // one channel, 44.1 kHz, 384 kbit/s
    auto state = NewState(s, 0);
    ASSERT_EQ(SetUpStream(*state, s, 0), 1);
    TContent c;
    c.Mode = 3;
    c.Alloc[0] = 1;
    c.Scf[0][0] = 0;
    c.Alloc[1] = 14;
    c.Scf[1][0] = 5;
    c.Alloc[2] = 3;
    c.Scf[2][0] = 62;
    c.Alloc[31] = 2;
    c.Scf[31][0] = 1;
    for (int32_t slot = 0; slot < 12; ++slot) {
        c.Code[slot][0] = static_cast<uint32_t>(slot % 4);
        c.Code[slot][1] = static_cast<uint32_t>(slot * 2711);
        c.Code[slot][2] = static_cast<uint32_t>(15 - slot);
        c.Code[slot][31] = static_cast<uint32_t>(slot % 8);
    }
    const TDecoded d = Decode(*state, s, WriteFrame(s, c));
    EXPECT_EQ(d.Consumed, FrameLengthOf(s));
    ExpectRows(*state, Expected(s, c, 32), 12);
    // Allocation 1 at scale factor 0: code 0 is -2/3, code 2 is +2/3 of full scale.
    EXPECT_NEAR(state->L12.Samples[0][0], -2.0 / 3.0 * 65536.0, 0.01);
    EXPECT_NEAR(state->L12.Samples[2][0], 2.0 / 3.0 * 65536.0, 0.01);
    EXPECT_NEAR(state->L12.Samples[1][0], 0.0, 0.01);
}

TEST(Layer1Frame, JointStereoSharesAllocationAndCodesBeyondTheBound) {
    std::mt19937 rng(11);
    TStream s{1, 1, 1, 14, 1}; // joint stereo, 48 kHz, 448 kbit/s
    for (int32_t extension = 0; extension < 4; ++extension) {
        SCOPED_TRACE(extension);
        auto state = NewState(s, 0);
        ASSERT_EQ(SetUpStream(*state, s, 0), 1);
        for (int32_t round = 0; round < 5; ++round) {
            TContent c = RandomContent(s, rng, 1, extension);
            const TDecoded d = Decode(*state, s, WriteFrame(s, c));
            ASSERT_EQ(d.Consumed, FrameLengthOf(s));
            EXPECT_EQ(state->L12.JointBound, 8 * (extension + 1));
            ExpectRows(*state, Expected(s, c, 64), 12);
        }
    }
}

TEST(Layer1Frame, ForbiddenAllocationIsSilentAndKeepsTheFollowingFieldsInStep) {
    TStream s{1, 1, 0, 12, 1}; // joint stereo, bound 16 channel-subbands
    auto state = NewState(s, 0);
    ASSERT_EQ(SetUpStream(*state, s, 0), 1);
    TContent c;
    c.Mode = 1;
    c.ModeExtension = 1;
    c.Alloc[3] = 15; // separately coded, right channel of subband 1
    c.Scf[3][0] = 4;
    c.Alloc[4] = 3;
    c.Scf[4][0] = 7;
    c.Alloc[20] = 15; // a joint pair
    c.Scf[20][0] = 1;
    c.Scf[21][0] = 2;
    c.Alloc[22] = 5;
    c.Scf[22][0] = 9;
    c.Scf[23][0] = 12;
    for (int32_t slot = 0; slot < 12; ++slot) {
        c.Code[slot][3] = 0xFFFFu - static_cast<uint32_t>(slot);
        c.Code[slot][4] = static_cast<uint32_t>(slot < 7 ? slot : slot + 1); // 7 would be a zero sample
        c.Code[slot][20] = 0x8000u + static_cast<uint32_t>(slot);
        c.Code[slot][22] = static_cast<uint32_t>(63 - slot);
    }
    const TDecoded d = Decode(*state, s, WriteFrame(s, c));
    EXPECT_EQ(d.Consumed, FrameLengthOf(s));
    ExpectRows(*state, Expected(s, c, 64), 12);
    for (int32_t slot = 0; slot < 12; ++slot) {
        EXPECT_EQ(state->L12.Samples[slot][3], 0.0f);
        EXPECT_EQ(state->L12.Samples[slot][20], 0.0f);
        EXPECT_EQ(state->L12.Samples[slot][21], 0.0f);
        EXPECT_NE(state->L12.Samples[slot][4], 0.0f);
    }
}

TEST(Layer1Frame, SkipsTheBitsAboveTheLimitInEverySlot) {
    std::mt19937 rng(5);
    TStream s{1, 1, 0, 14, 1};
    // 1400 Hz at 44.1 kHz: (89600 + 22050) / 44100 = 2 subbands, 4 channel-subbands decoded.
    auto state = NewState(s, 0);
    ASSERT_EQ(SetUpStream(*state, s, 1400), 1);
    ASSERT_EQ(state->SubbandLimit, 4);
    for (int32_t round = 0; round < 8; ++round) {
        TContent c = RandomContent(s, rng, 1, round % 4, 600);
        // The skipped region holds every kind of entry: separate, joint, forbidden and empty.
        c.Alloc[5] = 15;
        c.Alloc[6] = 0;
        c.Alloc[40] = 15;
        c.Alloc[0] = c.Alloc[3] = 2;
        const TDecoded d = Decode(*state, s, WriteFrame(s, c));
        ASSERT_EQ(d.Consumed, FrameLengthOf(s));
        ExpectRows(*state, Expected(s, c, 4), 12);
    }
}

TEST(Layer1Frame, PaddingAddsFourBytesAndTheSetupLengthHoldsForLaterFrames) {
    TStream s{1, 1, 0, 4, 3}; // 128 kbit/s
    auto state = NewState(s, 0);
    ASSERT_EQ(SetUpStream(*state, s, 24000), 1);
    TContent c;
    c.Mode = 3;
    c.Padding = 1;
    EXPECT_EQ(Decode(*state, s, WriteFrame(s, c)).Consumed, FrameLengthOf(s) + 4);
    // A frame that claims a higher bit rate is still read within the set-up length only (the block
    // handed over is that long), and counted with it.
    TStream louder = s;
    louder.BitrateIndex = 14;
    std::vector<uint8_t> frame = WriteFrame(louder, c);
    frame.resize(FrameLengthOf(s) + 4);
    EXPECT_EQ(Decode(*state, s, frame).Consumed, FrameLengthOf(s) + 4);
}

TEST(Layer1Frame, CrcWordIsPassedOver) {
    std::mt19937 rng(3);
    TStream s{1, 1, 2, 10, 0};
    auto state = NewState(s, 0);
    ASSERT_EQ(SetUpStream(*state, s, 0), 1);
    TContent c = RandomContent(s, rng, 0, 0);
    c.Protection = 0;
    ASSERT_EQ(Decode(*state, s, WriteFrame(s, c)).Consumed, FrameLengthOf(s));
    ExpectRows(*state, Expected(s, c, 64), 12);
}

// --- Layer II frames ---

TEST(Layer2Frame, ScaleFactorSelectionCodesSpreadFactorsOverTheThreeParts) {
    TStream s{2, 1, 0, 10, 3}; // one channel, 44.1 kHz, 192 kbit/s: table B.2b
    auto state = NewState(s, 0);
    ASSERT_EQ(SetUpStream(*state, s, 0), 1);
    TContent c;
    c.Mode = 3;
    for (int32_t i = 0; i < 4; ++i) {
        c.Alloc[i] = i < 3 ? 2 : 3; // 7 levels, 3 bits per sample
        c.Scfsi[i] = i;
        c.Scf[i] = {3 * i + 1, 3 * i + 10, 3 * i + 20};
        for (int32_t row = 0; row < 36; ++row) {
            c.Code[row][i] = 5;
        }
    }
    ASSERT_EQ(Decode(*state, s, WriteFrame(s, c)).Consumed, FrameLengthOf(s));
    ExpectRows(*state, Expected(s, c, 30), 36);
    // Spot values: code 5 of 7 levels is 2 x 2/7; the factor of each part as its code says.
    auto value = [](int32_t index) { return 4.0 / 7.0 * 65536.0 * std::pow(2.0, -index / 3.0); };
    const int32_t used[4][3] = {{1, 10, 20}, {4, 4, 13}, {7, 7, 7}, {10, 19, 19}};
    for (int32_t i = 0; i < 4; ++i) {
        for (int32_t part = 0; part < 3; ++part) {
            EXPECT_NEAR(state->L12.Samples[12 * part + 5][i], value(used[i][part]), 0.01) << i << " " << part;
        }
    }
}

TEST(Layer2Frame, GroupedClassesDegroupThreeSamplesFromOneCode) {
    TStream s{2, 1, 0, 10, 3};
    auto state = NewState(s, 0);
    ASSERT_EQ(SetUpStream(*state, s, 0), 1);
    TContent c;
    c.Mode = 3;
    c.Alloc[0] = 1; // 3 levels, 5 bits per group
    c.Alloc[3] = 1; // 3 levels
    c.Alloc[4] = 2; // 5 levels, 7 bits
    c.Alloc[5] = 4; // 9 levels, 10 bits
    for (int32_t i : {0, 3, 4, 5}) {
        c.Scf[i] = {0, 0, 0};
        c.Scfsi[i] = 2;
    }
    const uint32_t codes3[4] = {26, 0, 31, 5};
    for (int32_t granule = 0; granule < 12; ++granule) {
        c.Code[3 * granule][0] = codes3[granule % 4];
        c.Code[3 * granule][3] = static_cast<uint32_t>(granule);
        c.Code[3 * granule][4] = 124u - static_cast<uint32_t>(granule);
        c.Code[3 * granule][5] = 1023u - static_cast<uint32_t>(granule * 40);
    }
    ASSERT_EQ(Decode(*state, s, WriteFrame(s, c)).Consumed, FrameLengthOf(s));
    ExpectRows(*state, Expected(s, c, 30), 36);
    const double third = 2.0 / 3.0 * 65536.0;
    for (int32_t k = 0; k < 3; ++k) {
        EXPECT_NEAR(state->L12.Samples[k][0], third, 0.01);      // code 26: (1, 1, 1)
        EXPECT_NEAR(state->L12.Samples[3 + k][0], -third, 0.01); // code 0: (-1, -1, -1)
    }
}

TEST(Layer2Frame, RandomFramesOfEveryTableAndJointBoundDecodeAsTheStandardSays) {
    std::mt19937 rng(42);
    const TStream streams[] = {
        {2, 1, 0, 8, 1},  {2, 1, 0, 10, 1}, {2, 1, 0, 4, 1},  {2, 1, 2, 6, 1}, {2, 1, 1, 14, 1},
        {2, 1, 0, 10, 3}, {2, 1, 2, 2, 3},  {2, 0, 0, 14, 1}, {2, 0, 2, 8, 3}, {2, 1, 1, 10, 2},
    };
    for (const TStream& s : streams) {
        SCOPED_TRACE(::testing::Message() << "version " << s.VersionId << " rate " << s.SamplingIndex
                                          << " bit rate " << s.BitrateIndex << " mode " << s.Mode);
        auto state = NewState(s, 0);
        ASSERT_EQ(SetUpStream(*state, s, 0), 1);
        for (int32_t round = 0; round < 8; ++round) {
            const int32_t mode = s.Mode == 1 ? (round % 2 ? 1 : 0) : s.Mode;
            TContent c = RandomContent(s, rng, mode, round % 4);
            ASSERT_EQ(Decode(*state, s, WriteFrame(s, c)).Consumed, FrameLengthOf(s));
            ExpectRows(*state, Expected(s, c, state->L12.Total), 36);
        }
    }
}

TEST(Layer2Frame, SkipsTheBitsAboveTheLimitInEveryGranule) {
    std::mt19937 rng(9);
    TStream s{2, 1, 0, 10, 1}; // B.2b, 30 subbands
    auto state = NewState(s, 0);
    // 5000 Hz at 44.1 kHz: (320000 + 22050) / 44100 = 7 subbands, 14 channel-subbands.
    ASSERT_EQ(SetUpStream(*state, s, 5000), 1);
    ASSERT_EQ(state->SubbandLimit, 14);
    for (int32_t round = 0; round < 8; ++round) {
        TContent c = RandomContent(s, rng, 1, round % 4);
        const TDecoded d = Decode(*state, s, WriteFrame(s, c));
        ASSERT_EQ(d.Consumed, FrameLengthOf(s));
        ExpectRows(*state, Expected(s, c, 14), 36);
    }
}

TEST(Layer2Frame, PaddingAddsOneByte) {
    TStream s{2, 1, 0, 10, 0};
    auto state = NewState(s, 0);
    ASSERT_EQ(SetUpStream(*state, s, 24000), 1);
    TContent c;
    c.Padding = 1;
    EXPECT_EQ(Decode(*state, s, WriteFrame(s, c)).Consumed, FrameLengthOf(s) + 1);
}

// --- Both layers: refusals, channel layout and hostile input ---

TEST(Layer12Frame, WrongSyncOrLayerIsRefusedWithoutWriting) {
    for (int32_t layer : {1, 2}) {
        TStream s{layer, 1, 0, layer == 1 ? 12 : 10, 0};
        auto state = NewState(s, 0);
        ASSERT_EQ(SetUpStream(*state, s, 24000), 1);
        std::vector<uint8_t> frame = WriteFrame(s, TContent{});
        frame[1] &= 0xEF; // sync 0xFFE: an MPEG-2.5 frame
        const TDecoded d = Decode(*state, s, frame);
        EXPECT_EQ(d.Consumed, 0);
        for (int16_t v : d.Pcm) {
            ASSERT_EQ(v, int16_t{0x5A5A});
        }
        // The other layer's routine does not decode with this layer's set-up.
        std::vector<int16_t> pcm(state->OutputBytes / 2);
        frame = WriteFrame(s, TContent{});
        auto* out = reinterpret_cast<uint8_t*>(pcm.data());
        EXPECT_EQ(
            layer == 1 ? Layer2Frame(*state, frame.data(), out) : Layer1Frame(*state, frame.data(), out), 0);
    }
}

TEST(Layer12Frame, StereoSamplesInterleaveLeftAndRight) {
    for (int32_t layer : {1, 2}) {
        SCOPED_TRACE(layer);
        TStream s{layer, 1, 0, layer == 1 ? 12 : 10, 0};
        TContent c;
        for (int32_t i : {2, 6}) { // left channel of subbands 1 and 3 only
            c.Alloc[i] = layer == 1 ? 7 : 8;
            c.Scf[i] = {6, 6, 6};
            for (int32_t row = 0; row < 36; ++row) {
                c.Code[row][i] = (row % 2) ? 0x3Fu : 0xC0u;
            }
        }
        auto pcmOf = [&](int32_t channelMode) {
            auto state = NewState(s, channelMode);
            EXPECT_EQ(SetUpStream(*state, s, 24000), 1);
            std::vector<int16_t> pcm;
            for (int32_t frame = 0; frame < 3; ++frame) {
                const TDecoded d = Decode(*state, s, WriteFrame(s, c));
                EXPECT_GT(d.Consumed, 0);
                pcm.insert(pcm.end(), d.Pcm.begin(), d.Pcm.end());
            }
            return pcm;
        };
        auto energy = [](const std::vector<int16_t>& pcm, size_t first, size_t step) {
            double sum = 0;
            for (size_t n = first; n < pcm.size(); n += step) {
                sum += static_cast<double>(pcm[n]) * pcm[n];
            }
            return sum;
        };
        const auto stereo = pcmOf(0);
        EXPECT_GT(energy(stereo, 0, 2), 1e6);
        EXPECT_EQ(energy(stereo, 1, 2), 0.0);
        EXPECT_GT(energy(pcmOf(2), 0, 1), 1e6); // left only
        EXPECT_EQ(energy(pcmOf(3), 0, 1), 0.0); // right only
        EXPECT_GT(energy(pcmOf(1), 0, 1), 1e5); // mix
    }
}

TEST(Layer12Frame, SingleChannelStreamIgnoresAJointStereoModeInAFrame) {
    // Pairing the subbands of a single-channel stream would walk past the coded ones (B.2a codes an
    // odd number); the stream's layout is the set-up's.
    std::mt19937 rng(21);
    for (int32_t layer : {1, 2}) {
        SCOPED_TRACE(layer);
        TStream s{layer, 1, 0, layer == 1 ? 12 : 5, 3}; // Layer II: 80 kbit/s mono, table B.2a
        auto state = NewState(s, 0);
        ASSERT_EQ(SetUpStream(*state, s, 0), 1);
        TContent c = RandomContent(s, rng, 3, 0);
        std::vector<uint8_t> frame = WriteFrame(s, c);
        ASSERT_GT(Decode(*state, s, frame).Consumed, 0);
        const TRows expected = Expected(s, c, state->L12.Total);
        frame[3] = static_cast<uint8_t>((frame[3] & 0x0F) | 0x40); // mode 1, extension 0
        ASSERT_GT(Decode(*state, s, frame).Consumed, 0);
        EXPECT_EQ(state->L12.JointBound, state->L12.Total);
        ExpectRows(*state, expected, layer == 1 ? 12 : 36);
    }
}

TEST(Layer12Frame, HostileFramesStayInsideTheirBuffers) {
    std::mt19937 rng(77);
    const TStream streams[] = {
        {1, 1, 0, 1, 3}, {1, 1, 1, 14, 1}, {1, 0, 2, 1, 0}, {2, 1, 0, 8, 1},  {2, 1, 0, 10, 3},
        {2, 1, 0, 4, 0}, {2, 1, 2, 4, 2},  {2, 0, 0, 1, 1}, {2, 0, 2, 14, 3}, {2, 1, 1, 3, 3},
    };
    // The forbidden all-ones code of the smallest class reaches 4/3 of the largest scale factor; no
    // code, valid or not, goes beyond.
    const double fullScale = 65536.0 * 4.0 / 3.0 * 1.0001;
    for (const TStream& s : streams) {
        for (int32_t channelMode = 0; channelMode < 4; ++channelMode) {
            SCOPED_TRACE(::testing::Message() << "layer " << s.Layer << " bit rate " << s.BitrateIndex
                                              << " mode " << s.Mode << " channel mode " << channelMode);
            auto state = NewState(s, channelMode);
            ASSERT_EQ(SetUpStream(*state, s, channelMode == 0 ? 0 : 24000), 1);
            const int32_t length = FrameLengthOf(s);
            for (int32_t round = 0; round < 60; ++round) {
                const int32_t padding = static_cast<int32_t>(rng() % 2);
                std::vector<uint8_t> frame(static_cast<size_t>(length + padding * (s.Layer == 1 ? 4 : 1)));
                for (uint8_t& b : frame) {
                    // Random bytes, all ones (every field at its maximum), or a frame cut short.
                    b = round % 3 == 0 ? 0xFF : static_cast<uint8_t>(rng());
                }
                if (round % 3 == 2) {
                    std::fill(frame.begin() + static_cast<long>(rng() % frame.size()), frame.end(), 0);
                }
                frame[0] = 0xFF;
                frame[1] =
                    static_cast<uint8_t>(0xF0 | (s.VersionId << 3) | ((4 - s.Layer) << 1) | (frame[1] & 1));
                frame[2] = static_cast<uint8_t>((frame[2] & 0xF3) | (s.SamplingIndex << 2));
                frame[2] = static_cast<uint8_t>((frame[2] & ~0x02) | (padding << 1));
                const TDecoded d = Decode(*state, s, frame);
                ASSERT_EQ(d.Consumed, static_cast<int32_t>(frame.size()));
                for (const auto& row : state->L12.Samples) {
                    for (float v : row) {
                        ASSERT_TRUE(std::isfinite(v));
                        ASSERT_LE(std::fabs(v), fullScale);
                    }
                }
            }
        }
    }
}

} // namespace
} // namespace tunelo
