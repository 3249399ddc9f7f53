#include "RenderHarness.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

namespace tarvo::render::test {

namespace fs = std::filesystem;

std::size_t Audio::peakFrame(int channel) const {
    std::size_t best = 0;
    for (std::size_t i = 0; i < frames(); ++i)
        if (std::fabs(at(i, channel)) > std::fabs(at(best, channel))) best = i;
    return best;
}

double Audio::rmsDb(int channel, std::size_t begin, std::size_t end) const {
    double sum = 0.0;
    for (std::size_t i = begin; i < end; ++i) sum += at(i, channel) * at(i, channel);
    return 10.0 * std::log10(sum / static_cast<double>(end - begin) + 1e-300);
}

Audio silence(std::size_t frames, int channels, int sampleRate) {
    Audio audio;
    audio.channels = channels;
    audio.sampleRate = sampleRate;
    audio.samples.assign(frames * static_cast<std::size_t>(channels), 0.0);
    return audio;
}

Audio sine(std::size_t frames, double amplitude, double hz, int channels, int sampleRate) {
    Audio audio = silence(frames, channels, sampleRate);
    for (std::size_t i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c)
            audio.samples[i * static_cast<std::size_t>(channels) + static_cast<std::size_t>(c)] =
                amplitude * std::sin(2.0 * M_PI * hz * static_cast<double>(i) / sampleRate);
    return audio;
}

void writeAudio(const std::string& path, const Audio& audio) {
    SF_INFO info{};
    info.channels = audio.channels;
    info.samplerate = audio.sampleRate;
    info.format = audio.format;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr) << path << ": " << sf_strerror(nullptr);
    EXPECT_EQ(sf_writef_double(file, audio.samples.data(), static_cast<sf_count_t>(audio.frames())),
              static_cast<sf_count_t>(audio.frames()));
    sf_close(file);
}

Audio readAudio(const std::string& path) {
    Audio audio;
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    EXPECT_NE(file, nullptr) << path << ": " << sf_strerror(nullptr);
    if (!file) return audio;
    audio.channels = info.channels;
    audio.sampleRate = info.samplerate;
    audio.format = info.format;
    audio.samples.resize(static_cast<std::size_t>(info.frames * info.channels));
    EXPECT_EQ(sf_readf_double(file, audio.samples.data(), info.frames), info.frames);
    sf_close(file);
    return audio;
}

namespace {

std::string quoted(const std::string& text) {
    std::string out = "'";
    for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

}  // namespace

std::string fileContents(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

ToolRun runTool(const std::vector<std::string>& arguments, const std::string& folder) {
    // The outputs go to a sibling folder, so that the folder under test
    // holds only what the tool leaves there.
    const std::string out = folder + ".stdout", err = folder + ".stderr";
    std::string command = "cd " + quoted(folder) + " && " + quoted(TARVO_RENDER_PATH);
    for (const std::string& argument : arguments) command += " " + quoted(argument);
    command += " </dev/null >" + quoted(out) + " 2>" + quoted(err);
    const int raw = std::system(command.c_str());
    ToolRun run;
    if (WIFEXITED(raw)) run.status = WEXITSTATUS(raw);
    else if (WIFSIGNALED(raw)) run.status = 128 + WTERMSIG(raw);
    run.out = fileContents(out);
    run.err = fileContents(err);
    std::remove(out.c_str());
    std::remove(err.c_str());
    return run;
}

ScratchFolder::ScratchFolder() {
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(test->test_suite_name()) + "." + test->name();
    std::replace(name.begin(), name.end(), '/', '_');
    path_ = (fs::temp_directory_path() / ("tarvo-render-" + std::to_string(getpid()) + "-" + name)).string();
    fs::remove_all(path_);
    fs::create_directories(path_);
}

ScratchFolder::~ScratchFolder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

std::vector<std::string> ScratchFolder::files() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(path_)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string tarvoPlugin() { return TARVO_PLUGIN_PATH; }
std::string probePlugin() { return PROBE_PLUGIN_PATH; }
std::string nullEntryPlugin() { return NULL_ENTRY_PLUGIN_PATH; }
std::string noEntryPlugin() { return NO_ENTRY_PLUGIN_PATH; }

std::string listedDisplay(const std::string& listing, int index) {
    // "    1  Thresh.   -20.0     dB": index, name, display, label, columns
    // separated by two or more spaces.
    std::istringstream lines(listing);
    std::string line;
    const std::regex row("^ +" + std::to_string(index) + "  (.+?)  +(\\S(?:.*?\\S)?)(?:  +.*)?$");
    bool inParameters = false;
    while (std::getline(lines, line)) {
        if (line.rfind("Parameters", 0) == 0) inParameters = true;
        if (line.rfind("Programs", 0) == 0) inParameters = false;
        std::smatch match;
        if (inParameters && std::regex_match(line, match, row)) return match[2];
    }
    return "";
}

}  // namespace tarvo::render::test
