// The ARM64 kernels, cross-built apart and run under an emulator by an x86-64 build's suites
// (they compile to stubs there), so that a fault in them shows in the everyday test run and
// not only in the cross-built suites. Exit status 1 when a kernel parts from the reference.
#include <cstdio>
#include <string>

#include "checksum/crc32_kernels.h"
#include "kernel_sweep.h"

int main() {
    const struct {
        const char* name;
        bool built;
        CrcKernel kernel;
    } kernels[] = {
        {"crc32x", crc_arm_crc_built(), crc32_arm_crc},
        {"pmull", crc_arm_pmull_built(), crc32_arm_pmull},
        {"pmull_eor3", crc_arm_pmull_eor3_built(), crc32_arm_pmull_eor3},
    };
    int failed = 0;
    for (const auto& k : kernels) {
        const std::string fault = k.built ? kernel_sweep(k.kernel, crc32_bytewise) : "not built";
        std::printf("%s: %s\n", k.name,
                    fault.empty() ? "gives the reference register" : fault.c_str());
        failed += !fault.empty();
    }
    return failed != 0;
}
