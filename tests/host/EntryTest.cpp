// The exported entry and the effect record, seen from a host: the library is
// loaded by path and reached only through VSTPluginMain/main and the record.

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "support/PluginUnderTest.h"

#if defined(_WIN32)
#include <malloc.h>
#include <windows.h>
#endif

namespace tarvo {
namespace {

using test::pluginLibrary;
using vsthost::HostAnswers;
using vsthost::RecordingHost;
using vsthost::VstInstance;

TEST(Entry, BothNamesAreExportedAndDesignateTheSameFunction) {
    void* entry = pluginLibrary().symbol("VSTPluginMain");
    void* legacy = pluginLibrary().symbol("main");
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(legacy, entry);
}

TEST(Entry, HostAnsweringVersionZeroGetsNoInstanceAndNoFurtherRequest) {
    HostAnswers answers;
    answers.version = 0;
    RecordingHost host(answers);
    EXPECT_EQ(host.instantiate(pluginLibrary().entry()), nullptr);

    const auto requests = host.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].effect, nullptr);
    EXPECT_EQ(requests[0].opcode, audioMasterVersion);
    EXPECT_EQ(requests[0].index, 0);
    EXPECT_EQ(requests[0].value, 0);
    EXPECT_EQ(requests[0].ptr, nullptr);
    EXPECT_EQ(requests[0].opt, 0.0f);
}

TEST(Entry, NoHostCallbackGetsNoInstance) {
    EXPECT_EQ(pluginLibrary().entry()(nullptr), nullptr);
}

TEST(Entry, AnyNonZeroVersionIsAcceptedAndOnlyTheVersionIsAsked) {
    for (VstIntPtr version : {VstIntPtr(1), VstIntPtr(2400), VstIntPtr(-1)}) {
        HostAnswers answers;
        answers.version = version;
        VstInstance instance(pluginLibrary(), answers);
        const auto requests = instance.host().requests();
        ASSERT_EQ(requests.size(), 1u) << "version " << version;
        EXPECT_EQ(requests[0].opcode, audioMasterVersion);
        EXPECT_EQ(requests[0].effect, nullptr);
    }
}

TEST(Record, FieldsAfterCreation) {
    VstInstance instance(pluginLibrary());
    const AEffect& effect = instance.effect();
    EXPECT_EQ(effect.magic, 0x56737450);
    EXPECT_EQ(effect.numPrograms, 16);
    EXPECT_EQ(effect.numParams, 22);
    EXPECT_EQ(effect.numInputs, 4);
    EXPECT_EQ(effect.numOutputs, 2);
    EXPECT_EQ(effect.flags, 0x1018);
    EXPECT_EQ(effect.resvd1, 0);
    EXPECT_EQ(effect.resvd2, 0);
    EXPECT_EQ(effect.initialDelay, 2);  // program 0 runs at factor 4 without the halfband stages
    EXPECT_EQ(effect.realQualities, 0);
    EXPECT_EQ(effect.offQualities, 0);
    EXPECT_EQ(effect.ioRatio, 1.0f);
    EXPECT_NE(effect.object, nullptr);
    EXPECT_EQ(effect.uniqueID, 0x54525632);
    EXPECT_EQ(effect.version, 1);
    EXPECT_NE(effect.dispatcher, nullptr);
    EXPECT_NE(effect.process, nullptr);
    EXPECT_NE(effect.setParameter, nullptr);
    EXPECT_NE(effect.getParameter, nullptr);
    EXPECT_NE(effect.processReplacing, nullptr);
    EXPECT_NE(effect.processDoubleReplacing, nullptr);
    const char zeros[sizeof effect.future] = {};
    EXPECT_EQ(std::memcmp(effect.future, zeros, sizeof zeros), 0);
}

TEST(Record, FlagsClaimReplacingDoubleAndMonoButNoEditorChunksSynthOrNoTail) {
    VstInstance instance(pluginLibrary());
    const VstInt32 flags = instance.effect().flags;
    EXPECT_TRUE(flags & effFlagsCanReplacing);
    EXPECT_TRUE(flags & effFlagsCanDoubleReplacing);
    EXPECT_TRUE(flags & effFlagsCanMono);
    EXPECT_FALSE(flags & effFlagsHasEditor);
    EXPECT_FALSE(flags & effFlagsProgramChunks);
    EXPECT_FALSE(flags & effFlagsIsSynth);
    EXPECT_FALSE(flags & effFlagsNoSoundInStop);
}

TEST(Record, CloseAnswersOneAndSendsNothing) {
    VstInstance instance(pluginLibrary());
    instance.host().clearRequests();
    EXPECT_EQ(instance.close(), 1);
    EXPECT_FALSE(instance.isOpen());
    EXPECT_TRUE(instance.host().requests().empty());
}

TEST(Record, CloseAfterAStartedSessionAnswersOne) {
    VstInstance instance(pluginLibrary());
    instance.start(48000.0f, 256);
    std::vector<float> left(256, 0.5f), right(256, 0.5f), outLeft(256), outRight(256);
    float* inputs[4] = {left.data(), right.data(), nullptr, nullptr};
    float* outputs[2] = {outLeft.data(), outRight.data()};
    instance.processReplacing(inputs, outputs, 256);
    instance.suspend();
    EXPECT_EQ(instance.close(), 1);
}

TEST(Record, SeveralInstancesLiveSideBySideAndCloseIndependently) {
    std::vector<std::unique_ptr<VstInstance>> instances;
    for (int i = 0; i < 4; ++i)
        instances.push_back(std::make_unique<VstInstance>(pluginLibrary()));
    for (std::size_t i = 0; i < instances.size(); ++i)
        for (std::size_t j = i + 1; j < instances.size(); ++j) {
            EXPECT_NE(&instances[i]->effect(), &instances[j]->effect());
            EXPECT_NE(instances[i]->effect().object, instances[j]->effect().object);
        }

    // A program change on one instance is not seen by the others.
    instances[1]->dispatch(effSetProgram, 0, 7);
    EXPECT_EQ(instances[1]->dispatch(effGetProgram), 7);
    EXPECT_EQ(instances[2]->dispatch(effGetProgram), 0);

    // Closing one leaves the others answering.
    EXPECT_EQ(instances[0]->close(), 1);
    EXPECT_EQ(instances[3]->close(), 1);
    EXPECT_EQ(instances[1]->effectName(), "Tarvo");
    EXPECT_EQ(instances[2]->dispatch(effGetVendorVersion), 301);
    EXPECT_EQ(instances[1]->dispatch(effGetProgram), 7);
}

#if defined(_WIN32)
/// Bytes in use in the C runtime's heap, which the DLL's allocations share.
long long runtimeHeapInUse() {
    _HEAPINFO entry{};
    long long used = 0;
    while (_heapwalk(&entry) == _HEAPOK)
        if (entry._useflag == _USEDENTRY) used += static_cast<long long>(entry._size);
    return used;
}

// A host scanning its plug-in folder loads and unloads the library many times
// in one process. The C++ runtime linked into the DLL allocates about 73 kB
// (its exception emergency pool) whenever the DLL is loaded and never frees
// it, so the DLL pins itself on its first load and later cycles reuse it.
// Runs in a process of its own (ctest: host_tests_load_cycles).
TEST(LoadCycles, LoadingAndUnloadingTheLibraryLeavesNoMemoryBehind) {
    const std::string path = test::pluginPath();
    if (GetModuleHandleA(path.c_str()))
        GTEST_SKIP() << "the library is loaded already in this process (run this test on its own)";
    auto cycle = [&] {
        vsthost::VstLibrary library(path);
        VstInstance instance(library);
    };
    for (int warm = 0; warm < 2; ++warm) cycle();  // the loader's own first-time allocations
    const long long before = runtimeHeapInUse();
    for (int n = 0; n < 20; ++n) cycle();
    const long long kept = runtimeHeapInUse() - before;
    EXPECT_LT(kept, 20 * 1024) << kept << " bytes kept after 20 load-unload cycles";
}
#endif

}  // namespace
}  // namespace tarvo
