// Layer II: bit allocation by the stream's allocation table, scale-factor selection, scale factors and
// the 12 granules of three samples of a frame, then synthesis.
#include <algorithm>

#include "bit_reader.h"
#include "layer12.h"
#include "standard_tables.h"

namespace tunelo {

namespace {

enum : int32_t { kLayer2Granules = 12, kLayer2Rows = 36, kLayer2PaddingBytes = 1, kNoScaleFactors = 4 };

// Reads the class of every coded channel-subband; past the joint bound one value serves a pair.
// Returns the sample bits per granule that lie at or above the decoding limit.
int32_t ReadAllocation(TMPBitReader12& r, TMPLayer12State& l, const TLayer12Tables& t, int32_t limit) {
    const TLayer2AllocTable& table = kLayer2AllocTables[l.AllocTable];
    int32_t skip = 0;
    int32_t i = 0;
    for (; i < l.JointBound; ++i) {
        const int32_t subband = i >> l.Paired;
        const uint8_t c = table.Classes[subband][BitRead(r, table.AllocBits[subband])];
        l.Class[i] = c;
        if (i >= limit) {
            skip += t.Layer2[c].TripleBits;
        }
    }
    for (; i < l.Total; i += 2) {
        const int32_t subband = i >> 1;
        const uint8_t c = table.Classes[subband][BitRead(r, table.AllocBits[subband])];
        l.Class[i] = c;
        l.Class[i + 1] = c;
        if (i >= limit) {
            skip += t.Layer2[c].TripleBits;
        }
    }
    return skip;
}

// The selection code says how many scale factors the three parts of the frame share.
void ReadScaleFactors(TMPBitReader12& r, TMPLayer12State& l, const TLayer12Tables& t) {
    for (int32_t i = 0; i < l.Total; ++i) {
        l.ScfSelect[i] = static_cast<uint8_t>(l.Class[i] != 0 ? BitRead(r, 2) : uint32_t{kNoScaleFactors});
    }
    for (int32_t i = 0; i < l.Total; ++i) {
        uint32_t index[3];
        switch (l.ScfSelect[i]) {
        case 0:
            index[0] = BitRead(r, 6);
            index[1] = BitRead(r, 6);
            index[2] = BitRead(r, 6);
            break;
        case 1:
            index[0] = index[1] = BitRead(r, 6);
            index[2] = BitRead(r, 6);
            break;
        case 2:
            index[0] = index[1] = index[2] = BitRead(r, 6);
            break;
        case 3:
            index[0] = BitRead(r, 6);
            index[1] = index[2] = BitRead(r, 6);
            break;
        default:
            continue;
        }
        const float requantise = t.Layer2[l.Class[i]].Requantise;
        for (int32_t part = 0; part < 3; ++part) {
            l.Factor[part][i] = t.ScaleMultiplier[index[part]] * requantise;
        }
    }
}

// The frame reader in registers for the sample codes of one granule, with up to 63 bits held: the
// same bits in the same order as BitRead, fetched eight bytes at a time where they lie inside the
// reader's limit (bytes at or beyond it read as 0, as BitRead's do).
struct TSampleReader {
    const uint8_t* Fetch;
    const uint8_t* Limit;
    uint64_t Accumulator; // the low Held bits are unread; bits above them are stale
    int32_t Held;

    explicit TSampleReader(const TMPBitReader12& r)
        : Fetch(r.Fetch), Limit(r.Limit), Accumulator(r.Accumulator), Held(r.Held) {}

    // Hands the position back: the last fetched bytes (the lowest held bits), while unread, are given
    // back, so that at most 24 bits stay held in the 32-bit accumulator.
    void StoreTo(TMPBitReader12& r) {
        while (Held > 24) {
            --Fetch;
            Held -= 8;
            Accumulator >>= 8;
        }
        r.Fetch = Fetch;
        r.Held = Held;
        r.Accumulator = static_cast<uint32_t>(Accumulator & ((uint64_t{1} << Held) - 1u));
    }

    void Refill() {
        const int32_t bytes = (63 - Held) >> 3; // at least 4: refills come with fewer than 24 held
        uint64_t word = 0;
        if (Limit - Fetch >= 8) {
            for (int32_t i = 0; i < 8; ++i) {
                word = (word << 8) | Fetch[i];
            }
        } else {
            for (int32_t i = 0; i < 8; ++i) {
                word = (word << 8) | (Fetch + i < Limit ? Fetch[i] : 0u);
            }
        }
        const int32_t bits = 8 * bytes;
        Accumulator = (Accumulator << bits) | (word >> (64 - bits));
        Fetch += bytes;
        Held += bits;
    }

    // n = 1..16.
    uint32_t Read(int32_t n) {
        if (Held < n) {
            Refill();
        }
        Held -= n;
        return static_cast<uint32_t>(Accumulator >> Held) & ((1u << n) - 1u);
    }
};

// Three consecutive samples of one class, centred on zero and not yet scaled.
inline void ReadTriple(TSampleReader& r, const TLayer2Class& k, float (&value)[3]) {
    if (k.CodeBits == 0) {
        value[0] = value[1] = value[2] = 0.0f;
    } else if (k.Grouped) {
        const int8_t* digits = k.Table + 3 * r.Read(k.CodeBits);
        value[0] = digits[0];
        value[1] = digits[1];
        value[2] = digits[2];
    } else {
        for (float& v : value) {
            v = static_cast<float>(static_cast<int32_t>(r.Read(k.CodeBits)) - k.Offset);
        }
    }
}

// One granule: three rows of channel-subbands, scaled by the factors of the granule's part.
void ReadGranule(TMPBitReader12& reader, TMPLayer12State& l, const TLayer12Tables& t, int32_t limit,
                 const float* factor, float (*rows)[64]) {
    const int32_t separate = std::min(l.JointBound, limit);
    TSampleReader r(reader);
    float value[3];
    int32_t i = 0;
    for (; i < separate; ++i) {
        ReadTriple(r, t.Layer2[l.Class[i]], value);
        for (int32_t k = 0; k < 3; ++k) {
            rows[k][i] = value[k] * factor[i];
        }
    }
    // A joint pair carries one set of codes that each channel scales by its own factor.
    for (; i < limit; i += 2) {
        ReadTriple(r, t.Layer2[l.Class[i]], value);
        for (int32_t k = 0; k < 3; ++k) {
            rows[k][i] = value[k] * factor[i];
            rows[k][i + 1] = value[k] * factor[i + 1];
        }
    }
    r.StoreTo(reader);
    BitSkip(reader, l.SkipBits);
}

} // namespace

int32_t Layer2Setup(TMPDecoderState& state, const TMPHeader& header, int32_t downSampling,
                    int32_t frequencyLimit) {
    const int32_t table = Layer2AllocTableFor(header);
    if (table < 0) {
        state.L12.Layer = 0;
        state.L12OutputRoutine = nullptr;
        return 0;
    }
    if (!Layer12CommonSetup(state, header, downSampling, frequencyLimit, 2,
                            kLayer2AllocTables[table].Subbands)) {
        return 0;
    }
    state.L12.AllocTable = table;
    return 1;
}

int32_t Layer2Frame(TMPDecoderState& state, const uint8_t* frame, uint8_t* output) {
    TMPLayer12State& l = state.L12;
    if (l.Layer != 2 || state.L12OutputRoutine == nullptr) {
        return 0;
    }
    const int32_t bytes = Layer12StartFrame(state, frame, kLayer2PaddingBytes);
    if (bytes == 0) {
        return 0;
    }
    const TLayer12Tables& t = Layer12Tables();
    TMPBitReader12& r = state.Reader12;
    const int32_t limit = state.SubbandLimit;

    l.SkipBits = ReadAllocation(r, l, t, limit);
    ReadScaleFactors(r, l, t);
    for (int32_t granule = 0; granule < kLayer2Granules; ++granule) {
        ReadGranule(r, l, t, limit, l.Factor[granule / 4], &l.Samples[3 * granule]);
    }
    state.L12OutputRoutine(state, &l.Samples[0][0], reinterpret_cast<int16_t*>(output), kLayer2Rows);
    return bytes;
}

} // namespace tunelo
