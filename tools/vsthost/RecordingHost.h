#pragma once

#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "host/Vst2.h"

namespace tarvo::vsthost {

/// One request a plug-in sent to its host, with all five arguments.
struct HostRequest {
    const AEffect* effect;  ///< none for the entry's version query
    VstInt32 opcode;
    VstInt32 index;
    VstIntPtr value;
    void* ptr;
    float opt;
};

/// What the host answers. Requests not covered here answer 0, unless
/// `handler` claims them first.
struct HostAnswers {
    VstIntPtr version = kVstVersion;                      ///< audioMasterVersion
    VstInt32 processLevel = kVstProcessLevelRealtime;     ///< audioMasterGetCurrentProcessLevel
    float sampleRate = 44100.0f;                          ///< audioMasterGetSampleRate
    VstInt32 blockSize = 512;                             ///< audioMasterGetBlockSize
    std::string vendor = "Tarvo";                         ///< audioMasterGetVendorString
    std::string product = "vsthost";                      ///< audioMasterGetProductString
    VstInt32 vendorVersion = 1;                           ///< audioMasterGetVendorVersion
    VstTimeInfo* timeInfo = nullptr;                      ///< audioMasterGetTime
    std::vector<std::string> canDo;                       ///< audioMasterCanDo answers 1 for these
    /// Consulted first for every request: return true and set `answer` to
    /// take the request over.
    std::function<bool(const HostRequest& request, VstIntPtr& answer)> handler;
};

/// A VST 2.4 host callback that records every request and answers from a
/// configurable table. One RecordingHost may serve several instances: it
/// marks each record it created in the record's `user` field, which is the
/// host's to use, and requests reach it through that mark (or, while the
/// entry runs, through the creating thread).
///
/// Recording is guarded by a mutex, so a processing thread and a control
/// thread may both send requests. Change `answers()` only while the plug-in
/// is not running on another thread.
class RecordingHost {
public:
    explicit RecordingHost(HostAnswers answers = {});
    RecordingHost(const RecordingHost&) = delete;
    RecordingHost& operator=(const RecordingHost&) = delete;

    HostAnswers& answers() { return answers_; }

    /// Calls a plug-in's entry with this host's callback and returns the
    /// new record, or none when the plug-in refuses.
    AEffect* instantiate(PluginEntryProc entry);

    /// The callback function handed to plug-ins. Requests from records this
    /// host did not create answer 0 and are not recorded.
    static VstIntPtr VSTCALLBACK callback(AEffect* effect, VstInt32 opcode, VstInt32 index,
                                          VstIntPtr value, void* ptr, float opt);

    /// Every recorded request, oldest first.
    std::vector<HostRequest> requests() const;
    /// The recorded requests with one opcode, oldest first.
    std::vector<HostRequest> requests(VstInt32 opcode) const;
    std::size_t count(VstInt32 opcode) const;
    void clearRequests();
    /// Long renders may switch recording off; answers go on.
    void setRecording(bool on);

private:
    VstIntPtr answer(const HostRequest& request);

    HostAnswers answers_;
    mutable std::mutex mutex_;
    std::vector<HostRequest> requests_;
    bool recording_ = true;
};

}  // namespace tarvo::vsthost
