// Processor capabilities: the capability word, the published capability set and the packed member
// sets this processor runs. The routine table they choose from is in routine_table.h.
#pragma once

#include <cstdint>

namespace tunelo {

// Capability word bits.
enum : uint32_t {
    kCapFpu = 0x1,
    kCapMMX = 0x2,
    kCap3DNow = 0x4,
    kCapKNI = 0x8,
    kCapCMOV = 0x10,
    kCapE3DNow = 0x20,
    kCapEMMX = 0x40,
    kCapVendorIntel = 0x100,
    kCapVendorAMD = 0x200,
    kCapVendorCyrix = 0x400,
    kCapVendorCentaur = 0x800,
    kCapVendorOther = 0x8000,
    kCapFamily4 = 0x100000,
    kCapFamily5 = 0x200000,
    kCapFamily6 = 0x400000,
    kCapSetBits = 0x7E, // the six bits that the published capability set can switch off
};

enum TMP3CpuCapability : uint8_t { mccMMX, mcc3DNow, mccKNI, mccE3DNow, mccCMOV, mccEMMX };

// A set over TMP3CpuCapability, member n = bit n.
struct TMP3CpuCapabilities {
    uint8_t Bits = 0;
    bool Has(TMP3CpuCapability c) const { return (Bits >> c) & 1; }
    void Include(TMP3CpuCapability c) { Bits |= static_cast<uint8_t>(1u << c); }
    void Exclude(TMP3CpuCapability c) { Bits &= static_cast<uint8_t>(~(1u << c)); }
    friend bool operator==(TMP3CpuCapabilities, TMP3CpuCapabilities) = default;
};

TMP3CpuCapabilities CapabilitiesFromWord(uint32_t word);
uint32_t WordFromCapabilities(TMP3CpuCapabilities set);

// Detects once per process (again while the kept word is 0) and returns the capability word.
uint32_t DetectCapabilities();

// What the identification instruction reported, as far as the capability word depends on it.
struct TMPCpuidValues {
    uint32_t VendorEcx = 0;        // function 0, ECX: the last four characters of the vendor string
    uint32_t Signature = 0;        // function 1, EAX
    uint32_t Features = 0;         // function 1, EDX
    uint32_t MaxExtended = 0;      // function 0x80000000, EAX
    uint32_t ExtendedFeatures = 0; // function 0x80000001, EDX (only read when MaxExtended allows)
};

// The capability word of a processor with a floating-point unit and the identification
// instruction, before the SIMD control register has been tried.
uint32_t CapabilitiesFromCpuid(const TMPCpuidValues& values);

// The packed member sets, each needing the one before it. Kept apart from the capability word, whose
// bits keep their meaning: the word's KNI bit only says whether packed members may be used at all.
enum class TMPSimdLevel : uint8_t { None, Sse2, Avx2 };

// What this processor and its operating system run (AVX2 needs FMA and the system's saving of the
// wide registers). TUNELO_CPU in the environment, read once per process, lowers it: "generic" to
// None, "sse2" to Sse2.
TMPSimdLevel DetectSimdLevel();

} // namespace tunelo
