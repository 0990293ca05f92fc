// Processor capability detection and the published capability set's mapping to the capability word.

#include "MPCPUSpc.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#define TUNELO_X86 1
#else
#define TUNELO_X86 0
#endif

namespace tunelo {

namespace {

// The last four characters of the vendor string, as CPUID function 0 leaves them in ECX.
constexpr uint32_t FourChars(char a, char b, char c, char d) {
    return static_cast<uint32_t>(static_cast<uint8_t>(a)) |
           static_cast<uint32_t>(static_cast<uint8_t>(b)) << 8 |
           static_cast<uint32_t>(static_cast<uint8_t>(c)) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(d)) << 24;
}

uint32_t VendorBit(uint32_t vendorEcx) {
    switch (vendorEcx) {
    case FourChars('n', 't', 'e', 'l'): // GenuineIntel
        return kCapVendorIntel;
    case FourChars('c', 'A', 'M', 'D'): // AuthenticAMD
        return kCapVendorAMD;
    case FourChars('t', 'e', 'a', 'd'): // CyrixInstead
        return kCapVendorCyrix;
    case FourChars('a', 'u', 'l', 's'): // CentaurHauls
        return kCapVendorCentaur;
    default:
        return kCapVendorOther;
    }
}

constexpr uint32_t Bit(int n) {
    return 1u << n;
}

// The set member and the word bit it stands for. mccE3DNow and mccCMOV cross over: set bits 3 and
// 4 are word bits 0x20 and 0x10.
struct TCapabilityBit {
    TMP3CpuCapability Member;
    uint32_t WordBit;
};
constexpr TCapabilityBit kCapabilityBits[] = {
    {mccMMX, kCapMMX},       {mcc3DNow, kCap3DNow}, {mccKNI, kCapKNI},
    {mccE3DNow, kCapE3DNow}, {mccCMOV, kCapCMOV},   {mccEMMX, kCapEMMX},
};

#if TUNELO_X86

// Loads MXCSR with every exception masked, flush-to-zero on and round to nearest. The value stays
// with the calling thread. Every x86-64 system runs SSE, and a Linux kernel enables it on every
// processor that reports it, so the load cannot fault and the KNI bit always stays.
void LoadSimdControl() {
    uint32_t value = 0x9F80;
    __asm__ __volatile__("ldmxcsr %0" : : "m"(value));
}

uint32_t DetectOnProcessor() {
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    // __get_cpuid_max performs the identification-flag toggle on 32-bit x86; on x86-64 the
    // instruction always exists. A processor without it reports just the floating-point unit.
    if (__get_cpuid_max(0, nullptr) == 0) {
        return kCapFpu;
    }
    TMPCpuidValues values;
    __cpuid(0, eax, ebx, ecx, edx);
    values.VendorEcx = ecx;
    __cpuid(1, eax, ebx, ecx, edx);
    values.Signature = eax;
    values.Features = edx;
    __cpuid(0x80000000u, eax, ebx, ecx, edx);
    values.MaxExtended = eax;
    if (values.MaxExtended >= 0x80000001u) {
        __cpuid(0x80000001u, eax, ebx, ecx, edx);
        values.ExtendedFeatures = edx;
    }
    uint32_t word = CapabilitiesFromCpuid(values);
    if (word & kCapKNI) {
        LoadSimdControl();
    }
    return word;
}

// The packed member set the processor runs. AVX2 members also use FMA, and the wide registers are
// only usable where the operating system saves them (XCR0 bits 1 and 2, read with XGETBV once
// CPUID says the system has enabled it).
TMPSimdLevel ProcessorSimdLevel() {
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    const unsigned maxFunction = __get_cpuid_max(0, nullptr);
    if (maxFunction < 1) {
        return TMPSimdLevel::None;
    }
    __cpuid(1, eax, ebx, ecx, edx);
    if ((edx & Bit(25)) == 0 || (edx & Bit(26)) == 0) { // SSE and SSE2
        return TMPSimdLevel::None;
    }
    const uint32_t avxFmaOsxsave = Bit(28) | Bit(12) | Bit(27);
    if ((ecx & avxFmaOsxsave) != avxFmaOsxsave || maxFunction < 7) {
        return TMPSimdLevel::Sse2;
    }
    uint32_t xcr0 = 0, xcr0High = 0;
    __asm__ __volatile__("xgetbv" : "=a"(xcr0), "=d"(xcr0High) : "c"(0));
    if ((xcr0 & 0x6) != 0x6) {
        return TMPSimdLevel::Sse2;
    }
    __cpuid_count(7, 0, eax, ebx, ecx, edx);
    return (ebx & Bit(5)) != 0 ? TMPSimdLevel::Avx2 : TMPSimdLevel::Sse2;
}

#else

// No identification instruction to ask: only the floating-point bit, which selects the portable
// routines.
uint32_t DetectOnProcessor() {
    return kCapFpu;
}

TMPSimdLevel ProcessorSimdLevel() {
    return TMPSimdLevel::None;
}

#endif

// TUNELO_CPU=generic forces the portable members, TUNELO_CPU=sse2 stops at the SSE2 set; anything
// else leaves the processor's level.
TMPSimdLevel LimitedByEnvironment(TMPSimdLevel level) {
    const char* limit = std::getenv("TUNELO_CPU");
    if (limit == nullptr) {
        return level;
    }
    if (std::strcmp(limit, "generic") == 0) {
        return TMPSimdLevel::None;
    }
    if (std::strcmp(limit, "sse2") == 0) {
        return std::min(level, TMPSimdLevel::Sse2);
    }
    return level;
}

std::atomic<uint32_t> keptWord{0};
std::mutex detectionLock;

} // namespace

uint32_t CapabilitiesFromCpuid(const TMPCpuidValues& values) {
    uint32_t word = kCapFpu | VendorBit(values.VendorEcx);
    // The second byte of the signature: family in the low four bits, processor type above.
    const uint32_t familyByte = (values.Signature >> 8) & 0xFF;
    if (familyByte == 4) {
        // A 486 that knows CPUID: its feature bits are not trusted.
        return word | kCapFamily4;
    }
    word |= familyByte == 5 ? kCapFamily5 : kCapFamily6;

    if (values.MaxExtended >= 0x80000001u) {
        const uint32_t ext = values.ExtendedFeatures;
        if (ext & Bit(31)) {
            word |= kCap3DNow;
        }
        if (ext & Bit(15)) {
            word |= kCapCMOV;
        }
        if (ext & Bit(30)) {
            word |= kCapE3DNow;
        }
        if (ext & Bit(22)) {
            word |= kCapEMMX;
        }
    }

    const uint32_t features = values.Features;
    if (features & Bit(23)) {
        word |= kCapMMX;
    }
    if (features & Bit(15)) {
        word |= kCapCMOV;
    }
    if (features & Bit(25)) {
        // The streaming SIMD extensions bring the extended MMX instructions with them.
        word |= kCapEMMX | kCapKNI;
    }
    return word;
}

uint32_t DetectCapabilities() {
    uint32_t word = keptWord.load(std::memory_order_acquire);
    if (word != 0) {
        return word;
    }
    std::lock_guard<std::mutex> guard(detectionLock);
    word = keptWord.load(std::memory_order_relaxed);
    if (word == 0) {
        word = DetectOnProcessor();
        keptWord.store(word, std::memory_order_release);
    }
    return word;
}

TMPSimdLevel DetectSimdLevel() {
    static const TMPSimdLevel level = LimitedByEnvironment(ProcessorSimdLevel());
    return level;
}

TMP3CpuCapabilities CapabilitiesFromWord(uint32_t word) {
    TMP3CpuCapabilities set;
    for (const TCapabilityBit& entry : kCapabilityBits) {
        if (word & entry.WordBit) {
            set.Include(entry.Member);
        }
    }
    return set;
}

uint32_t WordFromCapabilities(TMP3CpuCapabilities set) {
    uint32_t word = 0;
    for (const TCapabilityBit& entry : kCapabilityBits) {
        if (set.Has(entry.Member)) {
            word |= entry.WordBit;
        }
    }
    return word;
}

} // namespace tunelo
