// tarvo-render driving VST 2.4 plug-ins nobody here wrote, from Debian's
// zam-plugins and lsp-plugins-vst: single precision only, one input and
// output, no programs, parameters with their own display texts. Skipped
// when the package is not installed.

#include <gtest/gtest.h>

#include <filesystem>

#include "RenderHarness.h"

namespace tarvo::render::test {
namespace {

const char* const kZamEq = "/usr/lib/vst/ZamEQ2-vst.so";
const char* const kLspDelay = "/usr/lib/vst/lsp-plugins/comp-delay-stereo.so";

#define REQUIRE_PLUGIN(path)                                                          \
    if (!std::filesystem::exists(path)) GTEST_SKIP() << path << " is not installed"

TEST(ForeignPlugin, ZamEqMasterGainByDisplayValueOnAMonoFile) {
    REQUIRE_PLUGIN(kZamEq);
    ScratchFolder folder;
    const Audio in = sine(44100, 0.25, 1000.0, 1);
    writeAudio(folder / "in.wav", in);
    const ToolRun run = runTool({"--plugin", kZamEq, "--list", "--set", "Master Gain=-6", "in.wav", "out.wav"},
                                folder.path());
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(listedDisplay(run.out, 10), "-6.000000");
    EXPECT_NE(run.out.find("single precision"), std::string::npos) << run.out;
    const Audio out = readAudio(folder / "out.wav");
    ASSERT_EQ(out.channels, 1);
    ASSERT_EQ(out.frames(), in.frames());
    EXPECT_NEAR(out.rmsDb(0, 0, out.frames()), in.rmsDb(0, 0, in.frames()) - 6.0, 0.01);
}

TEST(ForeignPlugin, ZamEqRefusesWhatItCannotDo) {
    REQUIRE_PLUGIN(kZamEq);
    ScratchFolder folder;
    writeAudio(folder / "stereo.wav", sine(4410, 0.25, 1000.0));
    writeAudio(folder / "mono.wav", sine(4410, 0.25, 1000.0, 1));
    ToolRun run = runTool({"--plugin", kZamEq, "stereo.wav", "out.wav"}, folder.path());
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("only one input"), std::string::npos) << run.err;
    run = runTool({"--plugin", kZamEq, "--precision", "double", "mono.wav", "out.wav"}, folder.path());
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("no double-precision processing"), std::string::npos) << run.err;
    run = runTool({"--plugin", kZamEq, "--sidechain", "mono.wav", "mono.wav", "out.wav"}, folder.path());
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("none of them for a side-chain"), std::string::npos) << run.err;
    EXPECT_EQ(folder.files(), (std::vector<std::string>{"mono.wav", "stereo.wav"}));
}

TEST(ForeignPlugin, LspDelayBySamplesMovesTheImpulses) {
    REQUIRE_PLUGIN(kLspDelay);
    ScratchFolder folder;
    Audio in = silence(8000);
    in.samples[2 * 1000] = 0.5;
    in.samples[2 * 2345 + 1] = -0.25;
    writeAudio(folder / "in.wav", in);
    ToolRun run = runTool({"--plugin", kLspDelay, "--set", "samp=100", "in.wav", "out.wav"}, folder.path());
    ASSERT_EQ(run.status, 0) << run.err;
    const Audio out = readAudio(folder / "out.wav");
    ASSERT_EQ(out.frames(), in.frames());
    EXPECT_EQ(out.peakFrame(0), 1100u);
    EXPECT_EQ(out.peakFrame(1), 2445u);
    EXPECT_NEAR(out.at(1100, 0), 0.5, 1e-6);
    EXPECT_NEAR(out.at(2445, 1), -0.25, 1e-6);

    run = runTool({"--plugin", kLspDelay, "--program", "1", "in.wav", "out2.wav"}, folder.path());
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("has no programs"), std::string::npos) << run.err;
}

}  // namespace
}  // namespace tarvo::render::test
