// An ARM64 processor's CRC32, PMULL and SHA3 (EOR3) features as its system reports them; one
// definition per system, in posix/ and win32/.
#pragma once

#if defined(__aarch64__)
unsigned arm_cpu_features();
#endif
