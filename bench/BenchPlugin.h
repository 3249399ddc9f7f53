#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "BenchSignal.h"
#include "vsthost/VstInstance.h"

namespace tarvo::bench {

/// CPU time of the calling thread in nanoseconds.
std::int64_t threadCpuNanoseconds();

/// Which processing entry a run calls.
enum class Precision { single, dual };

/// A parameter setting by name and display text, as a user reads them in a
/// host's generic window: "Upsampl." = "8x", "ovs" = "Full x8". A text of
/// the form "@0.25" is a raw position instead.
struct Setting {
    std::string name;
    std::string text;
};

/// The input and output channels of one signal for one plug-in, in the
/// sample type of a processing entry. The main pair carries the signal; the
/// next pair (a side-chain) carries `key` when given, else zeros, as do any
/// further inputs. Every buffer is allocated and written when built, so no
/// page is first touched inside a timed loop.
template <typename Sample>
struct ChannelBuffers {
    ChannelBuffers(const StereoSignal& signal, int inputs, int outputs,
                   const StereoSignal* key = nullptr);

    std::size_t frames;
    std::vector<std::vector<Sample>> in;
    std::vector<std::vector<Sample>> out;
};

/// One plug-in instance under measurement, driven like a host drives it
/// through the shared vsthost loader: effOpen, rate 44100, block 512,
/// settings, resume, then blocks of 512 frames.
class BenchPlugin {
public:
    explicit BenchPlugin(const vsthost::VstLibrary& library);

    /// Sets the parameter called `name` to the position that runs the value
    /// `text` names, through Tarvo's own value mapping when the plug-in is
    /// Tarvo ("Alpha" runs Alpha, "4.0" the 4.0 ratio row). Otherwise (or
    /// for a text the mapping does not take) the first position whose
    /// display text is `text` (leading and trailing blanks ignored), found
    /// by scanning the positions 0, 1/2000, ... 1. Among several parameters
    /// of that name the first whose display can show the text is taken. Throws
    /// std::runtime_error when no parameter of that name can show the text.
    void set(const Setting& setting);
    void setProgram(int program);
    /// Sends effMainsChanged 1 (resume), after which the instance processes.
    void resume();

    bool canDoubleReplacing() const;
    int inputs() const;
    int outputs() const;
    std::string name();
    vsthost::VstInstance& instance() { return instance_; }

    /// Runs every frame of `buffers` through the processing entry of the
    /// sample type in blocks of 512 and returns the thread CPU time of the
    /// block loop alone, in nanoseconds.
    template <typename Sample>
    std::int64_t run(ChannelBuffers<Sample>& buffers);

private:
    vsthost::VstInstance instance_;
    bool hostsTarvo_ = false;  ///< by identifier, name and parameter count
};

/// The distinct display texts a parameter shows over its positions, with
/// the first position of each (for --displays).
std::vector<std::pair<std::string, float>> displayTexts(BenchPlugin& plugin, int index);

}  // namespace tarvo::bench
