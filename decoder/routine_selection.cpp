// Fills the routine table with one variant of each per-sample routine, chosen by the capability word.

#include "MPCPUSpc.h"

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

// The member of each variant, indexed by TMPRoutineVariant. Only the portable members exist so
// far; a faster one takes its variant's place here once it has proved itself.
constexpr int kVariants = 5;
static_assert(static_cast<int>(V::AmdE3DNow) == kVariants - 1, "one member per variant");
constexpr TMPAliasReduceProc kAliasReduceMembers[kVariants] = {
    AliasReduceGeneric, AliasReduceGeneric, AliasReduceGeneric, AliasReduceGeneric, AliasReduceGeneric};
constexpr TMPWindowProc kWindowMonoMembers[kVariants] = {WindowMonoFast, WindowMonoFast, WindowMonoFast,
                                                         WindowMonoFast, WindowMonoFast};
constexpr TMPWindowProc kWindowStereoMembers[kVariants] = {
    WindowStereoFast, WindowStereoFast, WindowStereoFast, WindowStereoFast, WindowStereoFast};
constexpr TMPHybridProc kHybridMembers[kVariants] = {HybridGeneric, HybridGeneric, HybridGeneric,
                                                     HybridGeneric, HybridGeneric};
constexpr TMPImdctProc kLongImdctMembers[kVariants] = {LongImdctGeneric, LongImdctGeneric, LongImdctGeneric,
                                                       LongImdctGeneric, LongImdctGeneric};
constexpr TMPImdctProc kShortImdctMembers[kVariants] = {
    ShortImdctGeneric, ShortImdctGeneric, ShortImdctGeneric, ShortImdctGeneric, ShortImdctGeneric};

template <typename Proc> Proc MemberOf(const Proc (&members)[kVariants], V variant) {
    return members[static_cast<int>(variant)];
}

} // namespace

void SelectRoutines(TMPRoutineTable& table, uint32_t word) {
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

    table.AliasReduce = MemberOf(kAliasReduceMembers, table.AliasReduceVariant);
    table.WindowMono = MemberOf(kWindowMonoMembers, table.WindowMonoVariant);
    table.WindowStereo = MemberOf(kWindowStereoMembers, table.WindowStereoVariant);
    table.Hybrid = MemberOf(kHybridMembers, table.HybridVariant);
    table.LongImdct = MemberOf(kLongImdctMembers, table.LongImdctVariant);
    table.ShortImdct = MemberOf(kShortImdctMembers, table.ShortImdctVariant);
}

} // namespace tunelo
