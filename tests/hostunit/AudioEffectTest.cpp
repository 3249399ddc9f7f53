// The base classes' own state and operations: the record as the base
// construction leaves it, flag setters, record setters, text formatting and
// the speaker-arrangement helpers.

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

#include "host/Plugin.h"
#include "hostunit/ProbeEffect.h"

namespace tarvo {
namespace {

using test::ProbeEffect;

TEST(AudioEffect, RecordAfterTheBaseConstruction) {
    ProbeEffect effect(nullptr, 5, 9);
    const AEffect& record = *effect.getAeffect();
    EXPECT_EQ(record.magic, fourCharCode('V', 's', 't', 'P'));
    EXPECT_EQ(record.numPrograms, 5);
    EXPECT_EQ(record.numParams, 9);
    EXPECT_EQ(record.numInputs, 1);
    EXPECT_EQ(record.numOutputs, 2);
    EXPECT_EQ(record.flags, effFlagsCanReplacing);
    EXPECT_EQ(record.initialDelay, 0);
    EXPECT_EQ(record.ioRatio, 1.0f);
    EXPECT_EQ(record.object, static_cast<AudioEffect*>(&effect));
    EXPECT_EQ(record.user, nullptr);
    EXPECT_EQ(record.uniqueID, 0x4E6F4566);
    EXPECT_EQ(record.version, 1);
    const char zeros[sizeof record.future] = {};
    EXPECT_EQ(std::memcmp(record.future, zeros, sizeof zeros), 0);

    EXPECT_EQ(effect.getSampleRate(), 44100.0f);
    EXPECT_EQ(effect.getBlockSize(), 1024);
    EXPECT_EQ(effect.getProgram(), 0);
    EXPECT_EQ(effect.getEditor(), nullptr);
}

TEST(AudioEffect, PluginOverwritesItsOwnFieldsOnly) {
    plugin instance(nullptr);
    const AEffect& record = *instance.getAeffect();
    EXPECT_EQ(record.object, static_cast<AudioEffect*>(&instance));
    EXPECT_EQ(record.numInputs, 4);
    EXPECT_EQ(record.numOutputs, 2);
    EXPECT_EQ(record.flags, 0x1018);
    EXPECT_EQ(record.uniqueID, 0x54525632);
    EXPECT_EQ(record.initialDelay, 2);
    EXPECT_EQ(record.numPrograms, 16);
    EXPECT_EQ(record.numParams, 22);
    EXPECT_EQ(record.version, 1);
    EXPECT_EQ(record.ioRatio, 1.0f);
}

struct FlagSetter {
    const char* name;
    VstInt32 bit;
    std::function<void(AudioEffectX&, bool)> set;
};

TEST(AudioEffect, FlagSettersSetAndClearTheirBitOnly) {
    const FlagSetter setters[] = {
        {"canProcessReplacing", 0x10, [](AudioEffectX& e, bool s) { e.canProcessReplacing(s); }},
        {"canDoubleReplacing", 0x1000, [](AudioEffectX& e, bool s) { e.canDoubleReplacing(s); }},
        {"programsAreChunks", 0x20, [](AudioEffectX& e, bool s) { e.programsAreChunks(s); }},
        {"hasVu", 0x4, [](AudioEffectX& e, bool s) { e.hasVu(s); }},
        {"hasClip", 0x2, [](AudioEffectX& e, bool s) { e.hasClip(s); }},
        {"canMono", 0x8, [](AudioEffectX& e, bool s) { e.canMono(s); }},
        {"isSynth", 0x100, [](AudioEffectX& e, bool s) { e.isSynth(s); }},
        {"noTail", 0x200, [](AudioEffectX& e, bool s) { e.noTail(s); }},
        {"wantAsyncOperation", 0x400, [](AudioEffectX& e, bool s) { e.wantAsyncOperation(s); }},
        {"hasExternalBuffer", 0x800, [](AudioEffectX& e, bool s) { e.hasExternalBuffer(s); }},
    };
    for (const FlagSetter& setter : setters) {
        ProbeEffect effect;
        AEffect& record = *effect.getAeffect();
        record.flags = 0x5A5A & ~setter.bit;
        setter.set(effect, true);
        EXPECT_EQ(record.flags, (0x5A5A & ~setter.bit) | setter.bit) << setter.name;
        setter.set(effect, false);
        EXPECT_EQ(record.flags, 0x5A5A & ~setter.bit) << setter.name;
    }
}

TEST(AudioEffect, RecordSettersStoreTheirField) {
    ProbeEffect effect;
    const AEffect& record = *effect.getAeffect();
    effect.setUniqueID(fourCharCode('a', 'b', 'c', 'd'));
    effect.setNumInputs(6);
    effect.setNumOutputs(3);
    effect.setInitialDelay(172);
    effect.setRealtimeQualities(2);
    effect.setOfflineQualities(7);
    EXPECT_EQ(record.uniqueID, 0x61626364);
    EXPECT_EQ(record.numInputs, 6);
    EXPECT_EQ(record.numOutputs, 3);
    EXPECT_EQ(record.initialDelay, 172);
    EXPECT_EQ(record.realQualities, 2);
    EXPECT_EQ(record.offQualities, 7);

    effect.setBlockSizeAndSampleRate(64, 96000.0f);
    EXPECT_EQ(effect.getBlockSize(), 64);
    EXPECT_EQ(effect.getSampleRate(), 96000.0f);
}

TEST(AudioEffect, DefaultTextOperationsWriteEmptyTexts) {
    ProbeEffect effect;  // called qualified: the base defaults, not the probe's
    char text[16];
    std::memset(text, 'x', sizeof text);
    effect.AudioEffectX::getProgramName(text);
    EXPECT_EQ(text[0], 0);
    std::memset(text, 'x', sizeof text);
    effect.AudioEffectX::getParameterName(0, text);
    EXPECT_EQ(text[0], 0);
    std::memset(text, 'x', sizeof text);
    effect.AudioEffectX::getParameterDisplay(0, text);
    EXPECT_EQ(text[0], 0);
    std::memset(text, 'x', sizeof text);
    effect.AudioEffectX::getParameterLabel(0, text);
    EXPECT_EQ(text[0], 0);
    EXPECT_EQ(text[1], 'x');
}

TEST(AudioEffect, CopyTextCutsPadsAndTerminates) {
    char text[12];
    std::memset(text, 'x', sizeof text);
    AudioEffect::copyText(text, "Tarvo", 8);
    EXPECT_STREQ(text, "Tarvo");
    for (int i = 5; i <= 8; ++i) EXPECT_EQ(text[i], 0) << i;
    EXPECT_EQ(text[9], 'x');

    std::memset(text, 'x', sizeof text);
    AudioEffect::copyText(text, "Compressor", 8);
    EXPECT_STREQ(text, "Compress");
    EXPECT_EQ(text[9], 'x');

    std::memset(text, 'x', sizeof text);
    AudioEffect::copyText(text, nullptr, 3);
    EXPECT_EQ(std::string(text, 4), std::string(4, '\0'));
    AudioEffect::copyText(nullptr, "ignored", 3);  // nothing to write into
}

TEST(AudioEffect, FormattingOperations) {
    ProbeEffect effect;
    char text[32];
    effect.dB2string(0.0f, text, 8);
    EXPECT_STREQ(text, "-oo");
    effect.dB2string(-2.0f, text, 8);
    EXPECT_STREQ(text, "-oo");
    effect.dB2string(1.0f, text, 8);
    EXPECT_STREQ(text, "0.00");
    effect.dB2string(10.0f, text, 8);
    EXPECT_STREQ(text, "20.00");
    effect.dB2string(0.5f, text, 8);
    EXPECT_STREQ(text, "-6.02");

    effect.Hz2string(100.0f, text, 8);  // 44100 / 100 samples
    EXPECT_STREQ(text, "441.00");
    effect.ms2string(441.0f, text, 8);  // 441 samples at 44100 Hz
    EXPECT_STREQ(text, "10.00");
    effect.float2string(-0.376f, text, 8);
    EXPECT_STREQ(text, "-0.38");
    effect.int2string(-42, text, 8);
    EXPECT_STREQ(text, "-42");

    // Texts are cut to the given length.
    effect.int2string(123456789, text, 4);
    EXPECT_STREQ(text, "1234");
    effect.dB2string(0.0f, text, 2);
    EXPECT_STREQ(text, "-o");
}

std::string speakerName(char fill, std::size_t length) { return std::string(length, fill); }

TEST(AudioEffectX, MatchArrangementCopiesTypeAndEverySpeaker) {
    ProbeEffect effect;
    VstSpeakerArrangement* source = nullptr;
    ASSERT_TRUE(effect.allocateArrangement(&source, 10));  // more than the eight declared
    source->type = 11;
    VstSpeakerProperties* all = source->speakers;
    for (int i = 0; i < 10; ++i) {
        all[i].azimuth = 0.1f * i;
        all[i].elevation = -0.2f * i;
        all[i].radius = 1.0f + i;
        all[i].type = 100 + i;
        const std::string name = speakerName(static_cast<char>('A' + i), 5);
        std::memcpy(all[i].name, name.c_str(), name.size() + 1);
        all[i].future[27] = static_cast<char>(i);
    }
    // A name that fills its whole field is cut to 63 characters.
    std::memset(source->speakers[0].name, 'z', sizeof source->speakers[0].name);

    VstSpeakerArrangement* copy = nullptr;
    EXPECT_TRUE(effect.matchArrangement(&copy, source));
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->numChannels, 10);
    EXPECT_EQ(copy->type, 11);
    const VstSpeakerProperties* copied = copy->speakers;
    EXPECT_EQ(std::string(copied[0].name), speakerName('z', 63));
    for (int i = 1; i < 10; ++i) {
        EXPECT_EQ(copied[i].azimuth, 0.1f * i) << i;
        EXPECT_EQ(copied[i].elevation, -0.2f * i) << i;
        EXPECT_EQ(copied[i].radius, 1.0f + i) << i;
        EXPECT_EQ(copied[i].type, 100 + i) << i;
        EXPECT_EQ(std::string(copied[i].name), speakerName(static_cast<char>('A' + i), 5)) << i;
        EXPECT_EQ(copied[i].future[27], i) << i;
    }
    EXPECT_TRUE(effect.deallocateArrangement(&copy));
    EXPECT_EQ(copy, nullptr);
    EXPECT_TRUE(effect.deallocateArrangement(&source));
}

TEST(AudioEffectX, ArrangementHelpersRefuseNone) {
    ProbeEffect effect;
    VstSpeakerArrangement* arrangement = nullptr;
    EXPECT_FALSE(effect.matchArrangement(&arrangement, nullptr));
    EXPECT_FALSE(effect.matchArrangement(nullptr, nullptr));
    EXPECT_FALSE(effect.allocateArrangement(nullptr, 2));
    EXPECT_FALSE(effect.allocateArrangement(&arrangement, -1));
    EXPECT_EQ(arrangement, nullptr);
    EXPECT_FALSE(effect.deallocateArrangement(nullptr));
    VstSpeakerProperties speaker = {};
    EXPECT_FALSE(effect.copySpeaker(nullptr, &speaker));
    EXPECT_FALSE(effect.copySpeaker(&speaker, nullptr));
}

TEST(AudioEffectX, AllocateArrangementReplacesAndZeroFills) {
    ProbeEffect effect;
    VstSpeakerArrangement* arrangement = nullptr;
    ASSERT_TRUE(effect.allocateArrangement(&arrangement, 2));
    arrangement->speakers[1].type = 5;
    ASSERT_TRUE(effect.allocateArrangement(&arrangement, 0));  // releases the first one
    EXPECT_EQ(arrangement->numChannels, 0);
    const VstSpeakerArrangement zeros = {};
    EXPECT_EQ(std::memcmp(&arrangement->speakers, &zeros.speakers, sizeof zeros.speakers), 0);
    effect.deallocateArrangement(&arrangement);
}

TEST(AudioEffectX, SpeakerArrangementIsNone) {
    ProbeEffect effect;
    int sentinel = 0;
    auto* input = reinterpret_cast<VstSpeakerArrangement*>(&sentinel);
    auto* output = input;
    EXPECT_FALSE(effect.AudioEffectX::getSpeakerArrangement(&input, &output));
    EXPECT_EQ(input, nullptr);
    EXPECT_EQ(output, nullptr);
}

}  // namespace
}  // namespace tarvo
