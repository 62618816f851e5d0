// Throughput of every CRC-32 kernel this processor supports, over cache-resident to
// memory-sized buffers.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "checksum/crc32_dispatch.h"

namespace {

constexpr std::int64_t BUFFER_SIZES[] = {4 << 10, 64 << 10, 1 << 20, 256 << 20};

void run_kernel(benchmark::State& state, int index) {
    const std::size_t len = static_cast<std::size_t>(state.range(0));
    // Filled (and so faulted in) before timing starts.
    std::vector<unsigned char> buf(len);
    for (std::size_t i = 0; i < len; ++i)
        buf[i] = static_cast<unsigned char>(i * 131 + (i >> 9));
    const CrcKernel kernel = crc_kernel_at(index).kernel;
    std::uint32_t reg = 0xFFFFFFFFu;
    for (auto _ : state) {
        reg = kernel(reg, buf.data(), len);
        benchmark::DoNotOptimize(reg);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(len));
}

} // namespace

int main(int argc, char** argv) {
    for (int i = 0; i < crc_kernel_count(); ++i) {
        if (!crc_kernel_supported(i))
            continue;
        std::string name = std::string("crc32/") + crc_kernel_at(i).name;
        benchmark::internal::Benchmark* b =
            benchmark::RegisterBenchmark(name.c_str(), run_kernel, i);
        for (std::int64_t size : BUFFER_SIZES)
            b->Arg(size);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
