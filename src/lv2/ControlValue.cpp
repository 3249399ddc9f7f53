#include "lv2/ControlValue.h"

#include <algorithm>
#include <cmath>

#include "params/FactoryPrograms.h"

namespace tarvo::lv2 {

bool positionForPortValue(const ParameterDescriptor& descriptor, int index, float value,
                          float& position) noexcept {
    if (std::isnan(value)) return false;
    const double minimum = descriptor.minimum();
    const double maximum = descriptor.maximum();
    if (descriptor.options() != nullptr) {
        const double option = std::clamp(std::floor(static_cast<double>(value) + 0.5), minimum, maximum);
        position = static_cast<float>((option - minimum) / (maximum - minimum));
        return true;
    }
    // Single-precision values are coarser than single-precision positions
    // over most of a range, so a factory position is often not the one its
    // value maps to: the value a factory program shows takes that position.
    for (const auto& program : factoryPrograms) {
        const float factory = program[index];
        if (static_cast<float>(descriptor.toValue(factory)) == value) {
            position = factory;
            return true;
        }
    }
    const double normalized = (static_cast<double>(value) - minimum) / (maximum - minimum);
    position = static_cast<float>(std::clamp(normalized, 0.0, 1.0));
    return true;
}

}  // namespace tarvo::lv2
