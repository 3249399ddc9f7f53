#pragma once
// Tarvo's own declarations of the VST 2.4 binary interface: the effect
// record, the entry and callback function types, the opcodes in both
// directions, the record flags and the few structures whose layout the
// plug-in or a host touches. Structures that only travel by pointer are
// declared incomplete.

#include <cstddef>
#include <cstdint>

// Calls between host and plug-in use the C calling convention; on 32-bit
// Windows that has to be spelled out, everywhere else it is the default.
#if defined(_WIN32) && !defined(_WIN64)
#define VSTCALLBACK __cdecl
#else
#define VSTCALLBACK
#endif

namespace tarvo {

using VstInt16 = std::int16_t;
using VstInt32 = std::int32_t;
using VstIntPtr = std::intptr_t;  ///< pointer-sized integer (value argument, results)

struct AEffect;

/// The host callback: (effect or none, opcode, index, value, pointer, float).
using audioMasterCallback = VstIntPtr(VSTCALLBACK*)(AEffect* effect, VstInt32 opcode,
                                                    VstInt32 index, VstIntPtr value,
                                                    void* ptr, float opt);
using AEffectDispatcherProc = VstIntPtr(VSTCALLBACK*)(AEffect* effect, VstInt32 opcode,
                                                      VstInt32 index, VstIntPtr value,
                                                      void* ptr, float opt);
using AEffectProcessProc = void(VSTCALLBACK*)(AEffect* effect, float** inputs,
                                              float** outputs, VstInt32 sampleFrames);
using AEffectProcessDoubleProc = void(VSTCALLBACK*)(AEffect* effect, double** inputs,
                                                    double** outputs, VstInt32 sampleFrames);
using AEffectSetParameterProc = void(VSTCALLBACK*)(AEffect* effect, VstInt32 index,
                                                   float parameter);
using AEffectGetParameterProc = float(VSTCALLBACK*)(AEffect* effect, VstInt32 index);

/// The exported entry (`VSTPluginMain`, also `main`): returns a new
/// instance's record, or none.
using PluginEntryProc = AEffect*(VSTCALLBACK*)(audioMasterCallback audioMaster);

/// Four characters packed high byte first, as the record's identifiers are.
constexpr VstInt32 fourCharCode(char a, char b, char c, char d) {
    return static_cast<VstInt32>((static_cast<std::uint32_t>(static_cast<unsigned char>(a)) << 24) |
                                 (static_cast<std::uint32_t>(static_cast<unsigned char>(b)) << 16) |
                                 (static_cast<std::uint32_t>(static_cast<unsigned char>(c)) << 8) |
                                 static_cast<std::uint32_t>(static_cast<unsigned char>(d)));
}

constexpr VstInt32 kEffectMagic = fourCharCode('V', 's', 't', 'P');  // 0x56737450
constexpr VstInt32 kVstVersion = 2400;

/// The effect record, laid out as VST 2.4 publishes it. Integer fields are
/// 32 bits wide; `resvd1`, `resvd2` and the pointers are pointer-sized.
struct AEffect {
    VstInt32 magic;
    AEffectDispatcherProc dispatcher;
    AEffectProcessProc process;  ///< accumulating processing of older hosts
    AEffectSetParameterProc setParameter;
    AEffectGetParameterProc getParameter;
    VstInt32 numPrograms;
    VstInt32 numParams;
    VstInt32 numInputs;
    VstInt32 numOutputs;
    VstInt32 flags;
    VstIntPtr resvd1;
    VstIntPtr resvd2;
    VstInt32 initialDelay;  ///< latency in samples
    VstInt32 realQualities;
    VstInt32 offQualities;
    float ioRatio;
    void* object;  ///< the plug-in instance that owns this record
    void* user;    ///< free for the host
    VstInt32 uniqueID;
    VstInt32 version;
    AEffectProcessProc processReplacing;
    AEffectProcessDoubleProc processDoubleReplacing;
    char future[56];
};

// The layout is the binary contract with every host: pin it for the 32-bit
// and the 64-bit builds alike (Windows and Linux agree, the record holds no
// double).
#define TARVO_AEFFECT_OFFSET(field, at32, at64) \
    static_assert(offsetof(AEffect, field) == (sizeof(void*) == 4 ? (at32) : (at64)), \
                  "AEffect::" #field " is not where hosts look for it")
TARVO_AEFFECT_OFFSET(magic, 0, 0);
TARVO_AEFFECT_OFFSET(dispatcher, 4, 8);
TARVO_AEFFECT_OFFSET(process, 8, 16);
TARVO_AEFFECT_OFFSET(setParameter, 12, 24);
TARVO_AEFFECT_OFFSET(getParameter, 16, 32);
TARVO_AEFFECT_OFFSET(numPrograms, 20, 40);
TARVO_AEFFECT_OFFSET(numParams, 24, 44);
TARVO_AEFFECT_OFFSET(numInputs, 28, 48);
TARVO_AEFFECT_OFFSET(numOutputs, 32, 52);
TARVO_AEFFECT_OFFSET(flags, 36, 56);
TARVO_AEFFECT_OFFSET(resvd1, 40, 64);
TARVO_AEFFECT_OFFSET(resvd2, 44, 72);
TARVO_AEFFECT_OFFSET(initialDelay, 48, 80);
TARVO_AEFFECT_OFFSET(realQualities, 52, 84);
TARVO_AEFFECT_OFFSET(offQualities, 56, 88);
TARVO_AEFFECT_OFFSET(ioRatio, 60, 92);
TARVO_AEFFECT_OFFSET(object, 64, 96);
TARVO_AEFFECT_OFFSET(user, 68, 104);
TARVO_AEFFECT_OFFSET(uniqueID, 72, 112);
TARVO_AEFFECT_OFFSET(version, 76, 116);
TARVO_AEFFECT_OFFSET(processReplacing, 80, 120);
TARVO_AEFFECT_OFFSET(processDoubleReplacing, 84, 128);
TARVO_AEFFECT_OFFSET(future, 88, 136);
#undef TARVO_AEFFECT_OFFSET
static_assert(sizeof(void*) == 4 || sizeof(void*) == 8, "32-bit or 64-bit targets only");
static_assert(sizeof(AEffect) == (sizeof(void*) == 4 ? 144 : 192), "AEffect size");

/// Bits of AEffect::flags.
enum VstAEffectFlags : VstInt32 {
    effFlagsHasEditor = 1 << 0,
    effFlagsHasClip = 1 << 1,
    effFlagsHasVu = 1 << 2,
    effFlagsCanMono = 1 << 3,
    effFlagsCanReplacing = 1 << 4,
    effFlagsProgramChunks = 1 << 5,
    effFlagsIsSynth = 1 << 8,
    effFlagsNoSoundInStop = 1 << 9,
    effFlagsExtIsAsync = 1 << 10,
    effFlagsExtHasBuffer = 1 << 11,
    effFlagsCanDoubleReplacing = 1 << 12,
};

/// Host-to-plug-in opcodes of the dispatcher, base level (0 to 24).
enum AEffectOpcodes : VstInt32 {
    effOpen = 0,
    effClose,
    effSetProgram,
    effGetProgram,
    effSetProgramName,
    effGetProgramName,
    effGetParamLabel,
    effGetParamDisplay,
    effGetParamName,
    effGetVu,
    effSetSampleRate,
    effSetBlockSize,
    effMainsChanged,
    effEditGetRect,
    effEditOpen,
    effEditClose,
    effEditDraw,
    effEditMouse,
    effEditKey,
    effEditIdle,
    effEditTop,
    effEditSleep,
    effIdentify,
    effGetChunk,
    effSetChunk,
    effNumOpcodes  // 25, where the extended level starts
};

/// Host-to-plug-in opcodes of the dispatcher, extended level (25 to 79).
enum AEffectXOpcodes : VstInt32 {
    effProcessEvents = effNumOpcodes,
    effCanBeAutomated,
    effString2Parameter,
    effGetNumProgramCategories,
    effGetProgramNameIndexed,
    effCopyProgram,
    effConnectInput,
    effConnectOutput,
    effGetInputProperties,
    effGetOutputProperties,
    effGetPlugCategory,
    effGetCurrentPosition,
    effGetDestinationBuffer,
    effOfflineNotify,
    effOfflinePrepare,
    effOfflineRun,
    effProcessVarIo,
    effSetSpeakerArrangement,
    effSetBlockSizeAndSampleRate,
    effSetBypass,
    effGetEffectName,
    effGetErrorText,
    effGetVendorString,
    effGetProductString,
    effGetVendorVersion,
    effVendorSpecific,
    effCanDo,
    effGetTailSize,
    effIdle,
    effGetIcon,
    effSetViewPosition,
    effGetParameterProperties,
    effKeysRequired,
    effGetVstVersion,
    effEditKeyDown,
    effEditKeyUp,
    effSetEditKnobMode,
    effGetMidiProgramName,
    effGetCurrentMidiProgram,
    effGetMidiProgramCategory,
    effHasMidiProgramsChanged,
    effGetMidiKeyName,
    effBeginSetProgram,
    effEndSetProgram,
    effGetSpeakerArrangement,
    effShellGetNextPlugin,
    effStartProcess,
    effStopProcess,
    effSetTotalSampleToProcess,
    effSetPanLaw,
    effBeginLoadBank,
    effBeginLoadProgram,
    effSetProcessPrecision,
    effGetNumMidiInputChannels,
    effGetNumMidiOutputChannels,
    effNumXOpcodes  // 80: every opcode from here on is unknown
};
static_assert(effGetEffectName == 45 && effGetVstVersion == 58 && effGetNumMidiOutputChannels == 79,
              "extended opcode numbering");

/// Plug-in-to-host requests through audioMasterCallback. 5, 8, 9, 36 and 47
/// exist in VST 2.4 but are never sent by this plug-in.
enum AudioMasterOpcodes : VstInt32 {
    audioMasterAutomate = 0,
    audioMasterVersion = 1,
    audioMasterCurrentId = 2,
    audioMasterIdle = 3,
    audioMasterPinConnected = 4,
    audioMasterWantMidi = 6,
    audioMasterGetTime = 7,
    audioMasterTempoAt = 10,
    audioMasterGetNumAutomatableParameters = 11,
    audioMasterGetParameterQuantization = 12,
    audioMasterIOChanged = 13,
    audioMasterNeedIdle = 14,
    audioMasterSizeWindow = 15,
    audioMasterGetSampleRate = 16,
    audioMasterGetBlockSize = 17,
    audioMasterGetInputLatency = 18,
    audioMasterGetOutputLatency = 19,
    audioMasterGetPreviousPlug = 20,
    audioMasterGetNextPlug = 21,
    audioMasterWillReplaceOrAccumulate = 22,
    audioMasterGetCurrentProcessLevel = 23,
    audioMasterGetAutomationState = 24,
    audioMasterOfflineStart = 25,
    audioMasterOfflineRead = 26,
    audioMasterOfflineWrite = 27,
    audioMasterOfflineGetCurrentPass = 28,
    audioMasterOfflineGetCurrentMetaPass = 29,
    audioMasterSetOutputSampleRate = 30,
    audioMasterGetOutputSpeakerArrangement = 31,
    audioMasterGetVendorString = 32,
    audioMasterGetProductString = 33,
    audioMasterGetVendorVersion = 34,
    audioMasterVendorSpecific = 35,
    audioMasterCanDo = 37,
    audioMasterGetLanguage = 38,
    audioMasterOpenWindow = 39,
    audioMasterCloseWindow = 40,
    audioMasterGetDirectory = 41,
    audioMasterUpdateDisplay = 42,
    audioMasterBeginEdit = 43,
    audioMasterEndEdit = 44,
    audioMasterOpenFileSelector = 45,
    audioMasterCloseFileSelector = 46,
    audioMasterGetChunkFile = 48,
    audioMasterGetInputSpeakerArrangement = 49,
};

/// Answers to audioMasterGetCurrentProcessLevel.
enum VstProcessLevels : VstInt32 {
    kVstProcessLevelUnknown = 0,
    kVstProcessLevelUser = 1,
    kVstProcessLevelRealtime = 2,
    kVstProcessLevelPrefetch = 3,
    kVstProcessLevelOffline = 4,
};

/// Answers to effGetPlugCategory (the first few of VST 2.4's list).
enum VstPlugCategory : VstInt32 {
    kPlugCategUnknown = 0,
    kPlugCategEffect = 1,
    kPlugCategSynth = 2,
};

/// Text bounds in characters, without the terminator.
enum VstStringLengths : VstInt32 {
    kVstMaxProgNameLen = 24,
    kVstMaxParamStrLen = 8,
    kVstMaxVendorStrLen = 64,
    kVstMaxProductStrLen = 64,
    kVstMaxEffectNameLen = 32,
};

/// Values of effSetProcessPrecision.
enum VstProcessPrecision : VstInt32 {
    kVstProcessPrecision32 = 0,
    kVstProcessPrecision64 = 1,
};

/// A key press forwarded to an editor (effEditKeyDown, effEditKeyUp).
struct VstKeyCode {
    VstInt32 character;
    unsigned char virt;
    unsigned char modifier;
};

/// One loudspeaker of an arrangement.
struct VstSpeakerProperties {
    float azimuth;
    float elevation;
    float radius;
    float reserved;
    char name[64];
    VstInt32 type;
    char future[28];
};
static_assert(sizeof(VstSpeakerProperties) == 112, "VstSpeakerProperties size");

/// A speaker arrangement. Allocated with room for `numChannels` speakers,
/// which may be more than the eight declared here.
struct VstSpeakerArrangement {
    VstInt32 type;
    VstInt32 numChannels;
    VstSpeakerProperties speakers[8];
};
static_assert(offsetof(VstSpeakerArrangement, speakers) == 8, "VstSpeakerArrangement layout");
static_assert(sizeof(VstSpeakerArrangement) == 8 + 8 * 112, "VstSpeakerArrangement size");

/// The host's transport and timing (audioMasterGetTime). The doubles come
/// first, so the layout is the same under every 32-bit and 64-bit ABI.
struct VstTimeInfo {
    double samplePos;
    double sampleRate;
    double nanoSeconds;
    double ppqPos;
    double tempo;
    double barStartPos;
    double cycleStartPos;
    double cycleEndPos;
    VstInt32 timeSigNumerator;
    VstInt32 timeSigDenominator;
    VstInt32 smpteOffset;
    VstInt32 smpteFrameRate;
    VstInt32 samplesToNextClock;
    VstInt32 flags;
};
static_assert(offsetof(VstTimeInfo, timeSigNumerator) == 64, "VstTimeInfo layout");
static_assert(sizeof(VstTimeInfo) == 88, "VstTimeInfo size");

// Structures that only pass through by pointer.
struct ERect;
struct VstEvents;
struct VstParameterProperties;
struct VstPinProperties;
struct MidiProgramName;
struct MidiProgramCategory;
struct MidiKeyName;
struct VstVariableIo;
struct VstAudioFile;
struct VstOfflineTask;
struct VstPatchChunkInfo;
struct VstFileSelect;
struct VstWindow;

}  // namespace tarvo
