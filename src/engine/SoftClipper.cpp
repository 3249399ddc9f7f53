#include "engine/SoftClipper.h"

namespace tarvo {

double SoftClipper::shape(double x) const noexcept {
    double u = x / clipLevel;
    if (u < -1.927384823613229)
        u = -1.927384823613229;
    else if (u > 1.925547073273503)
        u = 1.925547073273503;
    const double u2 = u * u;
    const double u3 = u2 * u;
    const double u4 = u2 * u2;
    const double s = u4 * (0.011322488095808 * u3 - 0.076851680685586 * u - 0.001614452827801 * u4 +
                           0.019456557521838 * u2 - 0.076851680685586) +
                     (0.051012188210767 - 0.048182108389193 * u) * u2 + 1.043653138515045 * u;
    return s * clipLevel;
}

}  // namespace tarvo
