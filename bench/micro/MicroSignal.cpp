#include "MicroSignal.h"

namespace tarvo::bench {

MicroSignal::MicroSignal(double amplitude, std::uint32_t seed) : samples_(kLength) {
    std::uint32_t state = seed * 2654435761u + 1u;
    for (double& s : samples_) {
        state = state * 1664525u + 1013904223u;
        s = amplitude * (static_cast<double>(state >> 8) * (2.0 / 16777216.0) - 1.0);
    }
}

}  // namespace tarvo::bench
