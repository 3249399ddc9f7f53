#include "params/FactoryPrograms.h"

#include <cmath>

namespace tarvo {

// Columns 16 to 21 ("Bypass", "Render8x", "Dither", "Sd.chain", "A,R Time",
// "Upsmpl.") are 0 in every program.
const float factoryPrograms[kProgramCount][kParameterCount] = {
    {0.365f, 0.75f, 1.0f, 0.092632f, 0.062632f, 0.295f, 1.0f, 0.5f, 0.5f, 0.0f, 1.0f, 0.712532f,
     0.0f, 0.0f, 0.0f, 0.0f},
    {0.321541f, 0.317027f, 1.0f, 0.121224f, 0.111678f, 0.454162f, 0.699709f, 0.51875f, 0.667227f,
     0.0f, 0.0f, 0.75f, 0.0f, 0.0f, 0.0f, 0.0f},
    {0.125496f, 0.461371f, 1.0f, 0.089893f, 0.103039f, 0.248341f, 0.657598f, 0.683333f, 0.384709f,
     0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f},
    {0.352615f, 0.43038f, 1.0f, 0.114262f, 0.052162f, 0.229738f, 0.653128f, 0.614167f, 0.619271f,
     0.0f, 1.0f, 0.666667f, 0.0f, 0.0f, 0.0f, 0.0f},
    {0.428284f, 0.432358f, 0.0f, 0.0f, 0.0f, 0.211346f, 0.347005f, 0.586667f, 0.373281f, 0.0f,
     0.180714f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f},
    {0.398659f, 0.707318f, 1.0f, 0.086583f, 0.064362f, 0.28062f, 0.698251f, 0.507917f, 0.56639f,
     0.0f, 1.0f, 0.666667f, 0.0f, 0.0f, 0.0f, 0.0f},
    {0.605942f, 0.569567f, 0.496851f, 0.0f, 0.229738f, 0.908186f, 1.0f, 0.615416f, 0.599585f, 0.0f,
     0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f},
    {0.364998f, 0.249161f, 0.0f, 0.0f, 0.143473f, 0.066123f, 0.0f, 0.752654f, 0.419396f, 0.0f, 0.0f,
     0.666667f, 1.0f, 0.0f, 0.0f, 0.0f},
    {0.364998f, 0.691042f, 0.0f, 0.03f, 0.062632f, 1.0f, 1.0f, 0.519167f, 0.5f, 0.0f, 0.0f, 0.0f,
     1.0f, 0.0f, 0.0f, 0.0f},
    {0.364998f, 0.624277f, 0.0f, 0.0f, 0.069103f, 0.091662f, 0.507268f, 0.6675f, 0.5f, 0.0f, 0.0f,
     0.666667f, 1.0f, 0.0f, 0.0f, 0.0f},
    {0.364998f, 0.468689f, 1.0f, 0.0f, 0.062632f, 0.295f, 0.999634f, 0.68521f, 0.422144f, 0.0f,
     0.200714f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f},
    {0.0f, 0.62232f, 1.0f, 0.0f, 0.062632f, 0.295f, 1.0f, 0.485833f, 0.408815f, 0.0f, 0.0f,
     0.524454f, 0.0f, 0.0f, 0.0f, 0.0f},
    {0.364998f, 0.722834f, 0.025259f, 0.02f, 0.016824f, 0.09239f, 1.0f, 0.560833f, 0.418927f, 0.0f,
     0.0f, 0.666667f, 1.0f, 0.0f, 0.0f, 0.0f},
    {0.364998f, 0.536424f, 0.636364f, 0.013414f, 0.105266f, 0.124215f, 1.0f, 0.726252f, 0.5f, 0.0f,
     0.180714f, 0.666667f, 0.0f, 0.0f, 0.0f, 0.0f},
    {0.0f, 0.766674f, 0.0f, 0.08f, 0.033649f, 0.082318f, 0.983471f, 0.507917f, 0.5f, 0.0f, 1.0f,
     0.75f, 1.0f, 0.0f, 0.0f, 0.0f},
    {0.0f, 0.458178f, 0.0f, 0.084891f, 0.035132f, 0.0f, 0.911927f, 0.586187f, 0.445597f, 0.0f, 1.0f,
     1.0f, 1.0f, 0.25f, 0.5f, 1.0f},
};

const char* const factoryProgramNames[kProgramCount] = {
    "Default",   "kick",      "snare",         "overheads",     "room",
    "DRUM BUSS", "bass",      "vocal (ins.1)", "vocal (ins.2)", "back vocal",
    "funky dbl.guitars",      "solo guitar",   "acoustic guitar",
    "keyboards", "Mix BUSS",  "premaster",
};

float adaptedUpsamplingPosition(float factoryPosition, double rateHz) noexcept {
    const double k = std::floor(3.0 * static_cast<double>(factoryPosition) + 0.5);
    const double f = std::pow(2.0, k);
    const double m = std::ceil(f * 44100.0 / rateHz);
    int c = 0;
    if (!(m <= 1.0)) {
        c = 4;
        for (int candidate = 1; candidate <= 4; ++candidate) {
            if (static_cast<double>(1 << candidate) >= m) {
                c = candidate;
                break;
            }
        }
    }
    return static_cast<float>(c) * (1.0f / 3.0f);
}

}  // namespace tarvo
