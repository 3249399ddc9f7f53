// The tool as a host, seen from the probe plug-in: the order of its calls,
// the process level and precision it uses, and exact latency compensation.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "RenderHarness.h"

namespace tarvo::render::test {
namespace {

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        result.push_back(text.substr(start, end - start));
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return result;
}

/// Runs the tool with the probe's log switched on; returns the log.
std::vector<std::string> probeLog(const ScratchFolder& folder, std::vector<std::string> arguments,
                                  ToolRun& run) {
    const std::string log = folder / "probe.log";
    setenv("PROBE_LOG", log.c_str(), 1);
    arguments.insert(arguments.begin(), {"--plugin", probePlugin()});
    run = runTool(arguments, folder.path());
    unsetenv("PROBE_LOG");
    const std::vector<std::string> result = lines(fileContents(log));
    std::remove(log.c_str());
    return result;
}

Audio impulses(std::size_t frames, int sampleRate = 44100) {
    Audio audio = silence(frames, 2, sampleRate);
    audio.samples[2 * 1000] = 0.5;       // left at 1000
    audio.samples[2 * 2345 + 1] = -0.25;  // right at 2345
    audio.samples[2 * (frames - 1)] = 0.125;  // left at the very end
    return audio;
}

void expectAlignedImpulses(const Audio& in, const Audio& out, double gain) {
    ASSERT_EQ(out.frames(), in.frames());
    ASSERT_EQ(out.channels, 2);
    for (std::size_t i = 0; i < in.frames(); ++i)
        for (int c = 0; c < 2; ++c)
            ASSERT_NEAR(out.at(i, c), gain * in.at(i, c), 1e-6) << "frame " << i << " channel " << c;
}

TEST(RenderHostSequence, RateAndBlockBeforeResumeThenProcessingBetweenResumeAndSuspend) {
    ScratchFolder folder;
    writeAudio(folder / "in.wav", impulses(5000, 48000));
    ToolRun run;
    const auto log = probeLog(folder, {"--block", "300", "in.wav", "out.wav"}, run);
    ASSERT_EQ(run.status, 0) << run.err;
    const std::vector<std::string> expected = {
        "open", "rate 48000", "block 300", "precision double",
        // one block of silence to let the plug-in settle, then the render
        "resume", "start", "process double level 4", "stop", "suspend",
        "resume", "start", "process double level 4", "stop", "suspend", "close"};
    EXPECT_EQ(log, expected);
}

TEST(RenderHostSequence, RealtimeLevelAndSinglePrecisionWhenAskedFor) {
    ScratchFolder folder;
    writeAudio(folder / "in.wav", impulses(3000));
    ToolRun run;
    const auto log = probeLog(folder, {"--realtime", "--precision", "single", "in.wav", "out.wav"}, run);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(std::find(log.begin(), log.end(), "precision single"), log.end());
    EXPECT_NE(std::find(log.begin(), log.end(), "process single level 2"), log.end());
    for (const std::string& line : log) EXPECT_EQ(line.find("double"), std::string::npos) << line;
    EXPECT_NE(run.out.find("realtime, single precision"), std::string::npos) << run.out;
}

TEST(RenderHostSequence, LatencyIsCompensatedSampleForSampleAtAnyBlockSize) {
    ScratchFolder folder;
    const Audio in = impulses(4099);
    writeAudio(folder / "in.wav", in);
    for (const char* block : {"1", "7", "64", "512", "5000"}) {
        const ToolRun run = runTool({"--plugin", probePlugin(), "--block", block, "in.wav", "out.wav"},
                                folder.path());
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_NE(run.out.find("latency  7 samples"), std::string::npos) << run.out;
        SCOPED_TRACE(std::string("block ") + block);
        expectAlignedImpulses(in, readAudio(folder / "out.wav"), 1.0);
    }
}

TEST(RenderHostSequence, LatencySettledInTheFirstOfflineBlockIsTheOneCompensated) {
    ScratchFolder folder;
    const Audio in = impulses(3000);
    writeAudio(folder / "in.wav", in);
    ToolRun run = runTool({"--plugin", probePlugin(), "--set", "Late=On", "in.wav", "out.wav"}, folder.path());
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("latency  11 samples"), std::string::npos) << run.out;
    expectAlignedImpulses(in, readAudio(folder / "out.wav"), 1.0);

    // At the realtime level the probe keeps its first latency.
    run = runTool({"--plugin", probePlugin(), "--realtime", "--set", "Late=On", "in.wav", "out.wav"},
                  folder.path());
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("latency  7 samples"), std::string::npos) << run.out;
    expectAlignedImpulses(in, readAudio(folder / "out.wav"), 1.0);
}

TEST(RenderHostSequence, KeepLatencyAndTail) {
    ScratchFolder folder;
    const Audio in = impulses(3000);
    writeAudio(folder / "in.wav", in);
    ToolRun run = runTool({"--plugin", probePlugin(), "--keep-latency", "in.wav", "kept.wav"}, folder.path());
    ASSERT_EQ(run.status, 0) << run.err;
    const Audio kept = readAudio(folder / "kept.wav");
    ASSERT_EQ(kept.frames(), in.frames());
    EXPECT_EQ(kept.peakFrame(0), 1007u);
    EXPECT_EQ(kept.peakFrame(1), 2352u);
    EXPECT_EQ(kept.at(2999, 0), 0.0);  // the last impulse is still inside the plug-in

    run = runTool({"--plugin", probePlugin(), "--tail", "0.01", "in.wav", "tail.wav"}, folder.path());
    ASSERT_EQ(run.status, 0) << run.err;
    const Audio tail = readAudio(folder / "tail.wav");
    ASSERT_EQ(tail.frames(), in.frames() + 441);
    EXPECT_EQ(tail.at(1000, 0), 0.5);
    EXPECT_EQ(tail.at(2999, 0), 0.125);
}

TEST(RenderHostSequence, ProgramsAndSettingsReachTheOutput) {
    ScratchFolder folder;
    const Audio in = impulses(3000);
    writeAudio(folder / "in.wav", in);
    ToolRun run = runTool({"--plugin", probePlugin(), "--program", "quiet", "in.wav", "out.wav"}, folder.path());
    ASSERT_EQ(run.status, 0) << run.err;
    expectAlignedImpulses(in, readAudio(folder / "out.wav"), std::pow(10.0, -12.0 / 20.0));

    // Settings apply after the program wherever they stand.
    run = runTool({"--plugin", probePlugin(), "--set", "gain=+6", "--program", "Quiet", "in.wav", "out.wav"},
                  folder.path());
    ASSERT_EQ(run.status, 0) << run.err;
    expectAlignedImpulses(in, readAudio(folder / "out.wav"), std::pow(10.0, 6.0 / 20.0));
}

TEST(RenderHostSequence, SideChainFeedsInputsThreeAndFourAndEndsInSilence) {
    ScratchFolder folder;
    Audio main = silence(3000);
    main.samples[2 * 100] = 0.5;
    writeAudio(folder / "in.wav", main);
    Audio key = silence(500);  // shorter than the input
    key.samples[2 * 300] = 0.25;
    key.samples[2 * 400 + 1] = -0.25;
    writeAudio(folder / "key.wav", key);
    const ToolRun run = runTool({"--plugin", probePlugin(), "--sidechain", "key.wav", "in.wav", "out.wav"},
                            folder.path());
    ASSERT_EQ(run.status, 0) << run.err;
    const Audio out = readAudio(folder / "out.wav");
    ASSERT_EQ(out.frames(), main.frames());
    for (std::size_t i = 0; i < out.frames(); ++i) {
        const double left = i == 100 ? 0.5 : i == 300 ? 0.25 : 0.0;
        const double right = i == 400 ? -0.25 : 0.0;
        ASSERT_NEAR(out.at(i, 0), left, 1e-9) << i;
        ASSERT_NEAR(out.at(i, 1), right, 1e-9) << i;
    }
}

TEST(RenderHostSequence, MonoInputFeedsBothInputsAndGivesAMonoFile) {
    ScratchFolder folder;
    Audio mono = silence(2000, 1);
    mono.samples[777] = 0.5;
    writeAudio(folder / "in.wav", mono);
    Audio key = silence(2000, 1);
    key.samples[900] = 0.25;
    writeAudio(folder / "key.wav", key);
    const ToolRun run = runTool({"--plugin", probePlugin(), "--sidechain", "key.wav", "in.wav", "out.wav"},
                            folder.path());
    ASSERT_EQ(run.status, 0) << run.err;
    const Audio out = readAudio(folder / "out.wav");
    ASSERT_EQ(out.channels, 1);
    ASSERT_EQ(out.frames(), 2000u);
    EXPECT_EQ(out.at(777, 0), 0.5);
    EXPECT_EQ(out.at(900, 0), 0.25);
}

}  // namespace
}  // namespace tarvo::render::test
