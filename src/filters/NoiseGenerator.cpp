#include "filters/NoiseGenerator.h"

#include <atomic>

namespace tarvo {

namespace {
std::atomic<std::uint32_t> noiseSeedCounter{0};
}

std::uint32_t takeNoiseSeed() noexcept {
    return noiseSeedCounter.fetch_add(1u, std::memory_order_relaxed);
}

void restartNoiseSeeds(std::uint32_t next) noexcept {
    noiseSeedCounter.store(next, std::memory_order_relaxed);
}

}  // namespace tarvo
