#pragma once

#include <lilv/lilv.h>
#include <lv2/urid/urid.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tarvo::lv2test {

/// A lilv world as a host builds it: LV2_PATH is the build's bundle folder
/// and the system's LV2 folder (for the specifications, units among them),
/// every bundle on it loaded, Tarvo looked up by URI with its presets.
class Lv2World {
public:
    Lv2World();
    ~Lv2World();
    Lv2World(const Lv2World&) = delete;
    Lv2World& operator=(const Lv2World&) = delete;

    LilvWorld* world() const { return world_; }
    /// Tarvo, or null when no bundle on the path holds it.
    const LilvPlugin* plugin() const { return plugin_; }
    /// A node for a full URI; freed with the world.
    const LilvNode* uri(const std::string& text);
    LV2_URID_Map* map() { return &map_; }
    /// The presets of Tarvo, loaded, in the order of their URIs' numbers.
    std::vector<const LilvNode*> presets();
    /// rdfs:label of a resource, or "" when it has none.
    std::string label(const LilvNode* resource);

private:
    static LV2_URID mapUri(LV2_URID_Map_Handle handle, const char* uri);

    LilvWorld* world_ = nullptr;
    const LilvPlugin* plugin_ = nullptr;
    void* library_ = nullptr;
    std::vector<LilvNode*> nodes_;
    std::vector<std::string> mapped_;
    LV2_URID_Map map_{this, &Lv2World::mapUri};
};

/// One Tarvo instance through lilv, with a value for every control port of
/// its own (connected at instantiation), set up like a host does: instantiate,
/// connect, activate.
class Lv2Instance {
public:
    /// features: the host features offered (null-terminated), or null.
    Lv2Instance(Lv2World& world, double sampleRate, const LV2_Feature* const* features = nullptr);
    ~Lv2Instance();
    Lv2Instance(const Lv2Instance&) = delete;
    Lv2Instance& operator=(const Lv2Instance&) = delete;

    /// The value a control port holds (input or output), by symbol.
    float& control(const char* symbol);
    /// Restores a preset through lilv's state API: its port values go into
    /// the instance's control values.
    void restorePreset(const LilvNode* preset);
    /// Connects a port to data (null disconnects).
    void connect(std::uint32_t port, void* data);
    /// Connects the audio ports to inputs (main and side-chain pair) and
    /// outputs, then runs frames frames.
    void run(float* const inputs[4], float* const outputs[2], std::uint32_t frames);
    void run(std::uint32_t frames);
    /// The plug-in's extension data for uri (null: none) and its handle.
    const void* extensionData(const char* uri) const;
    void* handle() const;

private:
    static void setPortValue(const char* symbol, void* self, const void* value, std::uint32_t size,
                             std::uint32_t type);

    Lv2World& world_;
    LilvInstance* instance_ = nullptr;
    std::vector<float> controls_;
};

}  // namespace tarvo::lv2test
