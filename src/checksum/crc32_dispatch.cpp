// Picks the CRC-32 kernel once at start-up, and derives the folding constants.
#include <iterator>

#include "checksum/crc32.h"
#include "checksum/crc32_kernels.h"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define VELMORA_X86_64 1
#endif

FoldConstants crc_fold;

namespace {

// The polynomial without its x^32 term, in plain bit order.
constexpr std::uint32_t POLY = 0x04C11DB7u;

// a * b mod P, both of degree below 32.
std::uint32_t mul_mod(std::uint32_t a, std::uint32_t b) {
    std::uint32_t r = 0;
    for (int bit = 31; bit >= 0; --bit) {
        r = (r & 0x80000000u) ? (r << 1) ^ POLY : r << 1;
        if (b & (1u << bit))
            r ^= a;
    }
    return r;
}

const CrcKernelInfo KERNELS[] = {
    {"bytewise", crc32_bytewise},
    {"slice16", crc32_slice16},
    {"pclmul", crc32_pclmul},
    {"vpclmul", crc32_vpclmul},
};
constexpr int KERNEL_COUNT = static_cast<int>(std::size(KERNELS));
enum KernelIndex { K_BYTEWISE, K_SLICE16, K_PCLMUL, K_VPCLMUL };

bool kernel_supported[KERNEL_COUNT];
int active = K_BYTEWISE;
CrcKernel active_kernel = crc32_bytewise;

struct CpuFeatures {
    bool pclmul;  // PCLMULQDQ and SSE4.1
    bool vpclmul; // VPCLMULQDQ, AVX-512 F/VL/BW, and the OS saves the 512-bit state
};

// The compiler's run-time check asks the processor and, for the vector state, whether the
// operating system saves it across context switches.
CpuFeatures detect_cpu() {
#ifdef VELMORA_X86_64
    __builtin_cpu_init();
    const bool pclmul = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
    return CpuFeatures{
        pclmul, pclmul && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl") &&
                    __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("vpclmulqdq")};
#else
    return CpuFeatures{false, false};
#endif
}

} // namespace

std::uint32_t crc_xpow_mod(std::uint64_t n) {
    // Square and multiply, starting from x.
    std::uint32_t result = 1;
    std::uint32_t power = 2;
    for (; n != 0; n >>= 1) {
        if (n & 1)
            result = mul_mod(result, power);
        power = mul_mod(power, power);
    }
    return result;
}

std::uint32_t crc32_shift(std::uint32_t reg, std::uint64_t len) {
    // The register is the remainder with its bits reversed.
    return reflect_bits(mul_mod(reflect_bits(reg, 32), crc_xpow_mod(8 * len)), 32);
}

FoldPair crc_fold_pair(std::uint32_t distance_bits) {
    return FoldPair{reflect_bits(crc_xpow_mod(distance_bits + 31u), 32),
                    reflect_bits(crc_xpow_mod(distance_bits - 33u), 32)};
}

void crc_kernels_init() {
    crc_slice_tables_init();
    crc_fold.by128 = crc_fold_pair(128);
    crc_fold.by256 = crc_fold_pair(256);
    crc_fold.by384 = crc_fold_pair(384);
    crc_fold.by512 = crc_fold_pair(512);
    crc_fold.by4096 = crc_fold_pair(4096);

    const CpuFeatures cpu = detect_cpu();
    kernel_supported[K_BYTEWISE] = true;
    kernel_supported[K_SLICE16] = true;
    kernel_supported[K_PCLMUL] = cpu.pclmul && crc_pclmul_built();
    kernel_supported[K_VPCLMUL] = cpu.vpclmul && crc_vpclmul_built();

    // Rising order of capability: the last supported one wins.
    for (int i = 0; i < KERNEL_COUNT; ++i) {
        if (kernel_supported[i])
            active = i;
    }
    active_kernel = KERNELS[active].kernel;
}

std::uint32_t crc32_update(std::uint32_t reg, const unsigned char* data, std::size_t len) {
    return active_kernel(reg, data, len);
}

const char* crc_kernel_name() {
    return KERNELS[active].name;
}

int crc_kernel_count() {
    return KERNEL_COUNT;
}

const CrcKernelInfo& crc_kernel_at(int i) {
    return KERNELS[i];
}

bool crc_kernel_supported(int i) {
    return kernel_supported[i];
}
