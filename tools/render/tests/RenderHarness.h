#pragma once

#include <sndfile.h>

#include <string>
#include <vector>

namespace tarvo::render::test {

/// Audio as the tests write and read it: interleaved doubles.
struct Audio {
    int channels = 2;
    int sampleRate = 44100;
    int format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    std::vector<double> samples;

    std::size_t frames() const { return samples.size() / static_cast<std::size_t>(channels); }
    double at(std::size_t frame, int channel) const {
        return samples[frame * static_cast<std::size_t>(channels) + static_cast<std::size_t>(channel)];
    }
    /// The frame whose sample in `channel` has the largest magnitude.
    std::size_t peakFrame(int channel) const;
    /// Root-mean-square level of one channel over [begin, end) in dBFS.
    double rmsDb(int channel, std::size_t begin, std::size_t end) const;
};

/// Silence of the given length.
Audio silence(std::size_t frames, int channels = 2, int sampleRate = 44100);
/// A sine of the given amplitude and frequency in every channel.
Audio sine(std::size_t frames, double amplitude, double hz, int channels = 2, int sampleRate = 44100);

void writeAudio(const std::string& path, const Audio& audio);
/// Reads a whole file; fails the test (and returns empty audio) when it
/// cannot.
Audio readAudio(const std::string& path);

/// What one run of the tool did.
struct ToolRun {
    int status = -1;  ///< exit status, or 128 + signal
    std::string out;  ///< standard output
    std::string err;  ///< standard error
};

/// Runs the built tarvo-render with the arguments in `folder` (its working
/// directory), standard input closed.
ToolRun runTool(const std::vector<std::string>& arguments, const std::string& folder);

/// A fresh empty folder for one test, removed by the destructor.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }
    /// Names of the files in the folder, sorted (temporary files included).
    std::vector<std::string> files() const;

private:
    std::string path_;
};

std::string fileContents(const std::string& path);

/// Paths of the libraries built for the tests and the plug-in.
std::string tarvoPlugin();
std::string probePlugin();
std::string nullEntryPlugin();
std::string noEntryPlugin();

/// The display a --list run shows for parameter `index`, "" if not found.
std::string listedDisplay(const std::string& listing, int index);

}  // namespace tarvo::render::test
