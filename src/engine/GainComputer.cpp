#include "engine/GainComputer.h"

#include <cmath>

#include "engine/GainComputerTable.h"

namespace tarvo {

GainComputer::GainComputer() { design(1.0, 1.0, 2.0); }

void GainComputer::design(double t, double knee, double ratio) {
    floorLevel = 1e-6;
    threshold = t;
    if (ratio <= 10.9) {
        const double r = runningRatio(ratio);
        int row = static_cast<int>(r * 10.0 - 11.0);
        if (row < 0) row = 0;
        if (row > kGainComputerTableRows - 1) row = kGainComputerTableRows - 1;
        tableRow = row;
        inverseRatio = 1.0 / r;
        curveScale = std::pow(1.0 / t, 1.0 / r) * t;
    } else {
        inverseRatio = 0.0;
    }

    const double xk = (1.0 - knee * 0.95) * t + t;
    kneeEnd = xk;
    const double gk = inverseRatio > 0.0 ? upperCurve(xk) : t;
    // End slope of the quartic; the upper curve is evaluated at gk here.
    const double slope = (inverseRatio > 0.0 && gk > 0.0) ? upperCurve(gk) * (inverseRatio / gk) : 0.0;
    const double xk3 = xk * xk * xk;
    kneeCubic = -((xk * 3.0 - gk * 4.0) + slope * xk) / xk3;
    kneeQuartic = ((xk * 2.0 - gk * 3.0) + slope * xk) / (xk3 * xk);
}

}  // namespace tarvo
