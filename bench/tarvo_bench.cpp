// tarvo-bench: what one Tarvo instance costs per stereo frame, beside the
// compressors a user would pick instead, measured in one run on one machine.
//
//   tarvo-bench [--quick] [--plugin PATH] [--runs N] [--seconds S]
//               [--debian-peers]
//               [--peer PATH [--label TEXT] [--set NAME=TEXT]...
//                            [--against NAME=TEXT,... | --against-program N]]...
//   tarvo-bench --displays PATH NAME
//   tarvo-bench --profile [--program N] [NAME=TEXT,...] [--runs N] [--seconds S]
//   tarvo-bench --fingerprint [--plugin PATH]
//   tarvo-bench --compare OTHER_PATH [--plugin PATH] [--seeds N]
//
// --profile runs one Tarvo setup on the signal and prints its times only;
// under valgrind --tool=callgrind it gives repeatable instruction counts.
// --fingerprint prints a hash of the output at many settings: equal lists
// from two builds mean bit-identical output (see OutputFingerprint.h).
// --compare drives another build beside this one under random automation
// and reports the first output bit that differs (see AutomationCompare.h).
//
// Every plug-in is loaded through its exported entry (vsthost), started at
// 44100 Hz with blocks of 512, set up by parameter name and display text
// (Tarvo through its own value mapping, so a text runs the value it names;
// a peer at the first position that shows the text), resumed and fed
// blocks of 512 frames. Only the block loop is timed, in
// thread CPU time; buffers are built and touched before. Each case reports
// the median, minimum and maximum over several runs in ns per stereo frame
// and the realtime factor (audio seconds per CPU second). A peer runs in
// turns with its Tarvo counterpart (A B A B ...), and the pair's ratio is
// Tarvo's median over the peer's.

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <functional>
#include <limits>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <sys/utsname.h>
#include <unistd.h>
#include <vector>

#include "AutomationCompare.h"
#include "BenchPlugin.h"
#include "BenchSignal.h"
#include "OutputFingerprint.h"
#include "engine/EngineChoice.h"
#include "filters/HalfbandFir.h"

using namespace tarvo;
using namespace tarvo::bench;

namespace {

// --- Options ------------------------------------------------------------------

struct Peer {
    std::string label;
    std::string path;
    std::vector<Setting> settings;
    int againstProgram = 0;               ///< Tarvo program of the pair
    std::vector<Setting> againstSettings;  ///< then these settings on it
    std::string againstLabel;             ///< how the Tarvo side is shown
    double target = 0.0;                  ///< ratio limit, 0 for none
};

struct Options {
    bool quick = false;
    std::string plugin = TARVO_BENCH_PLUGIN;
    int runs = 9;
    double seconds = 10.0;        ///< signal per run (a multiple of the 2 s period)
    double silenceSeconds = 60.0;
    double tailSeconds = 10.0;
    std::vector<Peer> peers;
    bool fingerprint = false;
    std::string compareWith;  ///< another build, for --compare
    int compareSeeds = 8;
    bool profile = false;  ///< one Tarvo setup only, for a profiler
    int profileProgram = 0;
    std::vector<Setting> profileSettings;
};

int usage() {
    std::fprintf(stderr,
                 "usage: tarvo-bench [--quick] [--plugin PATH] [--runs N] [--seconds S]\n"
                 "                   [--debian-peers]\n"
                 "                   [--peer PATH [--label TEXT] [--set NAME=TEXT]...\n"
                 "                      [--against NAME=TEXT,... | --against-program N]]...\n"
                 "       tarvo-bench --displays PATH NAME\n"
                 "       tarvo-bench --profile [--program N] [NAME=TEXT,...] [--runs N] "
                 "[--seconds S]\n"
                 "       tarvo-bench --fingerprint [--plugin PATH]\n"
                 "       tarvo-bench --compare OTHER_PATH [--plugin PATH] [--seeds N]\n");
    return 2;
}

Setting parseSetting(const std::string& text) {
    const auto equals = text.find('=');
    if (equals == std::string::npos || equals == 0)
        throw std::runtime_error("a setting reads NAME=TEXT, not \"" + text + "\"");
    return Setting{text.substr(0, equals), text.substr(equals + 1)};
}

std::vector<Setting> parseSettings(const std::string& list) {
    std::vector<Setting> settings;
    std::stringstream stream(list);
    std::string item;
    while (std::getline(stream, item, ','))
        if (!item.empty()) settings.push_back(parseSetting(item));
    return settings;
}

std::string describe(const std::vector<Setting>& settings) {
    std::string text;
    for (const Setting& s : settings) text += (text.empty() ? "" : ", ") + s.name + " " + s.text;
    return text;
}

// --- Tarvo setups ---------------------------------------------------------------

/// One Tarvo configuration: a program, then settings on top of it.
struct Setup {
    std::string label;
    int program = 0;
    std::vector<Setting> settings;
};

/// The default program with factor, path, mode, limiter position and scoop.
Setup tarvoSetup(int factor, bool hq, const std::string& mode, const std::string& limiter = "Pre",
                 bool scoop = false) {
    Setup s;
    s.label = std::to_string(factor) + "x " + (hq ? "HQ" : "Fast") + " " + mode + " " + limiter;
    s.settings = {{"Upsampl.", std::to_string(factor) + "x"},
                  {"Upsmpl.", hq ? "HQ" : "Fast"},
                  {"Mode", mode},
                  {"Limiter", limiter}};
    if (scoop) {
        s.label += " scoop";
        s.settings.push_back({"MidScoop", "-6.0"});
    }
    return s;
}

Setup programSetup(int program, const std::string& name) {
    Setup s;
    s.label = "program " + std::to_string(program) + " \"" + name + "\"";
    s.program = program;
    return s;
}

/// The Debian peers and the Tarvo setups the targets pair them with.
void addDebianPeers(Options& options) {
    const std::string lsp = "/usr/lib/vst/lsp-plugins/";
    const auto exists = [](const std::string& path) { return std::ifstream(path).good(); };
    const Setup fast1 = tarvoSetup(1, false, "Stereo");
    const Setup hq8 = tarvoSetup(8, true, "Stereo");
    if (exists(lsp + "compressor-stereo.so")) {
        options.peers.push_back(Peer{"LSP Compressor Stereo (defaults)",
                                     lsp + "compressor-stereo.so", {}, 0, fast1.settings,
                                     fast1.label, 1.0});
        options.peers.push_back(Peer{"LSP Compressor Stereo (defaults)",
                                     lsp + "compressor-stereo.so", {}, 0, {},
                                     "program 0 (default, 4x Fast)", 3.0});
    }
    if (exists(lsp + "limiter-stereo.so"))
        options.peers.push_back(Peer{"LSP Limiter Stereo (ovs Full x8)", lsp + "limiter-stereo.so",
                                     {{"ovs", "Full x8"}}, 0, hq8.settings, hq8.label, 1.0});
    if (exists("/usr/lib/vst/ZamCompX2-vst.so"))
        options.peers.push_back(Peer{"ZamCompX2 (defaults)", "/usr/lib/vst/ZamCompX2-vst.so", {},
                                     0, fast1.settings, fast1.label, 0.0});
}

// --- Measurement ------------------------------------------------------------------

struct Stats {
    double median = 0.0;  ///< ns per frame
    double min = 0.0;
    double max = 0.0;
};

Stats summarize(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    const double median = n % 2 ? values[n / 2] : 0.5 * (values[n / 2 - 1] + values[n / 2]);
    return Stats{median, values.front(), values.back()};
}

double realtimeFactor(double nsPerFrame) { return 1e9 / (nsPerFrame * kSampleRate); }

/// What a timed run feeds: an untimed prelude (may be empty), then the timed
/// signal.
enum class SignalKind { music, zeros, zerosAfterBurst, tail };

/// A prepared instance with its buffers; each call of run() processes the
/// prelude untimed and returns the timed part in ns per frame.
class Runner {
public:
    /// keyedBySignal: the side-chain pair carries the timed signal too (else
    /// zeros), so that an external key costs what the main key costs.
    Runner(const vsthost::VstLibrary& library, int program, const std::vector<Setting>& settings,
           Precision precision, SignalKind kind, const Options& options,
           bool keyedBySignal = false)
        : plugin_(library), precision_(precision) {
        if (program != 0) plugin_.setProgram(program);
        for (const Setting& s : settings) plugin_.set(s);
        if (precision == Precision::dual && !plugin_.canDoubleReplacing())
            throw std::runtime_error(plugin_.name() + " has no double-precision entry");
        plugin_.resume();

        const bool dual = precision == Precision::dual;
        StereoSignal prelude;
        StereoSignal timed;
        switch (kind) {
            case SignalKind::music:
                timed = makeBurstNoise(options.seconds);
                break;
            case SignalKind::zeros:
                timed = makeSilence(options.silenceSeconds);
                break;
            case SignalKind::zerosAfterBurst:
                prelude = makeBurst();
                timed = makeSilence(options.silenceSeconds);
                break;
            case SignalKind::tail:
                prelude = makeBurstNoise(1.0);
                timed = dual ? makeDenormalTail(options.tailSeconds,
                                                std::numeric_limits<double>::min(),
                                                std::numeric_limits<double>::denorm_min())
                             : makeDenormalTail(options.tailSeconds,
                                                std::numeric_limits<float>::min(),
                                                std::numeric_limits<float>::denorm_min());
                break;
        }
        const int in = plugin_.inputs();
        const int out = plugin_.outputs();
        if (dual) {
            if (prelude.frames()) preludeDouble_ = std::make_unique<ChannelBuffers<double>>(prelude, in, out);
            timedDouble_ = std::make_unique<ChannelBuffers<double>>(
                timed, in, out, keyedBySignal ? &timed : nullptr);
        } else {
            if (prelude.frames()) preludeFloat_ = std::make_unique<ChannelBuffers<float>>(prelude, in, out);
            timedFloat_ = std::make_unique<ChannelBuffers<float>>(
                timed, in, out, keyedBySignal ? &timed : nullptr);
        }
        frames_ = timed.frames();
    }

    double run() {
        std::int64_t ns;
        if (precision_ == Precision::dual) {
            if (preludeDouble_) plugin_.run(*preludeDouble_);
            ns = plugin_.run(*timedDouble_);
        } else {
            if (preludeFloat_) plugin_.run(*preludeFloat_);
            ns = plugin_.run(*timedFloat_);
        }
        return static_cast<double>(ns) / static_cast<double>(frames_);
    }

private:
    BenchPlugin plugin_;
    Precision precision_;
    std::unique_ptr<ChannelBuffers<float>> preludeFloat_, timedFloat_;
    std::unique_ptr<ChannelBuffers<double>> preludeDouble_, timedDouble_;
    std::size_t frames_ = 0;
};

/// One untimed warm-up run, then `runs` timed ones.
Stats measure(Runner& runner, int runs) {
    runner.run();
    std::vector<double> values;
    for (int r = 0; r < runs; ++r) values.push_back(runner.run());
    return summarize(values);
}

/// A and B in turns. Every round builds both instances afresh, in the order
/// A B in even rounds and B A in odd ones, warms each up with one run and
/// times one run of each in the same order: where an instance lands in memory
/// moves its time by a few per cent, and this spreads that over both sides.
std::pair<Stats, Stats> measurePair(const std::function<std::unique_ptr<Runner>()>& makeA,
                                    const std::function<std::unique_ptr<Runner>()>& makeB,
                                    int runs) {
    std::vector<double> va;
    std::vector<double> vb;
    for (int r = 0; r < runs; ++r) {
        const bool aFirst = r % 2 == 0;
        std::unique_ptr<Runner> first = aFirst ? makeA() : makeB();
        std::unique_ptr<Runner> second = aFirst ? makeB() : makeA();
        first->run();
        second->run();
        const double t1 = first->run();
        const double t2 = second->run();
        va.push_back(aFirst ? t1 : t2);
        vb.push_back(aFirst ? t2 : t1);
    }
    return {summarize(va), summarize(vb)};
}

/// Thread CPU time of one halfband interpolator step (a push and a 176-tap
/// dot product), ns: the unit of the HQ target.
double halfbandStepNanoseconds() {
    HalfbandInterpolator stage;
    const int steps = 400000;
    double y0 = 0.0;
    double y1 = 0.0;
    double sink = 0.0;
    std::vector<double> values;
    for (int r = 0; r < 5; ++r) {
        const std::int64_t start = threadCpuNanoseconds();
        for (int i = 0; i < steps; ++i) {
            stage.process(static_cast<double>(i & 255) * (1.0 / 256.0), y0, y1);
            sink += y1;
        }
        values.push_back(static_cast<double>(threadCpuNanoseconds() - start) / steps);
    }
    if (sink == 12345.678) std::puts("");  // keeps the loop
    return summarize(values).median;
}

// --- Report ---------------------------------------------------------------------

std::string format(const char* pattern, double value) {
    char text[64];
    std::snprintf(text, sizeof text, pattern, value);
    return text;
}

std::string statsCells(const Stats& s) {
    return format("%.1f", s.median) + " | " + format("%.1f", s.min) + " | " +
           format("%.1f", s.max) + " | " + format("%.0f", realtimeFactor(s.median));
}

std::string verdict(double ratio, double limit) {
    return format("%.2f", ratio) + " | " + format("%.2f", limit) + " | " +
           (ratio <= limit ? "met" : "NOT met");
}

std::string cpuModel() {
    std::ifstream info("/proc/cpuinfo");
    std::string line;
    while (std::getline(info, line))
        if (line.rfind("model name", 0) == 0) return line.substr(line.find(':') + 2);
    return "unknown";
}

std::string today() {
    const std::time_t now = std::time(nullptr);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M UTC", std::gmtime(&now));
    return text;
}

struct TargetRow {
    std::string what;
    double ratio;
    double limit;
};

// --- Main -------------------------------------------------------------------------

int displays(const std::string& path, const std::string& name) {
    vsthost::VstLibrary library(path);
    BenchPlugin plugin(library);
    const int count = plugin.instance().effect().numParams;
    for (int index = 0; index < count; ++index) {
        if (plugin.instance().parameterName(index) != name) continue;
        std::printf("parameter %d \"%s\":\n", index, name.c_str());
        for (const auto& [text, position] : displayTexts(plugin, index))
            std::printf("  %-24s from %.4f\n", ("\"" + text + "\"").c_str(), position);
    }
    return 0;
}

int profile(const Options& options) {
    vsthost::VstLibrary tarvo(options.plugin);
    Runner runner(tarvo, options.profileProgram, options.profileSettings, Precision::single,
                  SignalKind::music, options);
    for (int r = 0; r < options.runs; ++r) std::printf("%.1f ns/frame\n", runner.run());
    return 0;
}

int runBenchmarks(const Options& options, const std::string& commandLine) {
    vsthost::VstLibrary tarvo(options.plugin);
    const int runs = options.runs;

    std::printf("## tarvo-bench%s\n\n", options.quick ? " (quick)" : "");
    std::printf("- Command: `%s`\n", commandLine.c_str());
    utsname system{};
    uname(&system);
    std::printf("- Machine: %s, %ld CPUs online, %s %s; compiled with GCC %s\n",
                cpuModel().c_str(), static_cast<long>(sysconf(_SC_NPROCESSORS_ONLN)),
                system.sysname, system.release, __VERSION__);
    std::printf("- Engine: %s build (what a Tarvo library of this tree runs in this process; "
                "TARVO_ENGINE=sse2 forces the SSE2 build)\n",
                tarvo::kernelCodeName(tarvo::defaultKernelCode()));
    std::printf("- Date: %s\n", today().c_str());
    std::printf("- Rate 44100 Hz, block 512; %d timed runs per case after one warm-up run; "
                "signal %.0f s per run (silence %.0f s, tail %.0f s); ns per stereo frame of "
                "thread CPU time; RT = realtime factor (audio s per CPU s)\n\n",
                runs, options.seconds, options.silenceSeconds, options.tailSeconds);
    std::fflush(stdout);

    std::vector<TargetRow> targets;

    // Tarvo on signal.
    struct Case {
        Setup setup;
        Precision precision;
    };
    std::vector<Case> cases;
    const int factors[] = {1, 2, 4, 8};
    if (options.quick) {
        cases = {{tarvoSetup(1, false, "Stereo"), Precision::single},
                 {tarvoSetup(4, false, "Stereo"), Precision::single},
                 {tarvoSetup(8, false, "Stereo"), Precision::single},
                 {tarvoSetup(2, true, "Stereo"), Precision::single},
                 {tarvoSetup(8, true, "Stereo"), Precision::single}};
    } else {
        for (const char* mode : {"Stereo", "M/S", "2 Mono"})
            for (bool hq : {false, true})
                for (int f : factors) cases.push_back({tarvoSetup(f, hq, mode), Precision::single});
        for (bool hq : {false, true})
            for (int f : factors)
                cases.push_back({tarvoSetup(f, hq, "Stereo", "Post"), Precision::single});
        for (bool hq : {false, true})
            for (int f : factors)
                cases.push_back({tarvoSetup(f, hq, "Stereo", "Pre", true), Precision::single});
        for (bool hq : {false, true})
            for (int f : factors) cases.push_back({tarvoSetup(f, hq, "Stereo"), Precision::dual});
    }

    std::printf("### Tarvo on signal (noise at -12 dBFS RMS, +9 dB bursts)\n\n");
    std::printf("| case | precision | median ns/frame | min | max | RT |\n");
    std::printf("|---|---|---:|---:|---:|---:|\n");
    std::vector<std::pair<std::string, Stats>> results;
    auto report = [&](const std::string& label, Precision precision, const Stats& s) {
        const char* p = precision == Precision::dual ? "double" : "float";
        std::printf("| %s | %s | %s |\n", label.c_str(), p, statsCells(s).c_str());
        std::fflush(stdout);
        results.emplace_back(label + (precision == Precision::dual ? " double" : ""), s);
    };
    for (const Case& c : cases) {
        Runner runner(tarvo, c.setup.program, c.setup.settings, c.precision, SignalKind::music,
                      options);
        report(c.setup.label, c.precision, measure(runner, runs));
    }

    // Programs.
    std::vector<std::string> names;
    {
        BenchPlugin probe(tarvo);
        for (int p = 0; p < 16; ++p) names.push_back(probe.instance().programNameIndexed(p));
    }
    const int programCount = options.quick ? 1 : 16;
    Stats defaultFloat;
    Stats defaultDouble;
    for (int p = 0; p < programCount; ++p) {
        for (Precision precision : {Precision::single, Precision::dual}) {
            if (p != 0 && precision == Precision::dual) continue;
            const Setup setup = programSetup(p, names[p]);
            Runner runner(tarvo, setup.program, {}, precision, SignalKind::music, options);
            const Stats s = measure(runner, runs);
            report(setup.label, precision, s);
            if (p == 0) (precision == Precision::dual ? defaultDouble : defaultFloat) = s;
        }
    }

    // Targets on Tarvo alone: growth with the factor and the cost of HQ.
    const auto find = [&](const std::string& label) -> const Stats* {
        for (const auto& [l, s] : results)
            if (l == label) return &s;
        return nullptr;
    };
    // The Fast path from 1x; the HQ path from 2x, its first factor with the
    // halfband stages (their fixed cost has a target of its own below).
    for (bool hq : {false, true}) {
        const int base = hq ? 2 : 1;
        const Stats* first = find(tarvoSetup(base, hq, "Stereo").label);
        for (int f : {2, 4, 8}) {
            const Stats* s = find(tarvoSetup(f, hq, "Stereo").label);
            if (f <= base || !first || !s) continue;
            const std::string path = hq ? " HQ" : " Fast";
            targets.push_back({"cost(" + std::to_string(f) + "x" + path + ") / cost(" +
                                   std::to_string(base) + "x" + path + ") / " +
                                   std::to_string(f / base) + " (linear growth)",
                               s->median / first->median / (f / base), 1.0});
        }
    }
    const double step = halfbandStepNanoseconds();
    std::printf("\nOne halfband stage step (push and 176-tap dot product, in-process): %.1f ns\n\n",
                step);
    for (int f : {2, 4, 8}) {
        const Stats* fast = find(tarvoSetup(f, false, "Stereo").label);
        const Stats* hq = find(tarvoSetup(f, true, "Stereo").label);
        if (fast && hq)
            targets.push_back({std::to_string(f) + "x: (HQ - Fast) / (4 halfband steps)",
                               (hq->median - fast->median) / (4.0 * step), 1.0});
    }

    // Channel modes and the key, each in turns with "Stereo" keyed by the
    // main input; with the external key the side-chain carries the same
    // signal, so the ratio is the cost of the routing alone.
    if (!options.quick) {
        std::printf("### Channel modes and the key (default program, in turns with \"Stereo\")"
                    "\n\n| mode | key | median ns/frame | \"Stereo\", main key | ratio |\n"
                    "|---|---|---:|---:|---:|\n");
        for (const char* key : {"Internal", "External"}) {
            for (const char* mode :
                 {"Stereo", "Mono-L", "2 Mono", "R-S.chn", "Mid.", "Side", "M/S"}) {
                if (std::string(mode) == "Stereo" && std::string(key) == "Internal") continue;
                const std::vector<Setting> settings = {{"Mode", mode}, {"Sd.chain", key}};
                const auto makeMode = [&] {
                    return std::make_unique<Runner>(tarvo, 0, settings, Precision::single,
                                                    SignalKind::music, options, true);
                };
                const auto makeStereo = [&] {
                    return std::make_unique<Runner>(tarvo, 0, std::vector<Setting>{{"Mode", "Stereo"}},
                                                    Precision::single, SignalKind::music, options,
                                                    true);
                };
                const auto [sm, ss] = measurePair(makeMode, makeStereo, runs);
                const double ratio = sm.median / ss.median;
                std::printf("| %s | %s | %.1f | %.1f | %.2f |\n", mode, key, sm.median, ss.median,
                            ratio);
                std::fflush(stdout);
                targets.push_back({std::string("program 0 in \"") + mode + "\", " + key +
                                       " key / in \"Stereo\", main key",
                                   ratio, 1.15});
            }
        }
        std::printf("\n");
    }

    // Silence.
    std::printf("### Silence (default program)\n\n");
    std::printf("| case | precision | median ns/frame | min | max | RT | / same on signal |\n");
    std::printf("|---|---|---:|---:|---:|---:|---:|\n");
    const struct {
        const char* label;
        SignalKind kind;
        double limit;
    } silences[] = {{"exact zeros", SignalKind::zeros, 0.2},
                    {"zeros after a burst", SignalKind::zerosAfterBurst, 0.2},
                    {"tail from -120 dBFS through the subnormal range", SignalKind::tail, 1.1}};
    for (const auto& silence : silences) {
        for (Precision precision : {Precision::single, Precision::dual}) {
            Runner runner(tarvo, 0, {}, precision, silence.kind, options);
            const Stats s = measure(runner, runs);
            const Stats& onSignal = precision == Precision::dual ? defaultDouble : defaultFloat;
            const double ratio = s.median / onSignal.median;
            const char* p = precision == Precision::dual ? "double" : "float";
            std::printf("| %s | %s | %s | %.3f |\n", silence.label, p, statsCells(s).c_str(),
                        ratio);
            std::fflush(stdout);
            targets.push_back({std::string(silence.label) + " (" + p + ") / on signal", ratio,
                               silence.limit});
        }
    }

    // Peers, each in turns with its Tarvo counterpart.
    if (!options.peers.empty()) {
        std::printf("\n### Peers, in turns with Tarvo (float)\n\n");
        std::printf("| Tarvo | median | min | max | peer | median | min | max | "
                    "Tarvo / peer |\n");
        std::printf("|---|---:|---:|---:|---|---:|---:|---:|---:|\n");
    }
    for (const Peer& peer : options.peers) {
        try {
            vsthost::VstLibrary library(peer.path);
            const auto makeTarvo = [&] {
                return std::make_unique<Runner>(tarvo, peer.againstProgram, peer.againstSettings,
                                                Precision::single, SignalKind::music, options);
            };
            const auto makePeer = [&] {
                return std::make_unique<Runner>(library, 0, peer.settings, Precision::single,
                                                SignalKind::music, options);
            };
            const auto [sa, sb] = measurePair(makeTarvo, makePeer, runs);
            const double ratio = sa.median / sb.median;
            std::printf("| %s | %.1f | %.1f | %.1f | %s | %.1f | %.1f | %.1f | %.2f |\n",
                        peer.againstLabel.c_str(), sa.median, sa.min, sa.max, peer.label.c_str(),
                        sb.median, sb.min, sb.max, ratio);
            std::fflush(stdout);
            if (peer.target > 0.0)
                targets.push_back({peer.againstLabel + " / " + peer.label, ratio, peer.target});
        } catch (const std::exception& e) {
            std::printf("| %s | | | | %s: %s | | | | |\n", peer.againstLabel.c_str(),
                        peer.label.c_str(), e.what());
        }
    }

    std::printf("\n### Targets\n\n| ratio | measured | limit | |\n|---|---:|---:|---|\n");
    for (const TargetRow& t : targets)
        std::printf("| %s | %s |\n", t.what.c_str(), verdict(t.ratio, t.limit).c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        Options options;
        std::string commandLine = "tarvo-bench";
        for (int i = 1; i < argc; ++i) commandLine += std::string(" ") + argv[i];
        bool secondsGiven = false;
        bool runsGiven = false;
        for (int i = 1; i < argc; ++i) {
            const std::string arg = argv[i];
            const auto value = [&]() -> std::string {
                if (i + 1 >= argc) throw std::runtime_error(arg + " needs a value");
                return argv[++i];
            };
            if (arg == "--quick") {
                options.quick = true;
            } else if (arg == "--plugin") {
                options.plugin = value();
            } else if (arg == "--runs") {
                options.runs = std::max(1, std::atoi(value().c_str()));
                runsGiven = true;
            } else if (arg == "--seconds") {
                options.seconds = std::max(0.1, std::atof(value().c_str()));
                secondsGiven = true;
            } else if (arg == "--debian-peers") {
                addDebianPeers(options);
            } else if (arg == "--peer") {
                Peer peer;
                peer.path = value();
                const Setup fast1 = tarvoSetup(1, false, "Stereo");
                peer.againstSettings = fast1.settings;
                peer.againstLabel = fast1.label;
                options.peers.push_back(peer);
            } else if (arg == "--label" || arg == "--set" || arg == "--against" ||
                       arg == "--against-program") {
                if (options.peers.empty()) throw std::runtime_error(arg + " follows a --peer");
                Peer& peer = options.peers.back();
                if (arg == "--label") {
                    peer.label = value();
                } else if (arg == "--set") {
                    peer.settings.push_back(parseSetting(value()));
                } else if (arg == "--against") {
                    peer.againstSettings = parseSettings(value());
                    peer.againstLabel = describe(peer.againstSettings);
                } else {
                    peer.againstProgram = std::atoi(value().c_str());
                    peer.againstSettings.clear();
                    peer.againstLabel = "program " + std::to_string(peer.againstProgram);
                }
            } else if (arg == "--profile") {
                options.profile = true;
                if (i + 1 < argc && argv[i + 1][0] != '-')
                    options.profileSettings = parseSettings(argv[++i]);
            } else if (arg == "--fingerprint") {
                options.fingerprint = true;
            } else if (arg == "--compare") {
                options.compareWith = value();
            } else if (arg == "--seeds") {
                options.compareSeeds = std::atoi(value().c_str());
            } else if (arg == "--program") {
                options.profileProgram = std::atoi(value().c_str());
            } else if (arg == "--displays") {
                const std::string path = value();
                return displays(path, value());
            } else {
                return usage();
            }
        }
        for (Peer& peer : options.peers) {
            if (!peer.label.empty()) continue;
            peer.label = peer.path.substr(peer.path.find_last_of('/') + 1);
            if (!peer.settings.empty()) peer.label += " (" + describe(peer.settings) + ")";
        }
        if (options.quick) {
            if (!secondsGiven) options.seconds = 4.0;
            if (!runsGiven) options.runs = 3;
            options.silenceSeconds = 10.0;
            options.tailSeconds = 4.0;
        }
        if (options.fingerprint) return printFingerprints(options.plugin);
        if (!options.compareWith.empty())
            return compareUnderAutomation(options.compareWith, options.plugin,
                                          options.compareSeeds);
        if (options.profile) {
            if (!runsGiven) options.runs = 1;
            if (!secondsGiven) options.seconds = 2.0;
            return profile(options);
        }
        return runBenchmarks(options, commandLine);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tarvo-bench: %s\n", e.what());
        return 1;
    }
}
