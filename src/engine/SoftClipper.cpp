#include "engine/SoftClipper.h"

namespace tarvo {

double SoftClipper::shape(double x) const noexcept { return softClip(x, clipLevel); }

}  // namespace tarvo
