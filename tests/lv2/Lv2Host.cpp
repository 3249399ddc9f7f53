#include "lv2/Lv2Host.h"

#include <gtest/gtest.h>
#include <lv2/atom/atom.h>
#include <lv2/presets/presets.h>

#include <dlfcn.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "lv2/Lv2Ports.h"

namespace tarvo::lv2test {

Lv2World::Lv2World() {
    world_ = lilv_world_new();
    // As a user points a host at the build: the bundle folder first, then
    // the system's bundles for the LV2 specifications; no user folders.
    LilvNode* path = lilv_new_string(world_, TARVO_LV2_PATH ":/usr/lib/lv2");
    lilv_world_set_option(world_, LILV_OPTION_LV2_PATH, path);
    lilv_node_free(path);
    lilv_world_load_all(world_);
    plugin_ = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world_), uri(lv2::kPluginUri));
    // lilv unloads the library with its last instance. Held here, it stays
    // loaded like the VST library, so process-wide state (the count that
    // seeds the noise generators) runs on as it does in the VST library.
    if (plugin_ != nullptr) {
        char* path = lilv_file_uri_parse(lilv_node_as_uri(lilv_plugin_get_library_uri(plugin_)), nullptr);
        library_ = dlopen(path, RTLD_NOW | RTLD_LOCAL);
        lilv_free(path);
    }
}

Lv2World::~Lv2World() {
    for (LilvNode* node : nodes_) lilv_node_free(node);
    lilv_world_free(world_);
    if (library_ != nullptr) dlclose(library_);
}

const LilvNode* Lv2World::uri(const std::string& text) {
    nodes_.push_back(lilv_new_uri(world_, text.c_str()));
    return nodes_.back();
}

std::vector<const LilvNode*> Lv2World::presets() {
    LilvNodes* related = lilv_plugin_get_related(plugin_, uri(LV2_PRESETS__Preset));
    std::vector<const LilvNode*> found;
    LILV_FOREACH (nodes, i, related) {
        const LilvNode* preset = lilv_nodes_get(related, i);
        lilv_world_load_resource(world_, preset);
        found.push_back(uri(lilv_node_as_uri(preset)));
    }
    lilv_nodes_free(related);
    const std::size_t prefix = std::strlen(lv2::kPresetUriPrefix);
    auto number = [prefix](const LilvNode* node) {
        return std::atoi(lilv_node_as_uri(node) + prefix);
    };
    std::sort(found.begin(), found.end(),
              [&](const LilvNode* a, const LilvNode* b) { return number(a) < number(b); });
    return found;
}

std::string Lv2World::label(const LilvNode* resource) {
    LilvNode* text = lilv_world_get(world_, resource, uri(LILV_NS_RDFS "label"), nullptr);
    const std::string result = text ? lilv_node_as_string(text) : "";
    lilv_node_free(text);
    return result;
}

LV2_URID Lv2World::mapUri(LV2_URID_Map_Handle handle, const char* uri) {
    auto& mapped = static_cast<Lv2World*>(handle)->mapped_;
    const auto found = std::find(mapped.begin(), mapped.end(), uri);
    if (found != mapped.end()) return static_cast<LV2_URID>(found - mapped.begin()) + 1;
    mapped.emplace_back(uri);
    return static_cast<LV2_URID>(mapped.size());
}

Lv2Instance::Lv2Instance(Lv2World& world, double sampleRate, const LV2_Feature* const* features)
    : world_(world), controls_(lilv_plugin_get_num_ports(world.plugin()), 0.0f) {
    instance_ = lilv_plugin_instantiate(world.plugin(), sampleRate, features);
    if (instance_ == nullptr) throw std::runtime_error("lilv_plugin_instantiate failed");
    // Control ports start at their defaults, as hosts set them.
    std::vector<float> defaults(controls_.size());
    lilv_plugin_get_port_ranges_float(world.plugin(), nullptr, nullptr, defaults.data());
    const LilvNode* controlPort = world.uri(LV2_CORE__ControlPort);
    for (std::uint32_t i = 0; i < controls_.size(); ++i) {
        const LilvPort* port = lilv_plugin_get_port_by_index(world.plugin(), i);
        if (!lilv_port_is_a(world.plugin(), port, controlPort)) continue;
        controls_[i] = defaults[i];
        lilv_instance_connect_port(instance_, i, &controls_[i]);
    }
    lilv_instance_activate(instance_);
}

Lv2Instance::~Lv2Instance() {
    lilv_instance_deactivate(instance_);
    lilv_instance_free(instance_);
}

float& Lv2Instance::control(const char* symbol) {
    LilvNode* name = lilv_new_string(world_.world(), symbol);
    const LilvPort* port = lilv_plugin_get_port_by_symbol(world_.plugin(), name);
    lilv_node_free(name);
    if (port == nullptr) throw std::runtime_error(std::string("no port ") + symbol);
    return controls_[lilv_port_get_index(world_.plugin(), port)];
}

void Lv2Instance::setPortValue(const char* symbol, void* self, const void* value,
                               std::uint32_t size, std::uint32_t type) {
    auto& instance = *static_cast<Lv2Instance*>(self);
    // Called from lilv's C code: failures are recorded, never thrown.
    LV2_URID_Map& map = *instance.world_.map();
    if (type != map.map(map.handle, LV2_ATOM__Float) || size != sizeof(float)) {
        ADD_FAILURE() << "the preset's value of " << symbol << " is not a float";
        return;
    }
    try {
        std::memcpy(&instance.control(symbol), value, sizeof(float));
    } catch (const std::exception& e) {
        ADD_FAILURE() << e.what();
    }
}

void Lv2Instance::restorePreset(const LilvNode* preset) {
    LilvState* state = lilv_state_new_from_world(world_.world(), world_.map(), preset);
    if (state == nullptr) throw std::runtime_error("no state for the preset");
    lilv_state_restore(state, instance_, &Lv2Instance::setPortValue, this, 0, nullptr);
    lilv_state_free(state);
}

void Lv2Instance::connect(std::uint32_t port, void* data) {
    lilv_instance_connect_port(instance_, port, data);
}

void Lv2Instance::run(float* const inputs[4], float* const outputs[2], std::uint32_t frames) {
    connect(lv2::inLeft, inputs[0]);
    connect(lv2::inRight, inputs[1]);
    connect(lv2::sideChainLeft, inputs[2]);
    connect(lv2::sideChainRight, inputs[3]);
    connect(lv2::outLeft, outputs[0]);
    connect(lv2::outRight, outputs[1]);
    run(frames);
}

void Lv2Instance::run(std::uint32_t frames) { lilv_instance_run(instance_, frames); }

const void* Lv2Instance::extensionData(const char* uri) const {
    return lilv_instance_get_extension_data(instance_, uri);
}

void* Lv2Instance::handle() const { return lilv_instance_get_handle(instance_); }

}  // namespace tarvo::lv2test
