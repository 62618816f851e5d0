// Picks the CRC-32 kernel once, on first use.
#include "checksum/crc32_dispatch.h"

#include <atomic>
#include <iterator>

#include "platform/platform.h"

namespace {

// (cppcheck 2.10 loses the members' uses once the table's length is taken with std::size.)
struct KernelEntry {
    // cppcheck-suppress unusedStructMember
    CrcKernelInfo info;
    // cppcheck-suppress unusedStructMember
    unsigned needs; // PlatCpuFeature bits the kernel's instructions need
    // cppcheck-suppress unusedStructMember
    bool (*built)(); // whether this build holds its real code
};

bool always() {
    return true;
}

// Rising order of capability: the last one the processor runs wins. Kernels of another
// processor family are never built, so their place in the order only matters among their own.
const KernelEntry KERNELS[] = {
    {{"bytewise", crc32_bytewise}, 0, always},
    {{"slice16", crc32_slice16}, 0, always},
    {{"pclmul", crc32_pclmul}, PLAT_CPU_PCLMUL, crc_pclmul_built},
    {{"vpclmul_avx2", crc32_vpclmul_avx2},
     PLAT_CPU_PCLMUL | PLAT_CPU_VPCLMUL_AVX2,
     crc_vpclmul_avx2_built},
    {{"vpclmul", crc32_vpclmul}, PLAT_CPU_PCLMUL | PLAT_CPU_VPCLMUL, crc_vpclmul_built},
    {{"crc32x", crc32_arm_crc}, PLAT_CPU_CRC32, crc_arm_crc_built},
    {{"pmull", crc32_arm_pmull}, PLAT_CPU_PMULL | PLAT_CPU_CRC32, crc_arm_pmull_built},
    {{"pmull_eor3", crc32_arm_pmull_eor3},
     PLAT_CPU_PMULL | PLAT_CPU_CRC32 | PLAT_CPU_SHA3,
     crc_arm_pmull_eor3_built},
};
constexpr int KERNEL_COUNT = static_cast<int>(std::size(KERNELS));
static_assert(KERNEL_COUNT <= 32, "one bit per kernel");

// Made once, by whichever thread asks first.
int active_index() {
    static const int index = crc_pick_kernel(plat_cpu_features(), crc_kernels_built());
    return index;
}

std::uint32_t choose_and_update(std::uint32_t reg, const unsigned char* data, std::size_t len);

// Starts as the kernel that chooses, which puts the chosen one in its place: every later
// call is one indirect call, and no call, however early, finds it unset.
constinit std::atomic<CrcKernel> active_kernel{choose_and_update};

std::uint32_t choose_and_update(std::uint32_t reg, const unsigned char* data, std::size_t len) {
    const CrcKernel kernel = KERNELS[active_index()].info.kernel;
    active_kernel.store(kernel, std::memory_order_relaxed);
    return kernel(reg, data, len);
}

} // namespace

int crc_pick_kernel(unsigned features, unsigned built) {
    int best = 1; // slice16 runs anywhere
    for (int i = 0; i < KERNEL_COUNT; ++i) {
        if ((built >> i & 1u) != 0 && (KERNELS[i].needs & ~features) == 0)
            best = i;
    }
    return best;
}

unsigned crc_kernels_built() {
    unsigned built = 0;
    for (int i = 0; i < KERNEL_COUNT; ++i) {
        if (KERNELS[i].built())
            built |= 1u << i;
    }
    return built;
}

std::uint32_t crc32_update(std::uint32_t reg, const unsigned char* data, std::size_t len) {
    return active_kernel.load(std::memory_order_relaxed)(reg, data, len);
}

const char* crc_kernel_name() {
    return KERNELS[active_index()].info.name;
}

int crc_kernel_count() {
    return KERNEL_COUNT;
}

const CrcKernelInfo& crc_kernel_at(int i) {
    return KERNELS[i].info;
}

bool crc_kernel_supported(int i) {
    return (crc_kernels_built() >> i & 1u) != 0 && (KERNELS[i].needs & ~plat_cpu_features()) == 0;
}
