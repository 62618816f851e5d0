// The floor for one file: map it whole through the same platform layer and read every
// byte (eight at a time, summed so the reads cannot be dropped). Prints the sum.
#include <cstdio>
#include <cstring>

#include "checksum/mapped_file.h"
#include "platform/platform.h"

namespace {

// Touches every byte; as light as a loop over memory gets without vector code.
std::uint32_t sum_words(std::uint32_t state, const unsigned char* data, std::size_t len) {
    std::uint64_t sum = state;
    std::size_t i = 0;
    for (; i + 8 <= len; i += 8) {
        std::uint64_t w;
        std::memcpy(&w, data + i, sizeof w);
        sum += w;
    }
    for (; i < len; ++i)
        sum += data[i];
    return static_cast<std::uint32_t>(sum ^ (sum >> 32));
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::printf("usage: velmora_map_read FILE\n");
        return 2;
    }
    MappedFile file;
    if (map_file(argv[1], &file) != MAP_OK) {
        std::printf("cannot map %s\n", argv[1]);
        return 1;
    }
    plat_advise_sequential(file.view, file.size);
    std::uint32_t sum = 0;
    const bool whole = plat_read_view(sum_words, &sum, file.view, file.size);
    unmap_file(&file);
    std::printf("%08X%s\n", static_cast<unsigned>(sum), whole ? "" : " (short read)");
    return whole ? 0 : 1;
}
