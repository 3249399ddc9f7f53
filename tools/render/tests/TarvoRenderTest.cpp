// tarvo-render driving Tarvo: alignment through the oversampling paths,
// settings by display text, programs, the side-chain and mono files.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "RenderHarness.h"

namespace tarvo::render::test {
namespace {

/// Settings under which an impulse passes unchanged in level: threshold at
/// full scale, limiter and saturation off, no dither noise.
const std::vector<std::string> kTransparent = {"--set", "Thresh.=0", "--set", "14=Off", "--set",
                                               "Saturat.=Off", "--set", "Dither=Off"};

std::vector<std::string> with(std::vector<std::string> arguments, const std::vector<std::string>& more) {
    arguments.insert(arguments.end(), more.begin(), more.end());
    return arguments;
}

Audio impulses() {
    Audio audio = silence(20000);
    audio.samples[2 * 1000] = 0.5;
    audio.samples[2 * 5000 + 1] = 0.25;
    return audio;
}

/// Renders the impulses with `settings` and returns the output; `latency`
/// receives the latency the summary reports.
Audio renderImpulses(const ScratchFolder& folder, const std::vector<std::string>& settings, int& latency) {
    writeAudio(folder / "in.wav", impulses());
    const ToolRun run = runTool(with(with({"--quiet"}, kTransparent), with(settings, {"in.wav", "out.wav"})),
                                folder.path());
    EXPECT_EQ(run.status, 0) << run.err;
    const std::size_t at = run.out.find("latency  ");
    latency = at == std::string::npos ? -1 : std::atoi(run.out.c_str() + at + 9);
    return readAudio(folder / "out.wav");
}

TEST(TarvoRenderAlignment, ImpulseComesOutWhereItWentInAtFourTimesFast) {
    ScratchFolder folder;
    int latency = 0;
    const Audio out = renderImpulses(folder, {"--set", "Upsampl.=4x", "--set", "Upsmpl.=Fast"}, latency);
    EXPECT_EQ(latency, 2);
    ASSERT_EQ(out.frames(), 20000u);
    // The IIR decimator's group delay is not a whole number of samples; the
    // peak stays within a sample of where it went in.
    EXPECT_NEAR(static_cast<double>(out.peakFrame(0)), 1000.0, 1.0);
    EXPECT_NEAR(static_cast<double>(out.peakFrame(1)), 5000.0, 1.0);
    EXPECT_GT(out.at(out.peakFrame(0), 0), 0.4);
}

TEST(TarvoRenderAlignment, ImpulseComesOutWhereItWentInAtFourTimesHq) {
    ScratchFolder folder;
    int latency = 0;
    const Audio out = renderImpulses(folder, {"--set", "Upsampl.=4x", "--set", "Upsmpl.=HQ"}, latency);
    EXPECT_EQ(latency, 172);
    ASSERT_EQ(out.frames(), 20000u);
    EXPECT_NEAR(static_cast<double>(out.peakFrame(0)), 1000.0, 1.0);
    EXPECT_NEAR(static_cast<double>(out.peakFrame(1)), 5000.0, 1.0);
    EXPECT_GT(out.at(out.peakFrame(0), 0), 0.4);
}

TEST(TarvoRenderAlignment, KeepLatencyShowsTheDroppedSamples) {
    ScratchFolder folder;
    int latency = 0;
    const Audio aligned = renderImpulses(folder, {"--set", "Upsmpl.=HQ"}, latency);
    ASSERT_EQ(latency, 172);
    int keptLatency = 0;
    const Audio kept = renderImpulses(folder, {"--set", "Upsmpl.=HQ", "--keep-latency"}, keptLatency);
    ASSERT_EQ(kept.frames(), aligned.frames());
    // The compensated output is the plain one moved forward by the latency.
    for (std::size_t i = 0; i + 172 < kept.frames(); ++i)
        ASSERT_EQ(aligned.at(i, 0), kept.at(i + 172, 0)) << i;
}

TEST(TarvoRenderAlignment, RenderEightTimesSettlesItsLatencyBeforeTheRender) {
    // At 1x "HQ" has no halfband stage (latency 2); offline "Render8x"
    // switches to 8x in the first processing call, with the halfband
    // stage's 172 samples.
    ScratchFolder folder;
    const std::vector<std::string> settings = {"--set", "Upsampl.=1x", "--set", "Upsmpl.=HQ", "--set",
                                               "Render8x=On"};
    int latency = 0;
    const Audio offline = renderImpulses(folder, settings, latency);
    EXPECT_EQ(latency, 172);
    EXPECT_NEAR(static_cast<double>(offline.peakFrame(0)), 1000.0, 1.0);
    const Audio realtime = renderImpulses(folder, with(settings, {"--realtime"}), latency);
    EXPECT_EQ(latency, 2);
    EXPECT_NEAR(static_cast<double>(realtime.peakFrame(0)), 1000.0, 1.0);
}

TEST(TarvoRenderSettings, ContinuousParametersByDisplayValue) {
    ScratchFolder folder;
    const ToolRun run = runTool({"--list", "--set", "Thresh.=-20", "--set", "makeup=+3.5 dB", "--set",
                                 "A,R Time=1*10,1:1", "--set", "Attack=500", "--set", "Knee=0.5",
                                 "--set", "Dry/Wet=37", "--set", "MidScoop=@0.25"},
                                folder.path());
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(listedDisplay(run.out, 1), "-20.0");
    EXPECT_EQ(listedDisplay(run.out, 7), "3.5");
    EXPECT_EQ(listedDisplay(run.out, 3), "500.0");  // found between the scanned positions
    EXPECT_EQ(listedDisplay(run.out, 2), "0.5");
    EXPECT_EQ(listedDisplay(run.out, 9), "37");
    EXPECT_EQ(listedDisplay(run.out, 8), "-6.0");  // raw position 0.25 of -12..12
}

TEST(TarvoRenderSettings, ChoiceAndEndTextsByDisplayValue) {
    ScratchFolder folder;
    const ToolRun run = runTool({"--list", "--set", "Mode=M/S", "--set", "Ratio=inf", "--set", "Filter=Off",
                                 "--set", "Upsampl.=8x", "--set", "14=Post", "--set", "input=-12",
                                 "--set", "sd.chain=external"},
                                folder.path());
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(listedDisplay(run.out, 10), "M/S");
    EXPECT_EQ(listedDisplay(run.out, 5), "inf");
    EXPECT_EQ(listedDisplay(run.out, 0), "Off");
    EXPECT_EQ(listedDisplay(run.out, 11), "8x");
    EXPECT_EQ(listedDisplay(run.out, 14), "Post");
    EXPECT_EQ(listedDisplay(run.out, 6), "0.0");  // the other "Limiter" is untouched
    EXPECT_EQ(listedDisplay(run.out, 13), "-12");
    EXPECT_EQ(listedDisplay(run.out, 19), "External");
}

TEST(TarvoRenderSettings, ProgramsByNameOrNumberWithSettingsAppliedAfterThem) {
    ScratchFolder folder;
    ToolRun run = runTool({"--list", "--program", "KICK"}, folder.path());
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find(" *   1  kick\n"), std::string::npos) << run.out;
    EXPECT_EQ(listedDisplay(run.out, 1), "-27.3");
    EXPECT_EQ(listedDisplay(run.out, 10), "Mono-L");

    run = runTool({"--list", "--set", "Thresh.=-20", "--program", "drum buss"}, folder.path());
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find(" *   5  DRUM BUSS\n"), std::string::npos) << run.out;
    EXPECT_EQ(listedDisplay(run.out, 1), "-20.0");
    EXPECT_EQ(listedDisplay(run.out, 4), "111.1");  // the rest is the program's

    run = runTool({"--list", "--program", "15"}, folder.path());
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find(" *  15  premaster\n"), std::string::npos) << run.out;
    EXPECT_EQ(listedDisplay(run.out, 14), "Post");
}

TEST(TarvoRenderSettings, KickAtMinusTwentyOnASixteenBitFile) {
    ScratchFolder folder;
    Audio in = sine(44100, 0.5, 110.0);
    in.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    writeAudio(folder / "in.wav", in);
    const ToolRun run = runTool({"in.wav", "out.wav", "--program", "kick", "--set", "Thresh.=-20"}, folder.path());
    ASSERT_EQ(run.status, 0) << run.err;
    const Audio out = readAudio(folder / "out.wav");
    EXPECT_EQ(out.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    EXPECT_EQ(out.channels, 2);
    EXPECT_EQ(out.frames(), in.frames());
    EXPECT_NE(run.out.find("program \"kick\""), std::string::npos) << run.out;
    for (const char* part : {"peak -6.0 dBFS", "loudness", "LUFS", "latency  2 samples", "times real time"})
        EXPECT_NE(run.out.find(part), std::string::npos) << part << " in\n" << run.out;
    // A -6 dBFS tone over a -20 dB threshold at ratio 5.6 comes out quieter.
    EXPECT_LT(out.rmsDb(0, 22050, 44100), in.rmsDb(0, 22050, 44100) - 3.0);
}

/// Tone at -6 dBFS for two seconds; a key that is silent for the first
/// second and a full-scale tone in the second.
struct SideChainCase {
    std::vector<std::string> settings = {"--quiet", "--set", "Thresh.=-30", "--set", "Ratio=inf", "--set",
                                         "14=Off", "--set", "Saturat.=Off", "--set", "Dither=Off"};
    Audio main = sine(88200, 0.5, 220.0);
    Audio key = [] {
        Audio audio = sine(88200, 1.0, 220.0, 1);
        std::fill(audio.samples.begin(), audio.samples.begin() + 44100, 0.0);
        return audio;
    }();
};

TEST(TarvoRenderSideChain, KeyFromTheSideChainFile) {
    ScratchFolder folder;
    SideChainCase c;
    writeAudio(folder / "in.wav", c.main);
    writeAudio(folder / "key.wav", c.key);
    ToolRun run = runTool(with(c.settings, {"--sidechain", "key.wav", "in.wav", "out.wav"}), folder.path());
    ASSERT_EQ(run.status, 0) << run.err;
    const Audio keyed = readAudio(folder / "out.wav");
    ASSERT_EQ(keyed.frames(), c.main.frames());
    const double level = c.main.rmsDb(0, 0, 44100);
    // A silent key leaves the tone alone; the loud key pulls it far down.
    EXPECT_NEAR(keyed.rmsDb(0, 11025, 44100), level, 0.5);
    EXPECT_NEAR(keyed.rmsDb(1, 11025, 44100), level, 0.5);
    EXPECT_LT(keyed.rmsDb(0, 55125, 88200), level - 20.0);
    EXPECT_LT(keyed.rmsDb(1, 55125, 88200), level - 20.0);

    // Without the side-chain the tone is its own key and is pulled down at once.
    run = runTool(with(c.settings, {"in.wav", "internal.wav"}), folder.path());
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_LT(readAudio(folder / "internal.wav").rmsDb(0, 11025, 44100), level - 20.0);

    // "Sd.chain" set by the user stays as set: the side-chain is not heard.
    run = runTool(with(c.settings, {"--set", "Sd.chain=Internal", "--sidechain", "key.wav", "in.wav", "chosen.wav"}),
                  folder.path());
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(readAudio(folder / "chosen.wav").samples, readAudio(folder / "internal.wav").samples);
}

TEST(TarvoRenderSideChain, ShorterSideChainEndsInSilence) {
    ScratchFolder folder;
    SideChainCase c;
    Audio key = sine(44100, 1.0, 220.0);  // loud, but only for the first second
    writeAudio(folder / "in.wav", c.main);
    writeAudio(folder / "key.wav", key);
    const ToolRun run = runTool(with(c.settings, {"--sidechain", "key.wav", "in.wav", "out.wav"}), folder.path());
    ASSERT_EQ(run.status, 0) << run.err;
    const Audio out = readAudio(folder / "out.wav");
    ASSERT_EQ(out.frames(), c.main.frames());
    const double level = c.main.rmsDb(0, 0, 44100);
    EXPECT_LT(out.rmsDb(0, 11025, 44100), level - 20.0);
    EXPECT_NEAR(out.rmsDb(0, 66150, 88200), level, 0.5);
}

TEST(TarvoRenderMono, MonoFileRendersAsItsLeftChannelWouldInStereo) {
    ScratchFolder folder;
    Audio mono = sine(22050, 0.7, 330.0, 1);
    mono.samples[5000] = 0.99;
    Audio stereo = silence(mono.frames());
    for (std::size_t i = 0; i < mono.frames(); ++i) stereo.samples[2 * i] = stereo.samples[2 * i + 1] = mono.samples[i];
    writeAudio(folder / "mono.wav", mono);
    writeAudio(folder / "stereo.wav", stereo);
    const std::vector<std::string> settings = {"--quiet", "--program", "kick", "--set", "Dither=Off"};
    ToolRun run = runTool(with(settings, {"mono.wav", "mono-out.wav"}), folder.path());
    ASSERT_EQ(run.status, 0) << run.err;
    run = runTool(with(settings, {"stereo.wav", "stereo-out.wav"}), folder.path());
    ASSERT_EQ(run.status, 0) << run.err;
    const Audio monoOut = readAudio(folder / "mono-out.wav");
    const Audio stereoOut = readAudio(folder / "stereo-out.wav");
    ASSERT_EQ(monoOut.channels, 1);
    ASSERT_EQ(monoOut.frames(), mono.frames());
    for (std::size_t i = 0; i < monoOut.frames(); ++i) ASSERT_EQ(monoOut.at(i, 0), stereoOut.at(i, 0)) << i;
    EXPECT_LT(monoOut.rmsDb(0, 11025, 22050), mono.rmsDb(0, 11025, 22050) - 1.0);  // it did compress
}

TEST(TarvoRenderDemo, WritesTheInputBesideTheOutputAndSummarises) {
    ScratchFolder folder;
    const ToolRun run = runTool({"--demo", "demo.wav"}, folder.path());
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(folder.files(), (std::vector<std::string>{"demo-input.wav", "demo.wav"}));
    const Audio in = readAudio(folder / "demo-input.wav");
    const Audio out = readAudio(folder / "demo.wav");
    EXPECT_EQ(in.sampleRate, 44100);
    EXPECT_EQ(in.frames(), 8u * 44100u);
    EXPECT_EQ(out.frames(), in.frames());
    EXPECT_NE(run.out.find("program \"DRUM BUSS\""), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("peak -1.0 dBFS"), std::string::npos) << run.out;
    EXPECT_NE(in.samples, out.samples);
}

}  // namespace
}  // namespace tarvo::render::test
