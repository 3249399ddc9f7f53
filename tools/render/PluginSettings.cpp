#include "PluginSettings.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <sstream>

#include "ToolError.h"
#include "params/ParameterTable.h"
#include "params/ValueMapping.h"

// Setting a parameter by its display text. Tarvo itself is set through the
// value mapping of the parameter layer this tool is built with: the position
// that runs the value named (params/ValueMapping.h). Any other plug-in, and a
// text that mapping does not take, goes through the display search:
//
// Setting a parameter by its display text. A host cannot know how a
// plug-in maps positions to values, so it asks: it moves the parameter
// through 1001 evenly spaced positions and reads the display at each.
//
// - Positions whose display equals the wanted text (ignoring case and
//   surrounding spaces, or as the same number: "-20" matches "-20.0", "6"
//   matches "+6") form runs. The longest run is taken, its two ends are
//   narrowed by bisection to single-precision resolution, and the position
//   in the middle is used: for a rounded number that is the position whose
//   value is nearest to the number itself (Thresh. "-20.0" covers -20.05 to
//   -19.95; the middle is -20), for an option the middle of its range.
// - A number no sampled position shows may still lie between two sampled
//   displays (Attack "500" on a 10..1000 ms range with one decimal): the
//   position is then bisected between the two neighbours whose numbers
//   bracket it until the display matches, and its run is narrowed as above.

namespace tarvo::render {

namespace {

constexpr int kScanSteps = 1000;

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return "";
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

std::string lowerCase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

/// Letters and digits only, in lower case: "Sd.chain" -> "sdchain".
std::string looseKey(const std::string& text) {
    std::string key;
    for (unsigned char c : text)
        if (std::isalnum(c)) key += static_cast<char>(std::tolower(c));
    return key;
}

bool isIndex(const std::string& text) {
    return !text.empty() && text.size() < 9 &&
           std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); });
}

std::string joined(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names) {
        if (!text.empty()) text += ", ";
        text += name;
    }
    return text;
}

/// Indices whose name equals `wanted`, first ignoring case, else ignoring
/// everything but letters and digits.
std::vector<int> matchingNames(const std::vector<std::string>& names, const std::string& wanted) {
    std::vector<int> found;
    const std::string exact = lowerCase(trimmed(wanted));
    for (std::size_t i = 0; i < names.size(); ++i)
        if (lowerCase(trimmed(names[i])) == exact) found.push_back(static_cast<int>(i));
    if (!found.empty()) return found;
    const std::string loose = looseKey(wanted);
    if (loose.empty()) return found;
    for (std::size_t i = 0; i < names.size(); ++i)
        if (looseKey(names[i]) == loose) found.push_back(static_cast<int>(i));
    return found;
}

float positionAt(int step) { return static_cast<float>(static_cast<double>(step) / kScanSteps); }

float midpoint(float a, float b) {
    return static_cast<float>((static_cast<double>(a) + static_cast<double>(b)) / 2.0);
}

/// Narrows [outside, inside] (outside does not show the value, inside does)
/// to neighbouring floats; returns the inside end.
template <typename Shows>
float edge(float outside, float inside, Shows&& shows) {
    for (int i = 0; i < 64; ++i) {
        const float middle = midpoint(outside, inside);
        if (middle == outside || middle == inside) break;
        (shows(middle) ? inside : outside) = middle;
    }
    return inside;
}

}  // namespace

bool parseWholeNumber(const std::string& text, double& number) {
    const std::string clean = trimmed(text);
    if (clean.empty()) return false;
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(clean.c_str(), &end);
    if (*end != '\0' || errno == ERANGE || std::isnan(value)) return false;
    // strtod also reads hexadecimal and "infinity"; a display shows neither
    // as a number.
    if (clean.find_first_of("xX") != std::string::npos) return false;
    number = value;
    return true;
}

PluginSettings::PluginSettings(vsthost::VstInstance& instance)
    : instance_(instance), hostsTarvo_(isTarvo(instance)) {}

bool PluginSettings::isTarvo(vsthost::VstInstance& instance) {
    return hostedPluginIsTarvo(instance.effect().uniqueID, instance.effect().numParams,
                               instance.effectName());
}

std::vector<std::string> PluginSettings::programNames() {
    const int count = instance_.effect().numPrograms;
    std::vector<std::string> names;
    bool anyNamed = false;
    for (int i = 0; i < count; ++i) {
        names.push_back(instance_.programNameIndexed(i));
        anyNamed = anyNamed || !names.back().empty();
    }
    if (!anyNamed && count > 0) {
        // Without effGetProgramNameIndexed a host reads each name by
        // selecting the program, then goes back to the current one.
        const auto current = static_cast<int>(instance_.dispatch(effGetProgram));
        for (int i = 0; i < count; ++i) {
            instance_.dispatch(effSetProgram, 0, i);
            names[static_cast<std::size_t>(i)] = instance_.programName();
        }
        instance_.dispatch(effSetProgram, 0, current);
    }
    return names;
}

int PluginSettings::findProgram(const std::string& nameOrNumber) {
    const int count = instance_.effect().numPrograms;
    if (count <= 0) throw usageError("the plug-in has no programs, so --program cannot be used");
    const std::vector<std::string> names = programNames();
    if (isIndex(nameOrNumber)) {
        const int number = std::atoi(nameOrNumber.c_str());
        if (number < count) return number;
        throw usageError("there is no program " + nameOrNumber + " (programs are 0 to " +
                         std::to_string(count - 1) + ")");
    }
    const std::vector<int> found = matchingNames(names, nameOrNumber);
    if (found.empty())
        throw usageError("unknown program \"" + nameOrNumber + "\"; the programs are: " +
                         joined(names));
    return found.front();  // the first of equal names, as a host's list shows it
}

void PluginSettings::selectProgram(int program) {
    instance_.dispatch(effBeginSetProgram);
    instance_.dispatch(effSetProgram, 0, program);
    instance_.dispatch(effEndSetProgram);
}

int PluginSettings::findParameter(const std::string& nameOrIndex) {
    const int count = instance_.effect().numParams;
    if (isIndex(nameOrIndex)) {
        const int index = std::atoi(nameOrIndex.c_str());
        if (index < count) return index;
        throw usageError("there is no parameter " + nameOrIndex + " (parameters are 0 to " +
                         std::to_string(count - 1) + ")");
    }
    std::vector<std::string> names;
    for (int i = 0; i < count; ++i) names.push_back(instance_.parameterName(i));
    const std::vector<int> found = matchingNames(names, nameOrIndex);
    if (found.empty())
        throw usageError("unknown parameter \"" + nameOrIndex + "\"; the parameters are: " +
                         joined(names));
    if (found.size() > 1) {
        std::string numbers;
        for (int index : found) numbers += (numbers.empty() ? "" : " and ") + std::to_string(index);
        throw usageError("\"" + nameOrIndex + "\" names parameters " + numbers +
                         "; give the number instead, as in --set " + std::to_string(found[0]) +
                         "=VALUE");
    }
    return found.front();
}

bool PluginSettings::showsValue(int parameter, float position, const std::string& wanted,
                                double number, bool numeric) {
    instance_.setParameter(parameter, position);
    const std::string display = instance_.parameterDisplay(parameter);
    if (lowerCase(trimmed(display)) == wanted) return true;
    double shown = 0.0;
    return numeric && parseWholeNumber(display, shown) && shown == number;
}

float PluginSettings::setByDisplay(int parameter, const std::string& value) {
    const std::string name = instance_.parameterName(parameter);
    const std::string text = trimmed(value);
    if (!text.empty() && text[0] == '@') {
        double position = 0.0;
        if (!parseWholeNumber(text.substr(1), position) || position < 0.0 || position > 1.0)
            throw usageError("a raw position for \"" + name + "\" is @0 to @1, not \"" + value + "\"");
        instance_.setParameter(parameter, static_cast<float>(position));
        return static_cast<float>(position);
    }

    if (hostsTarvo_) {
        // Tarvo's own value mapping: the position that runs the value named,
        // where the display search below would take one that shows it ("Alpha"
        // shows from the middle on and runs at the end only; a ratio shows
        // its rounded tenth and runs the tenth at or below).
        float position = 0.0f;
        if (positionForText(parameter, text, instance_.getParameter(param::ArTime), position)) {
            instance_.setParameter(parameter, position);
            return position;
        }
    }

    // The user may have typed the unit label after the number ("-20 dB").
    std::string wanted = text;
    const std::string label = lowerCase(trimmed(instance_.parameterLabel(parameter)));
    double number = 0.0;
    if (!label.empty() && lowerCase(wanted).size() > label.size() &&
        lowerCase(wanted).compare(wanted.size() - label.size(), label.size(), label) == 0) {
        const std::string withoutLabel = wanted.substr(0, wanted.size() - label.size());
        if (parseWholeNumber(withoutLabel, number)) wanted = trimmed(withoutLabel);
    }
    const bool numeric = parseWholeNumber(wanted, number);
    wanted = lowerCase(wanted);
    auto shows = [&](float position) { return showsValue(parameter, position, wanted, number, numeric); };

    const float original = instance_.getParameter(parameter);
    std::vector<bool> match(kScanSteps + 1);
    std::vector<double> numbers(kScanSteps + 1, NAN);
    std::vector<std::string> displays(kScanSteps + 1);
    for (int step = 0; step <= kScanSteps; ++step) {
        match[step] = shows(positionAt(step));
        displays[step] = instance_.parameterDisplay(parameter);
        double shown = 0.0;
        if (parseWholeNumber(displays[step], shown)) numbers[step] = shown;
    }

    // The middle of a run of positions showing the value: the run holds
    // [first, last]; `below` and `above` lie outside it unless the run
    // reaches the end of the scale there.
    auto middleOfRun = [&](float below, float first, float last, float above, bool hasBelow,
                           bool hasAbove) {
        const float low = hasBelow ? edge(below, first, shows) : 0.0f;
        const float high = hasAbove ? edge(above, last, shows) : 1.0f;
        const float middle = midpoint(low, high);
        return shows(middle) ? middle : first;
    };

    // Longest run of matching scan positions.
    int bestStart = -1, bestLength = 0;
    for (int step = 0; step <= kScanSteps;) {
        if (!match[step]) { ++step; continue; }
        int end = step;
        while (end + 1 <= kScanSteps && match[end + 1]) ++end;
        if (end - step + 1 > bestLength) {
            bestStart = step;
            bestLength = end - step + 1;
        }
        step = end + 1;
    }
    float found = -1.0f;
    if (bestStart >= 0) {
        const int last = bestStart + bestLength - 1;
        const bool hasBelow = bestStart > 0, hasAbove = last < kScanSteps;
        found = middleOfRun(hasBelow ? positionAt(bestStart - 1) : 0.0f, positionAt(bestStart),
                            positionAt(last), hasAbove ? positionAt(last + 1) : 1.0f, hasBelow,
                            hasAbove);
    } else if (numeric) {
        for (int step = 0; step < kScanSteps && found < 0.0f; ++step) {
            const double a = numbers[step], b = numbers[step + 1];
            if (std::isnan(a) || std::isnan(b) || !((a - number) * (b - number) < 0.0)) continue;
            float low = positionAt(step), high = positionAt(step + 1);
            for (int i = 0; i < 64; ++i) {
                const float middle = midpoint(low, high);
                if (middle == low || middle == high) break;
                if (shows(middle)) {
                    found = middleOfRun(low, middle, middle, high, true, true);
                    break;
                }
                double shown = 0.0;
                if (!parseWholeNumber(instance_.parameterDisplay(parameter), shown)) break;
                ((shown - number) * (a - number) > 0.0 ? low : high) = middle;
            }
        }
    }

    if (found < 0.0f) {
        instance_.setParameter(parameter, original);
        throw usageError("no position of \"" + name + "\" (parameter " + std::to_string(parameter) +
                         ") shows \"" + value + "\"; it shows " + trimmed(displays[0]) +
                         " at position 0 and " + trimmed(displays[kScanSteps]) + " at 1");
    }
    instance_.setParameter(parameter, found);
    return found;
}

int PluginSettings::apply(const ParameterSetting& setting) {
    const int index = findParameter(setting.name);
    setByDisplay(index, setting.value);
    return index;
}

std::string PluginSettings::listing() {
    AEffect& effect = instance_.effect();
    struct Row {
        std::string name, display, label;
    };
    std::vector<Row> rows;
    std::size_t nameWidth = 4, displayWidth = 7;
    for (int i = 0; i < effect.numParams; ++i) {
        rows.push_back({instance_.parameterName(i), instance_.parameterDisplay(i),
                        instance_.parameterLabel(i)});
        nameWidth = std::max(nameWidth, rows.back().name.size());
        displayWidth = std::max(displayWidth, rows.back().display.size());
    }
    std::ostringstream out;
    out << "Parameters (" << effect.numParams << ")\n";
    for (std::size_t i = 0; i < rows.size(); ++i) {
        std::string line = "  ";
        const std::string number = std::to_string(i);
        line += std::string(number.size() < 4 ? 4 - number.size() : 0, ' ') + number + "  ";
        line += rows[i].name + std::string(nameWidth - rows[i].name.size(), ' ') + "  ";
        line += rows[i].display + std::string(displayWidth - rows[i].display.size(), ' ') + "  ";
        line += rows[i].label;
        line.erase(line.find_last_not_of(' ') + 1);
        out << line << "\n";
    }
    const std::vector<std::string> names = programNames();
    const auto current = static_cast<int>(instance_.dispatch(effGetProgram));
    out << "Programs (" << names.size() << ", * current)\n";
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::string number = std::to_string(i);
        out << (static_cast<int>(i) == current ? " *" : "  ")
            << std::string(number.size() < 4 ? 4 - number.size() : 0, ' ') << number << "  "
            << names[i] << "\n";
    }
    return out.str();
}

}  // namespace tarvo::render
