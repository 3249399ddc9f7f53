// Bad input gets a one-line message naming the problem and exit status 2
// (the command must change) or 1 (loading, reading, processing, writing),
// and loses nothing: no output, no temporary file, an existing output
// untouched.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>

#include "RenderHarness.h"

namespace tarvo::render::test {
namespace {

struct ErrorCase {
    const char* name;
    std::vector<std::string> arguments;
    int status;
    std::string message;  ///< part of the one-line message
};

void PrintTo(const ErrorCase& c, std::ostream* os) { *os << c.name; }

const char* const kPreviousOutput = "previous output, not to be touched\n";

/// A float file on which the probe's "Glitch" returns a NaN on the left at
/// frame 1000 and 3000 and an infinity on the right at frame 2000.
Audio glitches() {
    Audio audio = sine(4410, 0.5, 440.0);
    audio.samples[2 * 1000] = 0.75;
    audio.samples[2 * 2000 + 1] = -0.75;
    audio.samples[2 * 3000] = 0.75;
    return audio;
}

/// A folder with the files the cases refer to, and an existing out.wav.
void prepare(const ScratchFolder& folder) {
    writeAudio(folder / "in.wav", sine(4410, 0.5, 440.0));
    writeAudio(folder / "in48.wav", sine(4800, 0.5, 440.0, 2, 48000));
    writeAudio(folder / "three.wav", sine(4410, 0.5, 440.0, 3));
    writeAudio(folder / "key.wav", sine(4410, 0.5, 440.0, 1));
    writeAudio(folder / "glitch.wav", glitches());
    std::ofstream(folder / "notaudio.wav") << "this is text\n";
    std::ofstream(folder / "fake.so") << "this is not a library\n";
    std::ofstream(folder / "out.wav") << kPreviousOutput;
    std::filesystem::create_directory(folder / "sub");
}

class RenderError : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(RenderError, OneLineExitStatusAndNothingLost) {
    const ErrorCase& c = GetParam();
    ScratchFolder folder;
    prepare(folder);
    const std::vector<std::string> before = folder.files();
    const ToolRun run = runTool(c.arguments, folder.path());
    EXPECT_EQ(run.status, c.status) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    EXPECT_EQ(run.err.rfind("tarvo-render: ", 0), 0u) << run.err;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    EXPECT_EQ(folder.files(), before);
    EXPECT_EQ(fileContents(folder / "out.wav"), kPreviousOutput);
    EXPECT_TRUE(std::filesystem::is_empty(folder / "sub"));
}

const std::string kIn = "in.wav", kOut = "out.wav";

INSTANTIATE_TEST_SUITE_P(
    Cases, RenderError,
    ::testing::Values(
        ErrorCase{"MissingInput", {"nothere.wav", kOut}, 1, "nothere.wav does not exist"},
        ErrorCase{"InputNotAudio", {"notaudio.wav", kOut}, 1, "cannot read notaudio.wav"},
        ErrorCase{"InputIsAFolder", {"sub", kOut}, 1, "sub is a folder"},
        ErrorCase{"ThreeChannels", {"three.wav", kOut}, 1, "three.wav has 3 channels"},
        ErrorCase{"OutputIsTheInput", {kIn, kIn}, 2, "is the input file"},
        ErrorCase{"OutputIsTheInputSpelledOtherwise", {kIn, "sub/../in.wav"}, 2, "is the input file"},
        ErrorCase{"OutputIsTheSideChain", {"--sidechain", "key.wav", kIn, "./key.wav"}, 2, "is the side-chain file"},
        ErrorCase{"UnknownOutputType", {kIn, "out.xyz"}, 2, "no file type \".xyz\""},
        ErrorCase{"ContainerCannotHoldTheSamples", {kIn, "out.flac"}, 2, "--format"},
        ErrorCase{"UnknownFormatOption", {"--format", "mp3", kIn, kOut}, 2, "--format is"},
        ErrorCase{"UnknownParameter", {"--set", "Loudness=3", kIn, kOut}, 2,
                  "unknown parameter \"Loudness\"; the parameters are: Filter, Thresh."},
        ErrorCase{"SharedParameterName", {"--set", "Limiter=Post", kIn, kOut}, 2, "parameters 6 and 14"},
        ErrorCase{"NoPositionShowsTheChoice", {"--set", "Mode=Quad", kIn, kOut}, 2, "shows \"Quad\""},
        ErrorCase{"NoPositionShowsTheNumber", {"--set", "Thresh.=-45", kIn, kOut}, 2,
                  "it shows -40.0 at position 0 and 0.0 at 1"},
        ErrorCase{"RawPositionOutOfRange", {"--set", "Thresh.=@1.5", kIn, kOut}, 2, "@0 to @1"},
        ErrorCase{"SettingWithoutValue", {"--set", "Thresh.", kIn, kOut}, 2, "NAME=VALUE"},
        ErrorCase{"UnknownProgram", {"--program", "polka", kIn, kOut}, 2,
                  "unknown program \"polka\"; the programs are: Default, kick,"},
        ErrorCase{"ProgramNumberTooHigh", {"--program", "16", kIn, kOut}, 2, "programs are 0 to 15"},
        ErrorCase{"PluginMissing", {"--plugin", "/nonexistent/x.so", kIn, kOut}, 1, "does not exist"},
        ErrorCase{"PluginNotALibrary", {"--plugin", "fake.so", kIn, kOut}, 1, "cannot load"},
        ErrorCase{"PluginEntryReturnsNothing", {"--plugin", nullEntryPlugin(), kIn, kOut}, 1,
                  "created no instance"},
        ErrorCase{"PluginWithoutEntry", {"--plugin", noEntryPlugin(), kIn, kOut}, 1,
                  "exports neither VSTPluginMain nor main"},
        ErrorCase{"PluginCrashesWhileRendering", {"--plugin", probePlugin(), "--set", "Crash=On", kIn, kOut}, 1,
                  "no output file was written"},
        ErrorCase{"PluginReturnsNonFiniteSamples",
                  {"--plugin", probePlugin(), "--set", "Glitch=On", "glitch.wav", kOut}, 1,
                  "returned 3 non-finite samples; out.wav was not written (--keep-non-finite"},
        ErrorCase{"SideChainAtAnotherRate", {"--sidechain", "in48.wav", kIn, kOut}, 1,
                  "runs at 48000 Hz, the input at 44100 Hz"},
        ErrorCase{"SideChainMissing", {"--sidechain", "nokey.wav", kIn, kOut}, 1, "nokey.wav does not exist"},
        ErrorCase{"OutputFolderMissing", {kIn, "nofolder/out.wav"}, 1, "cannot write in nofolder"},
        ErrorCase{"UnknownOption", {"--loud", kIn, kOut}, 2, "unknown option --loud"},
        ErrorCase{"OptionWithoutValue", {kIn, kOut, "--block"}, 2, "--block needs a value"},
        ErrorCase{"BlockSizeZero", {"--block", "0", kIn, kOut}, 2, "--block wants a whole number"},
        ErrorCase{"TailNotANumber", {"--tail", "long", kIn, kOut}, 2, "--tail wants a number"},
        ErrorCase{"NoFiles", {}, 2, "give an input and an output file"},
        ErrorCase{"DemoWithUnknownProgram", {"--demo", "demo.wav", "--program", "polka"}, 2,
                  "unknown program \"polka\""}),
    [](const ::testing::TestParamInfo<ErrorCase>& info) { return std::string(info.param.name); });

TEST(RenderOutput, SuccessReplacesAnExistingFileWithTheUsualPermissions) {
    ScratchFolder folder;
    prepare(folder);
    const mode_t previous = umask(022);
    const ToolRun run = runTool({"--plugin", probePlugin(), "in.wav", "out.wav"}, folder.path());
    umask(previous);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(readAudio(folder / "out.wav").frames(), 4410u);
    struct stat status {};
    ASSERT_EQ(stat((folder / "out.wav").c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0644u);
    const std::vector<std::string> expected = {"fake.so", "glitch.wav", "in.wav", "in48.wav", "key.wav",
                                               "notaudio.wav", "out.wav", "sub", "three.wav"};
    EXPECT_EQ(folder.files(), expected);  // no temporary file left
}

TEST(RenderOutput, FormatAndContainerFollowTheOptionAndTheExtension) {
    ScratchFolder folder;
    prepare(folder);
    ToolRun run = runTool({"--plugin", probePlugin(), "--format", "pcm24", "in.wav", "out.flac"}, folder.path());
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(readAudio(folder / "out.flac").format, SF_FORMAT_FLAC | SF_FORMAT_PCM_24);
    run = runTool({"--plugin", probePlugin(), "in.wav", "out.aiff"}, folder.path());
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(readAudio(folder / "out.aiff").format, SF_FORMAT_AIFF | SF_FORMAT_FLOAT);
    run = runTool({"--plugin", probePlugin(), "--format", "pcm16", "in.wav", "out.wav"}, folder.path());
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(readAudio(folder / "out.wav").format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
}

TEST(RenderOutput, IntegerOutputClipsInsteadOfWrappingAndSaysSo) {
    ScratchFolder folder;
    writeAudio(folder / "in.wav", sine(4410, 0.9, 440.0));
    const ToolRun run = runTool({"--plugin", probePlugin(), "--set", "Gain=+6", "--format", "pcm16", "in.wav",
                                 "out.wav"},
                                folder.path());
    ASSERT_EQ(run.status, 0) << run.err;
    const Audio out = readAudio(folder / "out.wav");
    double lowest = 0.0, highest = 0.0;
    for (double sample : out.samples) {
        lowest = std::min(lowest, sample);
        highest = std::max(highest, sample);
    }
    EXPECT_GT(highest, 0.999);
    EXPECT_LT(lowest, -0.999);
    // A wrapped sample would flip sign at the crest: the crest stays at full scale.
    EXPECT_GT(out.at(25, 0), 0.999);  // 440 Hz crest near frame 25
    EXPECT_NE(run.out.find("samples above full scale were clipped"), std::string::npos) << run.out;
}

TEST(RenderOutput, NonFiniteOutputIsReportedAndWrittenOnlyWhenKept) {
    // The summary counts them and places the first in every case; without
    // --keep-non-finite the render fails (RenderError above); with it a
    // float file holds them as they are and an integer file holds silence.
    ScratchFolder folder;
    writeAudio(folder / "glitch.wav", glitches());
    const std::string place = "returned 3 non-finite samples (NaN or infinite), the first at frame 1000 "
                              "(0.023 s) in channel 1; ";
    struct Case {
        std::string format;
        bool integer;
    };
    for (const Case& c : {Case{"float", false}, Case{"pcm24", true}}) {
        ToolRun run = runTool({"--plugin", probePlugin(), "--set", "Glitch=On", "--format", c.format, "glitch.wav",
                               "out.wav"},
                              folder.path());
        EXPECT_EQ(run.status, 1) << c.format;
        EXPECT_NE(run.out.find(place + "the output was not written"), std::string::npos) << run.out;
        EXPECT_FALSE(std::filesystem::exists(folder / "out.wav"));

        run = runTool({"--plugin", probePlugin(), "--set", "Glitch=On", "--keep-non-finite", "--format", c.format,
                       "glitch.wav", "out.wav"},
                      folder.path());
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_NE(run.out.find(place + (c.integer ? "written as silence" : "written as they are")),
                  std::string::npos)
            << run.out;
        const Audio out = readAudio(folder / "out.wav");
        ASSERT_EQ(out.frames(), 4410u);
        if (c.integer) {
            EXPECT_EQ(out.at(1000, 0), 0.0);
            EXPECT_EQ(out.at(2000, 1), 0.0);
        } else {
            EXPECT_TRUE(std::isnan(out.at(1000, 0)));
            EXPECT_EQ(out.at(2000, 1), INFINITY);
            EXPECT_TRUE(std::isnan(out.at(3000, 0)));
        }
        EXPECT_NEAR(out.at(1001, 0), glitches().at(1001, 0), 1e-6);  // the rest is the input
        std::filesystem::remove(folder / "out.wav");
    }
}

}  // namespace
}  // namespace tarvo::render::test
