#include "params/ValueMapping.h"

#include <charconv>
#include <cmath>
#include <cstring>

#include "engine/GainComputer.h"
#include "params/ParameterTable.h"

namespace tarvo {

namespace {

/// Single-precision positions examined on each side of a value's own
/// position: its narrowing is off by at most one, a ratio's row starts
/// within a few.
constexpr int kNeighbourPositions = 16;

std::string_view trimmed(std::string_view text) noexcept {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

char lower(char c) noexcept { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool sameIgnoringCase(std::string_view a, std::string_view b) noexcept {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i])) return false;
    return true;
}

/// A finite decimal number filling the whole text, with an optional sign
/// ("+6" as the "Input" display writes it). Not locale-dependent.
bool parseNumber(std::string_view text, double& number) noexcept {
    text = trimmed(text);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    if (text.empty() || text.front() == '+') return false;
    double parsed = 0.0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), parsed,
                                        std::chars_format::fixed);
    if (result.ec != std::errc() || result.ptr != text.data() + text.size()) return false;
    if (!std::isfinite(parsed)) return false;
    number = parsed;
    return true;
}

/// The number, also with the parameter's unit label after it ("-20 dB").
bool parseNumberWithLabel(const ParameterDescriptor& d, std::string_view text, double& number) noexcept {
    if (parseNumber(text, number)) return true;
    const char* label = d.label();
    if (label == nullptr) return false;
    const std::string_view unit = trimmed(label);
    if (unit.empty() || text.size() <= unit.size()) return false;
    if (!sameIgnoringCase(text.substr(text.size() - unit.size()), unit)) return false;
    return parseNumber(text.substr(0, text.size() - unit.size()), number);
}

}  // namespace

double runningValue(const ParameterDescriptor& d, int index, double value) noexcept {
    switch (index) {
    case param::Ratio: {
        const double ratio = GainComputer::runningRatio(gainComputerRatio(value));
        return ratio > 0.0 ? ratio : d.maximum();  // the hard ceiling: "inf"
    }
    case param::AttackMode:
        return runsAlphaMode(value) ? 1.0 : 0.0;
    case param::Filter:
        return sideChainFilterHz(value) > 0.0 ? value : d.minimum();
    default:
        if (d.options() != nullptr) return d.minimum() + d.optionIndex(value);
        return value;
    }
}

float positionRunning(const ParameterDescriptor& d, int index, double value) noexcept {
    const double lo = d.minimum();
    const double hi = d.maximum();
    if (!(value >= lo)) value = lo;  // also NaN
    if (value > hi) value = hi;
    if (d.options() != nullptr) {
        const double option = std::floor(value - lo + 0.5);
        return static_cast<float>(option / (hi - lo));
    }
    const double wanted = runningValue(d, index, value);
    float position = static_cast<float>((value - lo) / (hi - lo));
    for (int i = 0; i < kNeighbourPositions && position > 0.0f; ++i)
        position = std::nextafter(position, 0.0f);
    // Rank 0: runs the wanted value; 1: runs less; 2: runs more (a ratio
    // between rows takes the row below, as the engine does; any other value
    // simply the nearest). Within a rank a position showing what the typed
    // value shows goes first ("11.0" rather than "inf", which runs alike),
    // then the value nearest to the typed one.
    const bool stepped = index == param::Ratio;
    char typedText[kParameterTextLength + 1];
    d.displayText(value, typedText);
    float best = position;
    int bestRank = 6;
    double bestDistance = 0.0;
    for (int i = 0; i <= 2 * kNeighbourPositions; ++i) {
        const double v = d.toValue(position);
        const double runs = runningValue(d, index, v);
        char shown[kParameterTextLength + 1];
        d.displayText(v, shown);
        const int runRank = runs == wanted ? 0 : (!stepped || runs < wanted) ? 1 : 2;
        const int rank = 2 * runRank + (std::strcmp(shown, typedText) == 0 ? 0 : 1);
        const double distance = std::fabs(v - value);
        if (rank < bestRank || (rank == bestRank && distance < bestDistance)) {
            best = position;
            bestRank = rank;
            bestDistance = distance;
        }
        if (position >= 1.0f) break;
        position = std::nextafter(position, 1.0f);
    }
    return best;
}

bool valueForText(const ParameterDescriptor& d, std::string_view text, double& value) noexcept {
    text = trimmed(text);
    if (text.empty()) return false;
    const double lo = d.minimum();
    const double hi = d.maximum();
    double number = 0.0;
    const bool numeric = parseNumberWithLabel(d, text, number);
    if (const char* const* names = d.options()) {
        const int count = static_cast<int>(hi - lo) + 1;
        for (int k = 0; k < count; ++k)
            if (sameIgnoringCase(text, names[k])) {
                value = lo + k;
                return true;
            }
        for (int k = 0; k < count; ++k) {
            double shown = 0.0;
            if (numeric && parseNumber(names[k], shown) && shown == number) {
                value = lo + k;
                return true;
            }
        }
        return false;
    }
    const bool isMinText = d.minText() != nullptr && sameIgnoringCase(text, d.minText());
    const bool isMaxText = d.maxText() != nullptr && sameIgnoringCase(text, d.maxText());
    if (isMinText || isMaxText) {
        value = isMinText ? lo : hi;
        return true;
    }
    if (!numeric) return false;
    // The ends showing a text show the number only just inside them.
    if (d.minText() != nullptr && number == lo) number = std::nextafter(lo, hi);
    else if (d.maxText() != nullptr && number == hi) number = std::nextafter(hi, lo);
    value = number;
    return true;
}

double valueOfFloat(const ParameterDescriptor& d, float number) noexcept {
    const double scale = std::pow(10.0, d.precision() > 0 ? d.precision() : 0);
    const double decimal = std::round(static_cast<double>(number) * scale) / scale;
    return static_cast<float>(decimal) == number ? decimal : static_cast<double>(number);
}

bool positionForText(int index, std::string_view text, float arTimePosition,
                     float& position) noexcept {
    if (index < 0 || index >= kParameterCount) return false;
    auto table = makeParameterDescriptors();
    const ParameterDescriptor& arTime = table[param::ArTime];
    setArTimeRanges(table[param::Attack], table[param::Release],
                    arTime.optionIndex(arTime.toValue(arTimePosition)));
    const ParameterDescriptor& d = table[index];
    double value = 0.0;
    if (!valueForText(d, text, value)) return false;
    const bool clampsToRange = index == param::Attack || index == param::Release;
    if (!clampsToRange && (value < d.minimum() || value > d.maximum())) return false;
    position = positionRunning(d, index, value);
    return true;
}

bool hostedPluginIsTarvo(std::int32_t uniqueId, int parameterCount,
                         std::string_view effectName) noexcept {
    const std::int32_t tarvoId = ('T' << 24) | ('R' << 16) | ('V' << 8) | '2';
    return uniqueId == tarvoId && parameterCount == kParameterCount && effectName == "Tarvo";
}

}  // namespace tarvo
