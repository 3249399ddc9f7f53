#include "vsthost/RecordingHost.h"

#include <algorithm>
#include <cstring>

namespace tarvo::vsthost {

namespace {

/// The host whose entry call is running on this thread: requests sent
/// before the record exists (the version query) or before the entry
/// returned reach it this way.
thread_local RecordingHost* creatingHost = nullptr;

/// Host strings go into the plug-in's buffer of at least 64 characters
/// plus the terminator (kVstMaxVendorStrLen, kVstMaxProductStrLen).
VstIntPtr writeHostString(void* buffer, const std::string& text) {
    if (!buffer) return 0;
    const std::size_t count = std::min<std::size_t>(text.size(), kVstMaxVendorStrLen);
    std::memcpy(buffer, text.data(), count);
    static_cast<char*>(buffer)[count] = 0;
    return 1;
}

}  // namespace

RecordingHost::RecordingHost(HostAnswers answers) : answers_(std::move(answers)) {}

AEffect* RecordingHost::instantiate(PluginEntryProc entry) {
    RecordingHost* const outer = creatingHost;
    creatingHost = this;
    AEffect* effect = entry(callback);
    creatingHost = outer;
    if (effect) effect->user = this;
    return effect;
}

VstIntPtr RecordingHost::callback(AEffect* effect, VstInt32 opcode, VstInt32 index,
                                  VstIntPtr value, void* ptr, float opt) {
    RecordingHost* host = effect && effect->user ? static_cast<RecordingHost*>(effect->user)
                                                 : creatingHost;
    if (!host) return 0;
    return host->answer(HostRequest{effect, opcode, index, value, ptr, opt});
}

VstIntPtr RecordingHost::answer(const HostRequest& request) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (recording_) requests_.push_back(request);
    }
    VstIntPtr claimed = 0;
    if (answers_.handler && answers_.handler(request, claimed)) return claimed;

    switch (request.opcode) {
        case audioMasterVersion:
            return answers_.version;
        case audioMasterGetCurrentProcessLevel:
            return answers_.processLevel;
        case audioMasterGetSampleRate:
            return static_cast<VstIntPtr>(answers_.sampleRate);
        case audioMasterGetBlockSize:
            return answers_.blockSize;
        case audioMasterGetVendorString:
            return writeHostString(request.ptr, answers_.vendor);
        case audioMasterGetProductString:
            return writeHostString(request.ptr, answers_.product);
        case audioMasterGetVendorVersion:
            return answers_.vendorVersion;
        case audioMasterGetTime:
            return reinterpret_cast<VstIntPtr>(answers_.timeInfo);
        case audioMasterCanDo: {
            const char* text = static_cast<const char*>(request.ptr);
            if (!text) return 0;
            const auto& known = answers_.canDo;
            return std::find(known.begin(), known.end(), text) != known.end() ? 1 : 0;
        }
        default:
            return 0;
    }
}

std::vector<HostRequest> RecordingHost::requests() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

std::vector<HostRequest> RecordingHost::requests(VstInt32 opcode) const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<HostRequest> matching;
    for (const HostRequest& request : requests_)
        if (request.opcode == opcode) matching.push_back(request);
    return matching;
}

std::size_t RecordingHost::count(VstInt32 opcode) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<std::size_t>(
        std::count_if(requests_.begin(), requests_.end(),
                      [opcode](const HostRequest& request) { return request.opcode == opcode; }));
}

void RecordingHost::clearRequests() {
    std::lock_guard<std::mutex> lock(mutex_);
    requests_.clear();
}

void RecordingHost::setRecording(bool on) {
    std::lock_guard<std::mutex> lock(mutex_);
    recording_ = on;
}

}  // namespace tarvo::vsthost
