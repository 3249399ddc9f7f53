// tarvo-lv2-bench [--quick]
//
// Times Tarvo's LV2 build beside the LV2 peers Debian ships: x42 "darc"
// stereo (x42-plugins) and LSP Compressor Stereo (lsp-plugins-lv2), each
// loaded through lilv as a host loads it (LV2_PATH: the build's bundle
// folder, then /usr/lib/lv2), and beside Tarvo's VST library at the same
// settings (through vsthost, as tarvo-bench drives it), at 44100 Hz in
// blocks of 512 frames on the burst noise of tarvo-bench. Only the
// processing calls are timed (thread CPU time around the block loop). The setups run in turns: every round builds
// each instance afresh, in an order that rotates from round to round, so a
// slow stretch of a shared machine falls on all of them alike. Prints ns
// per stereo frame (median, min, max over the rounds), the realtime factor
// and each setup's median over the first Tarvo setup's.
//
// Full run: 10 s of signal, 9 rounds; --quick: 4 s, 3 rounds.

#include <lilv/lilv.h>
#include <lv2/urid/urid.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "BenchPlugin.h"
#include "BenchSignal.h"

namespace {

using tarvo::bench::kBlockSize;
using tarvo::bench::kSampleRate;

using tarvo::bench::threadCpuNanoseconds;

struct Setup {
    const char* label;
    const char* uri;  ///< an LV2 plug-in, or null for Tarvo's VST library
    std::vector<std::pair<const char*, float>> controls;  ///< LV2: by symbol, over the defaults
    std::vector<tarvo::bench::Setting> settings;           ///< VST: over program 0
};

const Setup kSetups[] = {
    {"Tarvo LV2, 1x Fast Stereo", "urn:hanvik:tarvo", {{"upsampling", 0}}, {}},
    {"Tarvo VST, 1x Fast Stereo", nullptr, {}, {{"Upsampl.", "1x"}}},
    {"Tarvo LV2, defaults (Default: 4x Fast Stereo)", "urn:hanvik:tarvo", {}, {}},
    {"Tarvo VST, program 0 (Default: 4x Fast Stereo)", nullptr, {}, {}},
    {"x42 darc stereo (defaults)", "http://gareus.org/oss/lv2/darc#stereo", {}, {}},
    {"LSP Compressor Stereo LV2 (defaults)", "http://lsp-plug.in/plugins/lv2/compressor_stereo", {}, {}},
};

/// One timed pass of signal through a fresh instance of Tarvo's VST
/// library, in ns.
std::int64_t runVst(const Setup& setup, const tarvo::bench::StereoSignal& signal) {
    static const tarvo::vsthost::VstLibrary library(TARVO_BENCH_PLUGIN);
    tarvo::bench::BenchPlugin plugin(library);
    for (const tarvo::bench::Setting& setting : setup.settings) plugin.set(setting);
    plugin.resume();
    tarvo::bench::ChannelBuffers<float> buffers(signal, plugin.inputs(), plugin.outputs());
    return plugin.run(buffers);
}

/// URIs to numbers for plug-ins that require urid:map.
struct UridMap {
    std::vector<std::string> uris;
    LV2_URID_Map map{this, [](LV2_URID_Map_Handle handle, const char* uri) -> LV2_URID {
                         auto& uris = static_cast<UridMap*>(handle)->uris;
                         const auto found = std::find(uris.begin(), uris.end(), uri);
                         if (found != uris.end()) return static_cast<LV2_URID>(found - uris.begin() + 1);
                         uris.emplace_back(uri);
                         return static_cast<LV2_URID>(uris.size());
                     }};
    LV2_Feature feature{LV2_URID__map, &map};
};

class Host {
public:
    Host() : world_(lilv_world_new()) {
        LilvNode* path = lilv_new_string(world_, TARVO_LV2_PATH ":/usr/lib/lv2");
        lilv_world_set_option(world_, LILV_OPTION_LV2_PATH, path);
        lilv_node_free(path);
        lilv_world_load_all(world_);
        audio_ = lilv_new_uri(world_, LV2_CORE__AudioPort);
        control_ = lilv_new_uri(world_, LV2_CORE__ControlPort);
        input_ = lilv_new_uri(world_, LV2_CORE__InputPort);
        sideChain_ = lilv_new_uri(world_, LV2_CORE_PREFIX "isSideChain");
        optional_ = lilv_new_uri(world_, LV2_CORE__connectionOptional);
    }
    ~Host() {
        for (LilvNode* node : {audio_, control_, input_, sideChain_, optional_}) lilv_node_free(node);
        lilv_world_free(world_);
    }

    const LilvPlugin* plugin(const char* uri) const {
        LilvNode* node = lilv_new_uri(world_, uri);
        const LilvPlugin* found = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world_), node);
        lilv_node_free(node);
        return found;
    }

    /// One timed pass of the signal through a fresh instance, in ns.
    std::int64_t run(const Setup& setup, const std::vector<float>& left,
                     const std::vector<float>& right) {
        const LilvPlugin* plugin = this->plugin(setup.uri);
        if (plugin == nullptr) throw std::runtime_error(std::string("not installed: ") + setup.uri);
        const LV2_Feature* features[] = {&urid_.feature, nullptr};
        LilvInstance* instance = lilv_plugin_instantiate(plugin, kSampleRate, features);
        if (instance == nullptr) throw std::runtime_error(std::string("cannot instantiate ") + setup.uri);

        const std::uint32_t ports = lilv_plugin_get_num_ports(plugin);
        std::vector<float> defaults(ports), controls(ports, 0.0f);
        lilv_plugin_get_port_ranges_float(plugin, nullptr, nullptr, defaults.data());
        std::vector<std::vector<float>> outputs;
        std::vector<float> silence(left.size(), 0.0f);
        std::vector<std::pair<std::uint32_t, const float*>> inputs;  // port, signal
        std::vector<std::pair<std::uint32_t, float*>> outs;
        int mainInputs = 0;
        outputs.reserve(ports);
        for (std::uint32_t i = 0; i < ports; ++i) {
            const LilvPort* port = lilv_plugin_get_port_by_index(plugin, i);
            const bool isInput = lilv_port_is_a(plugin, port, input_);
            if (lilv_port_is_a(plugin, port, control_)) {
                controls[i] = isInput ? defaults[i] : 0.0f;
                for (const auto& [symbol, value] : setup.controls) {
                    if (std::strcmp(lilv_node_as_string(lilv_port_get_symbol(plugin, port)), symbol) == 0)
                        controls[i] = value;
                }
                lilv_instance_connect_port(instance, i, &controls[i]);
            } else if (lilv_port_is_a(plugin, port, audio_)) {
                if (isInput) {
                    const bool key = lilv_port_has_property(plugin, port, sideChain_);
                    inputs.emplace_back(i, key ? silence.data()
                                               : (mainInputs++ == 0 ? left.data() : right.data()));
                } else {
                    outputs.emplace_back(left.size());
                    outs.emplace_back(i, outputs.back().data());
                }
            } else if (!lilv_port_has_property(plugin, port, optional_)) {
                throw std::runtime_error(std::string(setup.uri) + " has a port this bench cannot feed");
            }
        }
        lilv_instance_activate(instance);
        const std::int64_t start = threadCpuNanoseconds();
        for (std::size_t done = 0; done < left.size(); done += kBlockSize) {
            const auto count = static_cast<std::uint32_t>(
                std::min<std::size_t>(kBlockSize, left.size() - done));
            for (const auto& [port, data] : inputs)
                lilv_instance_connect_port(instance, port, const_cast<float*>(data) + done);
            for (const auto& [port, data] : outs) lilv_instance_connect_port(instance, port, data + done);
            lilv_instance_run(instance, count);
        }
        const std::int64_t elapsed = threadCpuNanoseconds() - start;
        lilv_instance_deactivate(instance);
        lilv_instance_free(instance);
        return elapsed;
    }

private:
    LilvWorld* world_;
    LilvNode *audio_, *control_, *input_, *sideChain_, *optional_;
    UridMap urid_;
};

}  // namespace

int main(int argc, char** argv) {
    const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
    if (argc > 2 || (argc == 2 && !quick)) {
        std::fprintf(stderr, "usage: tarvo-lv2-bench [--quick]\n");
        return 2;
    }
    try {
        const double seconds = quick ? 4.0 : 10.0;
        const int rounds = quick ? 3 : 9;
        const tarvo::bench::StereoSignal signal = tarvo::bench::makeBurstNoise(seconds);
        const std::vector<float> left(signal.left.begin(), signal.left.end());
        const std::vector<float> right(signal.right.begin(), signal.right.end());
        Host host;
        constexpr std::size_t count = std::size(kSetups);
        std::vector<std::vector<double>> nsPerFrame(count);
        for (int round = 0; round < rounds; ++round) {
            for (std::size_t k = 0; k < count; ++k) {
                const std::size_t s = (k + static_cast<std::size_t>(round)) % count;
                const std::int64_t ns = kSetups[s].uri ? host.run(kSetups[s], left, right)
                                                       : runVst(kSetups[s], signal);
                nsPerFrame[s].push_back(static_cast<double>(ns) / static_cast<double>(left.size()));
            }
        }
        std::printf("| Setup | median ns/frame | min | max | realtime factor | / Tarvo 1x |\n"
                    "|---|---|---|---|---|---|\n");
        double reference = 0.0;
        for (std::size_t s = 0; s < count; ++s) {
            std::vector<double> times = nsPerFrame[s];
            std::sort(times.begin(), times.end());
            const double median = times[times.size() / 2];
            if (s == 0) reference = median;
            std::printf("| %s | %.1f | %.1f | %.1f | %.0f | %.2f |\n", kSetups[s].label, median,
                        times.front(), times.back(), 1e9 / (median * kSampleRate), median / reference);
        }
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tarvo-lv2-bench: %s\n", e.what());
        return 1;
    }
}
