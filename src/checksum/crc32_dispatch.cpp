// Picks the CRC-32 kernel once, on first use.
#include "checksum/crc32_dispatch.h"

#include <atomic>
#include <iterator>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define VELMORA_X86_64 1
#endif

namespace {

const CrcKernelInfo KERNELS[] = {
    {"bytewise", crc32_bytewise},
    {"slice16", crc32_slice16},
    {"pclmul", crc32_pclmul},
    {"vpclmul", crc32_vpclmul},
};
constexpr int KERNEL_COUNT = static_cast<int>(std::size(KERNELS));
enum KernelIndex { K_BYTEWISE, K_SLICE16, K_PCLMUL, K_VPCLMUL };

struct KernelChoice {
    bool supported[KERNEL_COUNT];
    int active;
};

// The compiler's run-time check asks the processor and, for the vector state, whether the
// operating system saves it across context switches.
KernelChoice detect_kernels() {
    bool pclmul = false;
    bool vpclmul = false;
#ifdef VELMORA_X86_64
    __builtin_cpu_init();
    pclmul = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
    vpclmul = pclmul && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl") &&
              __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("vpclmulqdq");
#endif
    KernelChoice choice{};
    choice.supported[K_BYTEWISE] = true;
    choice.supported[K_SLICE16] = true;
    choice.supported[K_PCLMUL] = pclmul && crc_pclmul_built();
    choice.supported[K_VPCLMUL] = vpclmul && crc_vpclmul_built();
    // Rising order of capability: the last supported one wins.
    for (int i = 0; i < KERNEL_COUNT; ++i) {
        if (choice.supported[i])
            choice.active = i;
    }
    return choice;
}

// Made once, by whichever thread asks first.
const KernelChoice& kernel_choice() {
    static const KernelChoice choice = detect_kernels();
    return choice;
}

std::uint32_t choose_and_update(std::uint32_t reg, const unsigned char* data, std::size_t len);

// Starts as the kernel that chooses, which puts the chosen one in its place: every later
// call is one indirect call, and no call, however early, finds it unset.
constinit std::atomic<CrcKernel> active_kernel{choose_and_update};

std::uint32_t choose_and_update(std::uint32_t reg, const unsigned char* data, std::size_t len) {
    const CrcKernel kernel = KERNELS[kernel_choice().active].kernel;
    active_kernel.store(kernel, std::memory_order_relaxed);
    return kernel(reg, data, len);
}

} // namespace

std::uint32_t crc32_update(std::uint32_t reg, const unsigned char* data, std::size_t len) {
    return active_kernel.load(std::memory_order_relaxed)(reg, data, len);
}

const char* crc_kernel_name() {
    return KERNELS[kernel_choice().active].name;
}

int crc_kernel_count() {
    return KERNEL_COUNT;
}

const CrcKernelInfo& crc_kernel_at(int i) {
    return KERNELS[i];
}

bool crc_kernel_supported(int i) {
    return kernel_choice().supported[i];
}
