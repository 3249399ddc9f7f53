#include "lv2/ControlValue.h"

#include <cmath>

#include "params/FactoryPrograms.h"
#include "params/ValueMapping.h"

namespace tarvo::lv2 {

bool positionForPortValue(const ParameterDescriptor& descriptor, int index, float value,
                          float& position) noexcept {
    if (std::isnan(value)) return false;
    if (descriptor.options() != nullptr) {
        position = positionRunning(descriptor, index, value);
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
    position = positionRunning(descriptor, index, valueOfFloat(descriptor, value));
    return true;
}

}  // namespace tarvo::lv2
