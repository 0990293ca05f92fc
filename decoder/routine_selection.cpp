// Fills the routine table: the processor variant of each entry by the capability word's rules, and
// behind it the fastest member set that the processor and the word allow.

#include <algorithm>

#include "layer3_imdct_packed.h"
#include "routine_table.h"
#include "simd_members.h"
#include "synthesis.h"
#include "synthesis_dct_matrix.h"
#include "synthesis_window_layout.h"

namespace tunelo {

namespace {

using V = TMPRoutineVariant;

bool Has(uint32_t word, uint32_t bits) {
    return (word & bits) == bits;
}

// Intel P5/P6: the Pentium-scheduled variants need the Intel vendor and family 5 or 6 (or later).
bool IntelPentium(uint32_t word) {
    return Has(word, kCapVendorIntel) && (word & (kCapFamily5 | kCapFamily6)) != 0;
}

V AliasReduceVariant(uint32_t word) {
    if (Has(word, kCapE3DNow)) {
        return V::AmdE3DNow;
    }
    if (Has(word, kCap3DNow)) {
        return V::Amd3DNow;
    }
    return V::GenericX87;
}

V WindowVariant(uint32_t word) {
    if (Has(word, kCapE3DNow | kCapEMMX)) {
        return V::AmdE3DNow;
    }
    if (Has(word, kCap3DNow)) {
        return V::Amd3DNow;
    }
    if (IntelPentium(word)) {
        return Has(word, kCapCMOV) ? V::CmovX87 : V::PentiumX87;
    }
    return V::GenericX87;
}

V HybridVariant(uint32_t word) {
    if (Has(word, kCapE3DNow | kCapCMOV)) {
        return V::AmdE3DNow;
    }
    return IntelPentium(word) ? V::PentiumX87 : V::GenericX87;
}

V ImdctVariant(uint32_t word) {
    if (Has(word, kCapE3DNow)) {
        return V::AmdE3DNow;
    }
    return IntelPentium(word) ? V::PentiumX87 : V::GenericX87;
}

// One member per entry. Every processor variant shares the portable set: its members are plain C++
// that the compiler schedules for whatever processor runs it. The packed sets replace it wherever the
// processor and the capability word allow them.
struct TMemberSet {
    TMPAliasReduceProc AliasReduce;
    TMPWindowProc WindowMono;
    TMPWindowProc WindowStereo;
    TMPHybridProc Hybrid;
    TMPImdctProc LongImdct;
    TMPImdctProc ShortImdct;
    TMPSubbandDctProc SubbandDct;
    TMPSubbandDctProc SubbandDctPair;
    TMPSubbandDctProc SubbandDctMix;
};

constexpr TMemberSet kPortableMembers = {AliasReduceGeneric, WindowMonoFast,         WindowStereoFast,
                                         HybridGeneric,      LongImdctGeneric,       ShortImdctGeneric,
                                         tunelo::SubbandDct, tunelo::SubbandDctPair, tunelo::SubbandDctMix};

#if TUNELO_SIMD_MEMBERS
// Where a packed member is not faster than the portable one (timed with bench/), the portable one
// stays in the set.
constexpr TMemberSet kSse2Members = {AliasReduceSse2, WindowMonoFast,     WindowStereoFast,
                                     HybridSse2,      LongImdctGeneric,   ShortImdctGeneric,
                                     SubbandDctSse2,  SubbandDctPairSse2, SubbandDctMixSse2};
constexpr TMemberSet kAvx2Members = {AliasReduceAvx2, WindowMonoAvx2,     WindowStereoAvx2,
                                     HybridAvx2,      LongImdctAvx2,      ShortImdctGeneric,
                                     SubbandDctAvx2,  SubbandDctPairAvx2, SubbandDctMixAvx2};
#endif

const TMemberSet& MembersOf(TMPSimdLevel level) {
#if TUNELO_SIMD_MEMBERS
    switch (level) {
    case TMPSimdLevel::Avx2:
        return kAvx2Members;
    case TMPSimdLevel::Sse2:
        return kSse2Members;
    case TMPSimdLevel::None:
        break;
    }
#else
    (void)level;
#endif
    return kPortableMembers;
}

} // namespace

void SelectRoutines(TMPRoutineTable& table, uint32_t word, TMPSimdLevel ceiling) {
    // Enhanced 3DNow! is an extension of 3DNow!: without the base set none of its routines apply.
    if (!Has(word, kCap3DNow)) {
        word &= ~kCapE3DNow;
    }

    table.AliasReduceVariant = AliasReduceVariant(word);
    table.WindowMonoVariant = WindowVariant(word);
    table.WindowStereoVariant = WindowVariant(word);
    table.HybridVariant = HybridVariant(word);
    table.LongImdctVariant = ImdctVariant(word);
    table.ShortImdctVariant = ImdctVariant(word);

    // Without KNI (switched off by the user, or absent) no packed member is used at all.
    const TMPSimdLevel level = Has(word, kCapKNI) ? std::min(DetectSimdLevel(), ceiling) : TMPSimdLevel::None;
    const TMemberSet& members = MembersOf(level);
    table.Simd = level;
    if (level != TMPSimdLevel::None) {
        // Their tables are built here, once per process, so that no frame waits for them.
        DctMatrices();
        ImdctPacked();
        CurrentWindowLayout();
    }
    table.AliasReduce = members.AliasReduce;
    table.WindowMono = members.WindowMono;
    table.WindowStereo = members.WindowStereo;
    table.Hybrid = members.Hybrid;
    table.LongImdct = members.LongImdct;
    table.ShortImdct = members.ShortImdct;
    table.SubbandDct = members.SubbandDct;
    table.SubbandDctPair = members.SubbandDctPair;
    table.SubbandDctMix = members.SubbandDctMix;
}

void SelectRoutines(TMPRoutineTable& table, uint32_t word) {
    SelectRoutines(table, word, TMPSimdLevel::Avx2);
}

} // namespace tunelo
