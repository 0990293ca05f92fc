// Capability word: the set mapping, the decision from CPUID values, the routine selection rules, the
// member sets behind them, and the detection on this machine.

#include "MPCPUSpc.h"
#include "routine_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <string>

#include "simd_members.h"
#include "synthesis.h"

#if defined(__i386__) || defined(__x86_64__)
#include <xmmintrin.h>
#endif

namespace tunelo {
namespace {

using V = TMPRoutineVariant;

TMP3CpuCapabilities SetOf(std::initializer_list<TMP3CpuCapability> members) {
    TMP3CpuCapabilities set;
    for (TMP3CpuCapability m : members) {
        set.Include(m);
    }
    return set;
}

// ---------------------------------------------------------------------------------------------
// The published set and the capability word

TEST(CapabilitySet, EachMemberMapsToItsWordBit) {
    const struct {
        TMP3CpuCapability Member;
        uint32_t Word;
    } mapping[] = {{mccMMX, 0x2},     {mcc3DNow, 0x4}, {mccKNI, 0x8},
                   {mccE3DNow, 0x20}, {mccCMOV, 0x10}, {mccEMMX, 0x40}};
    for (const auto& m : mapping) {
        EXPECT_EQ(WordFromCapabilities(SetOf({m.Member})), m.Word) << int(m.Member);
        EXPECT_EQ(CapabilitiesFromWord(m.Word), SetOf({m.Member})) << int(m.Member);
    }
}

TEST(CapabilitySet, E3DNowAndCmovCrossOver) {
    // Set bit 3 is word bit 0x20, set bit 4 is word bit 0x10.
    EXPECT_EQ(CapabilitiesFromWord(0x20).Bits, 0x08);
    EXPECT_EQ(CapabilitiesFromWord(0x10).Bits, 0x10);
    TMP3CpuCapabilities raw;
    raw.Bits = 0x08;
    EXPECT_EQ(WordFromCapabilities(raw), 0x20u);
    raw.Bits = 0x10;
    EXPECT_EQ(WordFromCapabilities(raw), 0x10u);
    raw.Bits = 0x18;
    EXPECT_EQ(WordFromCapabilities(raw), 0x30u);
}

TEST(CapabilitySet, RoundTripsAndIgnoresOtherWordBits) {
    for (unsigned bits = 0; bits < 64; ++bits) {
        TMP3CpuCapabilities set;
        set.Bits = static_cast<uint8_t>(bits);
        const uint32_t word = WordFromCapabilities(set);
        EXPECT_EQ(word & ~uint32_t{kCapSetBits}, 0u) << bits;
        EXPECT_EQ(std::popcount(word), std::popcount(bits)) << bits;
        EXPECT_EQ(CapabilitiesFromWord(word), set) << bits;
    }
    // Vendor, family and floating-point bits are not members.
    EXPECT_EQ(CapabilitiesFromWord(kCapFpu | kCapVendorIntel | kCapFamily6 | kCapVendorOther).Bits, 0);
    EXPECT_EQ(CapabilitiesFromWord(0xFFFFFFFFu).Bits, 0x3F);
    // Bits 6 and 7 of the set byte are no members either.
    TMP3CpuCapabilities high;
    high.Bits = 0xC0;
    EXPECT_EQ(WordFromCapabilities(high), 0u);
}

// ---------------------------------------------------------------------------------------------
// The decision from CPUID values

uint32_t Vendor(const char* vendorString) {
    uint32_t ecx = 0;
    std::memcpy(&ecx, vendorString + 8, 4); // the last four of the twelve characters
    return ecx;
}

constexpr uint32_t kMmx = 1u << 23, kCmov = 1u << 15, kSse = 1u << 25;
constexpr uint32_t kExt3DNow = 1u << 31, kExtE3DNow = 1u << 30, kExtMmx = 1u << 22, kExtCmov = 1u << 15;

TEST(CpuidDecision, VendorFromTheLastFourCharacters) {
    TMPCpuidValues v;
    v.Signature = 0x0600;
    v.VendorEcx = Vendor("GenuineIntel");
    EXPECT_EQ(CapabilitiesFromCpuid(v), kCapFpu | kCapVendorIntel | kCapFamily6);
    v.VendorEcx = Vendor("AuthenticAMD");
    EXPECT_EQ(CapabilitiesFromCpuid(v), kCapFpu | kCapVendorAMD | kCapFamily6);
    v.VendorEcx = Vendor("CyrixInstead");
    EXPECT_EQ(CapabilitiesFromCpuid(v), kCapFpu | kCapVendorCyrix | kCapFamily6);
    v.VendorEcx = Vendor("CentaurHauls");
    EXPECT_EQ(CapabilitiesFromCpuid(v), kCapFpu | kCapVendorCentaur | kCapFamily6);
    for (const char* other : {"HygonGenuine", "AMDisbetter!", "GenuineTMx86", "            "}) {
        v.VendorEcx = Vendor(other);
        EXPECT_EQ(CapabilitiesFromCpuid(v), kCapFpu | kCapVendorOther | kCapFamily6) << other;
    }
    // Only the last four characters count.
    v.VendorEcx = Vendor("SomeoneIntel");
    EXPECT_EQ(CapabilitiesFromCpuid(v) & 0xFF00, kCapVendorIntel);
}

TEST(CpuidDecision, FamilyByte) {
    TMPCpuidValues v;
    v.VendorEcx = Vendor("GenuineIntel");
    const struct {
        uint32_t Signature;
        uint32_t Family;
    } cases[] = {
        {0x0543, kCapFamily5},  {0x0673, kCapFamily6}, {0x0F29, kCapFamily6},
        {0x906EA, kCapFamily6}, {0x0300, kCapFamily6}, // a family byte that is neither 4 nor 5
        {0x1543, kCapFamily6}, // processor type 1 above family 5: the whole byte counts
    };
    for (const auto& c : cases) {
        v.Signature = c.Signature;
        EXPECT_EQ(CapabilitiesFromCpuid(v) & 0xF00000, c.Family) << std::hex << c.Signature;
    }
}

TEST(CpuidDecision, FamilyFourKeepsOnlyFpuVendorAndFamily) {
    TMPCpuidValues v;
    v.VendorEcx = Vendor("AuthenticAMD");
    v.Signature = 0x0435;
    v.Features = 0xFFFFFFFFu;
    v.MaxExtended = 0x80000008u;
    v.ExtendedFeatures = 0xFFFFFFFFu;
    EXPECT_EQ(CapabilitiesFromCpuid(v), kCapFpu | kCapVendorAMD | kCapFamily4);
}

TEST(CpuidDecision, FeatureBits) {
    TMPCpuidValues v;
    v.VendorEcx = Vendor("GenuineIntel");
    v.Signature = 0x0673; // Pentium III
    const uint32_t base = kCapFpu | kCapVendorIntel | kCapFamily6;
    v.Features = kMmx;
    EXPECT_EQ(CapabilitiesFromCpuid(v), base | kCapMMX);
    v.Features = kCmov;
    EXPECT_EQ(CapabilitiesFromCpuid(v), base | kCapCMOV);
    v.Features = kSse; // SSE implies the extended MMX instructions
    EXPECT_EQ(CapabilitiesFromCpuid(v), base | kCapKNI | kCapEMMX);
    v.Features = kMmx | kCmov | kSse | 0x1; // plus the x87 bit, which adds nothing
    EXPECT_EQ(CapabilitiesFromCpuid(v), base | kCapMMX | kCapCMOV | kCapKNI | kCapEMMX);

    // Extended features count only when function 0x80000001 exists.
    v.Features = 0;
    v.ExtendedFeatures = kExt3DNow | kExtE3DNow | kExtMmx | kExtCmov;
    v.MaxExtended = 0x80000000u;
    EXPECT_EQ(CapabilitiesFromCpuid(v), base);
    v.MaxExtended = 0;
    EXPECT_EQ(CapabilitiesFromCpuid(v), base);
    v.MaxExtended = 0x80000001u;
    EXPECT_EQ(CapabilitiesFromCpuid(v), base | kCap3DNow | kCapE3DNow | kCapEMMX | kCapCMOV);
    v.ExtendedFeatures = kExt3DNow;
    EXPECT_EQ(CapabilitiesFromCpuid(v), base | kCap3DNow);
    v.ExtendedFeatures = kExtE3DNow;
    EXPECT_EQ(CapabilitiesFromCpuid(v), base | kCapE3DNow);
}

TEST(CpuidDecision, AthlonAndK6) {
    TMPCpuidValues athlon;
    athlon.VendorEcx = Vendor("AuthenticAMD");
    athlon.Signature = 0x0642;
    athlon.Features = kMmx | kCmov;
    athlon.MaxExtended = 0x80000008u;
    athlon.ExtendedFeatures = kExt3DNow | kExtE3DNow | kExtMmx | kExtCmov | kMmx;
    EXPECT_EQ(CapabilitiesFromCpuid(athlon),
              kCapFpu | kCapVendorAMD | kCapFamily6 | kCapMMX | kCap3DNow | kCapCMOV | kCapE3DNow | kCapEMMX);

    TMPCpuidValues k6;
    k6.VendorEcx = Vendor("AuthenticAMD");
    k6.Signature = 0x058C;
    k6.Features = kMmx;
    k6.MaxExtended = 0x80000005u;
    k6.ExtendedFeatures = kExt3DNow | kMmx;
    EXPECT_EQ(CapabilitiesFromCpuid(k6), kCapFpu | kCapVendorAMD | kCapFamily5 | kCapMMX | kCap3DNow);
}

// ---------------------------------------------------------------------------------------------
// Routine selection

struct TChoice {
    V AliasReduce, Window, Hybrid, Imdct;
};

// The members one set puts into the table.
struct TMembers {
    TMPAliasReduceProc AliasReduce;
    TMPWindowProc WindowMono, WindowStereo;
    TMPHybridProc Hybrid;
    TMPImdctProc LongImdct, ShortImdct;
    TMPSubbandDctProc Dct, DctPair, DctMix;
};

TMembers MembersOf(TMPSimdLevel level) {
#if TUNELO_SIMD_MEMBERS
    // Where the portable member is the faster one, the packed set keeps it.
    if (level == TMPSimdLevel::Avx2) {
        return {AliasReduceAvx2,   WindowMonoAvx2, WindowStereoAvx2,   HybridAvx2,       LongImdctAvx2,
                ShortImdctGeneric, SubbandDctAvx2, SubbandDctPairAvx2, SubbandDctMixAvx2};
    }
    if (level == TMPSimdLevel::Sse2) {
        return {AliasReduceSse2,   WindowMonoFast, WindowStereoFast,   HybridSse2,       LongImdctGeneric,
                ShortImdctGeneric, SubbandDctSse2, SubbandDctPairSse2, SubbandDctMixSse2};
    }
#endif
    // Every processor variant shares the portable members; the window in its regrouped form.
    EXPECT_EQ(level, TMPSimdLevel::None);
    return {AliasReduceGeneric, WindowMonoFast, WindowStereoFast, HybridGeneric, LongImdctGeneric,
            ShortImdctGeneric,  SubbandDct,     SubbandDctPair,   SubbandDctMix};
}

void ExpectMembers(const TMPRoutineTable& table, TMPSimdLevel level) {
    const TMembers expected = MembersOf(level);
    EXPECT_EQ(table.Simd, level);
    EXPECT_EQ(table.AliasReduce, expected.AliasReduce);
    EXPECT_EQ(table.WindowMono, expected.WindowMono);
    EXPECT_EQ(table.WindowStereo, expected.WindowStereo);
    EXPECT_EQ(table.Hybrid, expected.Hybrid);
    EXPECT_EQ(table.LongImdct, expected.LongImdct);
    EXPECT_EQ(table.ShortImdct, expected.ShortImdct);
    EXPECT_EQ(table.SubbandDct, expected.Dct);
    EXPECT_EQ(table.SubbandDctPair, expected.DctPair);
    EXPECT_EQ(table.SubbandDctMix, expected.DctMix);
}

void ExpectSelection(uint32_t word, TChoice expected) {
    TMPRoutineTable table;
    SelectRoutines(table, word);
    SCOPED_TRACE(::testing::Message() << "word 0x" << std::hex << word);
    EXPECT_EQ(table.AliasReduceVariant, expected.AliasReduce);
    EXPECT_EQ(table.WindowMonoVariant, expected.Window);
    EXPECT_EQ(table.WindowStereoVariant, expected.Window);
    EXPECT_EQ(table.HybridVariant, expected.Hybrid);
    EXPECT_EQ(table.LongImdctVariant, expected.Imdct);
    EXPECT_EQ(table.ShortImdctVariant, expected.Imdct);
    // The packed members serve every variant alike, as far as the processor goes, and only with KNI.
    ExpectMembers(table, (word & kCapKNI) != 0 ? DetectSimdLevel() : TMPSimdLevel::None);
}

constexpr uint32_t kIntel6 = kCapFpu | kCapVendorIntel | kCapFamily6;
constexpr uint32_t kAmd6 = kCapFpu | kCapVendorAMD | kCapFamily6;
constexpr uint32_t kAthlon = kAmd6 | kCapMMX | kCap3DNow | kCapCMOV | kCapE3DNow | kCapEMMX;

TEST(RoutineSelection, IntelFamilySixWithCmovAndSse) {
    const uint32_t pentium3 = kIntel6 | kCapMMX | kCapCMOV | kCapKNI | kCapEMMX;
    const TChoice expected{V::GenericX87, V::CmovX87, V::PentiumX87, V::PentiumX87};
    ExpectSelection(pentium3, expected);
    ExpectSelection(pentium3 & ~kCapKNI, expected); // KNI selects nothing
    ExpectSelection(pentium3 & ~kCapMMX, expected); // nor does MMX
}

TEST(RoutineSelection, IntelPentiumNeedsFamilyFiveOrSix) {
    const uint32_t p5 = kCapFpu | kCapVendorIntel | kCapFamily5 | kCapMMX;
    ExpectSelection(p5, {V::GenericX87, V::PentiumX87, V::PentiumX87, V::PentiumX87});
    ExpectSelection(p5 | kCapCMOV, {V::GenericX87, V::CmovX87, V::PentiumX87, V::PentiumX87});
    // A 486 (family 4) or an Intel word without a family bit gets the generic members.
    const TChoice generic{V::GenericX87, V::GenericX87, V::GenericX87, V::GenericX87};
    ExpectSelection(kCapFpu | kCapVendorIntel | kCapFamily4, generic);
    ExpectSelection(kCapFpu | kCapVendorIntel | kCapCMOV, generic);
}

TEST(RoutineSelection, AthlonTakesEnhanced3DNowEverywhere) {
    ExpectSelection(kAthlon, {V::AmdE3DNow, V::AmdE3DNow, V::AmdE3DNow, V::AmdE3DNow});
    // Each half of a rule matters: the window needs extended MMX, the filterbank CMOV.
    ExpectSelection(kAthlon & ~kCapEMMX, {V::AmdE3DNow, V::Amd3DNow, V::AmdE3DNow, V::AmdE3DNow});
    ExpectSelection(kAthlon & ~kCapCMOV, {V::AmdE3DNow, V::AmdE3DNow, V::GenericX87, V::AmdE3DNow});
}

TEST(RoutineSelection, Enhanced3DNowWithout3DNowSelectsNo3DNowRoutine) {
    // The user keeps mccE3DNow but switches mcc3DNow off on an Athlon.
    TMP3CpuCapabilities using_ = CapabilitiesFromWord(kAthlon);
    using_.Exclude(mcc3DNow);
    const uint32_t word = (kAthlon & ~uint32_t{kCapSetBits}) | WordFromCapabilities(using_);
    ASSERT_EQ(word, kAthlon & ~kCap3DNow);
    const TChoice generic{V::GenericX87, V::GenericX87, V::GenericX87, V::GenericX87};
    ExpectSelection(word, generic);
    // On an Intel word the x87 rules behind the 3DNow! ones take over.
    ExpectSelection(kIntel6 | kCapE3DNow | kCapEMMX | kCapCMOV,
                    {V::GenericX87, V::CmovX87, V::PentiumX87, V::PentiumX87});
}

TEST(RoutineSelection, PlainThreeDNowGetsX87Filterbank) {
    const uint32_t k6 = kCapFpu | kCapVendorAMD | kCapFamily5 | kCapMMX | kCap3DNow;
    ExpectSelection(k6, {V::Amd3DNow, V::Amd3DNow, V::GenericX87, V::GenericX87});
    // 3DNow! ranks above the Intel rules.
    ExpectSelection(kIntel6 | kCap3DNow | kCapCMOV, {V::Amd3DNow, V::Amd3DNow, V::PentiumX87, V::PentiumX87});
}

TEST(RoutineSelection, CyrixCentaurAndUnknownVendorsGetGenericMembers) {
    const TChoice generic{V::GenericX87, V::GenericX87, V::GenericX87, V::GenericX87};
    for (uint32_t vendor : {kCapVendorCyrix, kCapVendorCentaur, kCapVendorOther, kCapVendorAMD}) {
        for (uint32_t family : {kCapFamily5, kCapFamily6}) {
            ExpectSelection(kCapFpu | vendor | family | kCapMMX | kCapCMOV | kCapEMMX, generic);
        }
    }
    ExpectSelection(0, generic); // no floating-point unit at all
    ExpectSelection(kCapFpu, generic);
}

TEST(RoutineSelection, KniSwitchedOffKeepsEveryPackedMemberOut) {
    const uint32_t detected = DetectCapabilities();
    TMPRoutineTable table;
    SelectRoutines(table, detected & ~kCapKNI);
    ExpectMembers(table, TMPSimdLevel::None);
    // The user's set without mccKNI, mapped back onto the detected word as the player does.
    TMP3CpuCapabilities using_ = CapabilitiesFromWord(detected);
    using_.Exclude(mccKNI);
    SelectRoutines(table, (detected & ~uint32_t{kCapSetBits}) | WordFromCapabilities(using_));
    ExpectMembers(table, TMPSimdLevel::None);
    SelectRoutines(table, detected);
    ExpectMembers(table, (detected & kCapKNI) != 0 ? DetectSimdLevel() : TMPSimdLevel::None);
}

TEST(RoutineSelection, CeilingLimitsThePackedSet) {
    const uint32_t word = kIntel6 | kCapMMX | kCapCMOV | kCapKNI | kCapEMMX;
    for (TMPSimdLevel ceiling : {TMPSimdLevel::None, TMPSimdLevel::Sse2, TMPSimdLevel::Avx2}) {
        TMPRoutineTable table;
        SelectRoutines(table, word, ceiling);
        SCOPED_TRACE(static_cast<int>(ceiling));
        ExpectMembers(table, std::min(ceiling, DetectSimdLevel()));
        // The recorded variants do not depend on the member set.
        EXPECT_EQ(table.WindowMonoVariant, V::CmovX87);
        EXPECT_EQ(table.HybridVariant, V::PentiumX87);
    }
}

TEST(RoutineSelection, RefillReplacesAnEarlierChoice) {
    TMPRoutineTable table;
    SelectRoutines(table, kAthlon);
    ASSERT_EQ(table.HybridVariant, V::AmdE3DNow);
    SelectRoutines(table, kCapFpu);
    EXPECT_EQ(table.AliasReduceVariant, V::GenericX87);
    EXPECT_EQ(table.WindowMonoVariant, V::GenericX87);
    EXPECT_EQ(table.HybridVariant, V::GenericX87);
    EXPECT_EQ(table.ShortImdctVariant, V::GenericX87);
}

// ---------------------------------------------------------------------------------------------
// Detection on this machine

TEST(DetectCapabilities, ReportsThisProcessorAndKeepsTheWord) {
    const uint32_t word = DetectCapabilities();
    EXPECT_NE(word & kCapFpu, 0u);
    const uint32_t known = 0x7F | 0x0F00 | kCapVendorOther | kCapFamily4 | kCapFamily5 | kCapFamily6;
    EXPECT_EQ(word & ~known, 0u) << std::hex << word;
    EXPECT_EQ(DetectCapabilities(), word);
    EXPECT_EQ(DetectCapabilities(), word);
#if defined(__i386__) || defined(__x86_64__)
    EXPECT_EQ(std::popcount(word & (0x0F00 | kCapVendorOther)), 1) << std::hex << word;
    EXPECT_EQ(std::popcount(word & (kCapFamily4 | kCapFamily5 | kCapFamily6)), 1) << std::hex << word;
#endif
#if defined(__x86_64__)
    // Every x86-64 processor has MMX, CMOV and SSE.
    EXPECT_EQ(word & (kCapMMX | kCapCMOV | kCapKNI | kCapEMMX),
              uint32_t{kCapMMX | kCapCMOV | kCapKNI | kCapEMMX});
    // This thread ran the detection: it keeps flush-to-zero, round to nearest, all exceptions
    // masked (the low six bits are sticky exception flags).
    EXPECT_EQ(_mm_getcsr() & ~0x3Fu, 0x9F80u);
#endif
}

TEST(DetectSimdLevel, FollowsTheProcessorUnlessTheEnvironmentLimitsIt) {
    const TMPSimdLevel level = DetectSimdLevel();
    EXPECT_EQ(DetectSimdLevel(), level);
    const char* limit = std::getenv("TUNELO_CPU");
    const std::string limitText = limit ? limit : "";
#if defined(__x86_64__) || defined(__i386__)
    // The compiler's own processor query as a second opinion (it also checks the system's support).
    __builtin_cpu_init();
    TMPSimdLevel processor = TMPSimdLevel::None;
    if (__builtin_cpu_supports("sse2")) {
        processor = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma") ? TMPSimdLevel::Avx2
                                                                                    : TMPSimdLevel::Sse2;
    }
    if (limitText == "generic") {
        EXPECT_EQ(level, TMPSimdLevel::None);
    } else if (limitText == "sse2") {
        EXPECT_EQ(level, std::min(processor, TMPSimdLevel::Sse2));
    } else {
        EXPECT_EQ(level, processor);
    }
#else
    EXPECT_EQ(level, TMPSimdLevel::None);
#endif
}

} // namespace
} // namespace tunelo
