// The ARM64 kernels, cross-built apart and run under an emulator by an x86-64 build's suites
// (they compile to stubs there), so that a fault in them shows in the everyday test run and
// not only in the cross-built suites. Exit status: how many kernels part from the reference.
#include <cstdio>

#include "checksum/crc32_kernels.h"
#include "kernel_sweep.h"

int main() {
    const CrcKernel kernels[] = {crc32_arm_crc, crc32_arm_pmull, crc32_arm_pmull_eor3};
    const bool built[] = {crc_arm_crc_built(), crc_arm_pmull_built(), crc_arm_pmull_eor3_built()};
    int failed = 0;
    for (int i = 0; i < 3; ++i) {
        const std::string fault = built[i] ? kernel_sweep(kernels[i], crc32_bytewise) : "not built";
        std::printf("ARM kernel %d of 3: %s\n", i + 1, fault.empty() ? "right" : fault.c_str());
        failed += fault.empty() ? 0 : 1;
    }
    return failed;
}
