#pragma once

#include <string>
#include <vector>

#include "Options.h"
#include "vsthost/VstInstance.h"

namespace tarvo::render {

/// Programs and parameters of a plug-in as a host's generic window shows
/// them: found by name (ignoring case) or number, and set by the text the
/// window would display, so that it works for any VST 2.4 plug-in.
class PluginSettings {
public:
    explicit PluginSettings(vsthost::VstInstance& instance);

    /// The program named (ignoring case, then ignoring punctuation and
    /// spaces) or numbered (from 0, as --list shows). Throws a usage
    /// ToolError that lists the programs.
    int findProgram(const std::string& nameOrNumber);
    /// effBeginSetProgram, effSetProgram, effEndSetProgram.
    void selectProgram(int program);

    /// The parameter named (ignoring case, then ignoring punctuation and
    /// spaces) or numbered. Throws a usage ToolError for an unknown name,
    /// listing the parameters, or for a name several parameters share.
    int findParameter(const std::string& nameOrIndex);
    /// For Tarvo, the position that runs the value `value` names (an option,
    /// an end's text or a number at the display's precision; Attack and
    /// Release outside their range act as the nearer end). For another
    /// plug-in, or a text Tarvo's mapping does not take, the position at
    /// which the parameter displays `value` (Algorithms in
    /// PluginSettings.cpp). "@0.25" is a raw position. Leaves the parameter
    /// at that position. Throws a usage ToolError when no position displays
    /// the value.
    float setByDisplay(int parameter, const std::string& value);
    /// Finds the parameter and sets it; returns its index.
    int apply(const ParameterSetting& setting);

    /// The host's generic window as text: every parameter's index, name,
    /// display and label, and every program's name (the current one
    /// marked).
    std::string listing();

private:
    std::vector<std::string> programNames();
    std::string parameterList();
    bool showsValue(int parameter, float position, const std::string& wanted, double number,
                    bool numeric);

    /// Tarvo by its identifier, name and parameter count.
    static bool isTarvo(vsthost::VstInstance& instance);

    vsthost::VstInstance& instance_;
    bool hostsTarvo_;
};

/// The number the whole text states (surrounding spaces allowed), if any.
bool parseWholeNumber(const std::string& text, double& number);

}  // namespace tarvo::render
