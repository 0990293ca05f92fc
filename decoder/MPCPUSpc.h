// Processor capabilities and the routine table through which the per-sample decoder stages are called.
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

// Per-sample routines reached through the routine table.
using TMPAliasReduceProc = void (*)(float* lines, int32_t boundaries);
using TMPWindowProc = void (*)(const float* ring, int32_t position, int16_t* output);
// Returns the output line count. clearSubbands is the synthesis width: subbands from the output
// count up to it are cleared in hybridOut.
using TMPHybridProc = int32_t (*)(float* lines, float* overlap, float (*hybridOut)[32], int32_t blockType,
                                  int32_t longLines, int32_t totalLines, int32_t previousLines,
                                  int32_t clearSubbands);
using TMPImdctProc = void (*)(float* values18);

// Which member a table entry holds. Every member is portable C++ for now; the recorded choice
// keeps the selection rules observable.
enum class TMPRoutineVariant : uint8_t { GenericX87, PentiumX87, CmovX87, Amd3DNow, AmdE3DNow };

struct TMPRoutineTable {
    TMPAliasReduceProc AliasReduce = nullptr;
    TMPWindowProc WindowMono = nullptr;
    TMPWindowProc WindowStereo = nullptr;
    TMPHybridProc Hybrid = nullptr;
    TMPImdctProc LongImdct = nullptr;
    TMPImdctProc ShortImdct = nullptr;

    TMPRoutineVariant AliasReduceVariant = TMPRoutineVariant::GenericX87;
    TMPRoutineVariant WindowMonoVariant = TMPRoutineVariant::GenericX87;
    TMPRoutineVariant WindowStereoVariant = TMPRoutineVariant::GenericX87;
    TMPRoutineVariant HybridVariant = TMPRoutineVariant::GenericX87;
    TMPRoutineVariant LongImdctVariant = TMPRoutineVariant::GenericX87;
    TMPRoutineVariant ShortImdctVariant = TMPRoutineVariant::GenericX87;
};

void SelectRoutines(TMPRoutineTable& table, uint32_t word);

// The portable members (defined by their stages: alias reduction, hybrid filterbank, window).
void AliasReduceGeneric(float* lines, int32_t boundaries);
void WindowMonoGeneric(const float* ring, int32_t position, int16_t* output);
void WindowStereoGeneric(const float* ring, int32_t position, int16_t* output);
// The same window regrouped for packed arithmetic, summing in single precision.
void WindowMonoFast(const float* ring, int32_t position, int16_t* output);
void WindowStereoFast(const float* ring, int32_t position, int16_t* output);
int32_t HybridGeneric(float* lines, float* overlap, float (*hybridOut)[32], int32_t blockType,
                      int32_t longLines, int32_t totalLines, int32_t previousLines, int32_t clearSubbands);
void LongImdctGeneric(float* values18);
void ShortImdctGeneric(float* values18);

} // namespace tunelo
