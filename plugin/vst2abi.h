// Our own binding to the VST 2.4 binary interface: the record layouts, opcode
// numbers and flags a Linux host and plug-in exchange. Written from the
// published facts of the interface (numbers and layouts only); there is no
// SDK behind it. Sizes and offsets are checked at compile time for both
// i386 and x86_64 at the bottom of this file.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(__i386__)
// Hosts call with the cdecl convention and do not promise 16-byte stack
// alignment on i386, so every entry from the host realigns the stack.
#define VST_CALL __attribute__((cdecl))
#define VST_ENTRY_ALIGN __attribute__((force_align_arg_pointer))
#else
#define VST_CALL
#define VST_ENTRY_ALIGN
#endif

using VstInt16 = int16_t;
using VstInt32 = int32_t;
using VstIntPtr = intptr_t;

struct AEffect;

extern "C" {
typedef VstIntPtr(VST_CALL* audioMasterCallback)(AEffect* effect, VstInt32 opcode, VstInt32 index,
                                                 VstIntPtr value, void* ptr, float opt);
typedef VstIntPtr(VST_CALL* AEffectDispatcherProc)(AEffect* effect, VstInt32 opcode, VstInt32 index,
                                                   VstIntPtr value, void* ptr, float opt);
typedef void(VST_CALL* AEffectProcessProc)(AEffect* effect, float** inputs, float** outputs,
                                           VstInt32 sampleFrames);
typedef void(VST_CALL* AEffectProcessDoubleProc)(AEffect* effect, double** inputs, double** outputs,
                                                 VstInt32 sampleFrames);
typedef void(VST_CALL* AEffectSetParameterProc)(AEffect* effect, VstInt32 index, float parameter);
typedef float(VST_CALL* AEffectGetParameterProc)(AEffect* effect, VstInt32 index);
}

constexpr VstInt32 vstFourCC(char a, char b, char c, char d) {
  return static_cast<VstInt32>((static_cast<uint32_t>(static_cast<unsigned char>(a)) << 24) |
                               (static_cast<uint32_t>(static_cast<unsigned char>(b)) << 16) |
                               (static_cast<uint32_t>(static_cast<unsigned char>(c)) << 8) |
                               static_cast<uint32_t>(static_cast<unsigned char>(d)));
}

constexpr VstInt32 kEffectMagic = vstFourCC('V', 's', 't', 'P');
constexpr VstInt32 kVstVersion = 2400;

struct AEffect {
  VstInt32 magic;
  AEffectDispatcherProc dispatcher;
  AEffectProcessProc process;
  AEffectSetParameterProc setParameter;
  AEffectGetParameterProc getParameter;
  VstInt32 numPrograms;
  VstInt32 numParams;
  VstInt32 numInputs;
  VstInt32 numOutputs;
  VstInt32 flags;
  VstIntPtr resvd1;
  VstIntPtr resvd2;
  VstInt32 initialDelay;
  VstInt32 realQualities;
  VstInt32 offQualities;
  float ioRatio;
  void* object;
  void* user;
  VstInt32 uniqueID;
  VstInt32 version;
  AEffectProcessProc processReplacing;
  AEffectProcessDoubleProc processDoubleReplacing;
  char future[56];
};

enum VstAEffectFlags : VstInt32 {
  effFlagsHasEditor = 1 << 0,
  effFlagsCanReplacing = 1 << 4,
  effFlagsProgramChunks = 1 << 5,
  effFlagsIsSynth = 1 << 8,
  effFlagsNoSoundInStop = 1 << 9,
  effFlagsCanDoubleReplacing = 1 << 12,
};

enum AEffectOpcodes : VstInt32 {
  effOpen = 0,
  effClose = 1,
  effSetProgram = 2,
  effGetProgram = 3,
  effSetProgramName = 4,
  effGetProgramName = 5,
  effGetParamLabel = 6,
  effGetParamDisplay = 7,
  effGetParamName = 8,
  effSetSampleRate = 10,
  effSetBlockSize = 11,
  effMainsChanged = 12,
  effEditGetRect = 13,
  effEditOpen = 14,
  effEditClose = 15,
  effEditIdle = 19,
  effIdentify = 22,
  effGetChunk = 23,
  effSetChunk = 24,
  effProcessEvents = 25,
  effCanBeAutomated = 26,
  effString2Parameter = 27,
  effGetProgramNameIndexed = 29,
  effGetInputProperties = 33,
  effGetOutputProperties = 34,
  effGetPlugCategory = 35,
  effSetSpeakerArrangement = 42,
  effSetBypass = 44,
  effGetEffectName = 45,
  effGetVendorString = 47,
  effGetProductString = 48,
  effGetVendorVersion = 49,
  effVendorSpecific = 50,
  effCanDo = 51,
  effGetTailSize = 52,
  effGetParameterProperties = 56,
  effGetVstVersion = 58,
  effEditKeyDown = 59,
  effEditKeyUp = 60,
  effSetEditKnobMode = 61,
  effGetSpeakerArrangement = 69,
  effStartProcess = 71,
  effStopProcess = 72,
  effSetProcessPrecision = 77,
  effGetNumMidiInputChannels = 78,
  effGetNumMidiOutputChannels = 79,
};

enum AudioMasterOpcodes : VstInt32 {
  audioMasterAutomate = 0,
  audioMasterVersion = 1,
  audioMasterCurrentId = 2,
  audioMasterIdle = 3,
  audioMasterWantMidi = 6,
  audioMasterGetTime = 7,
  audioMasterProcessEvents = 8,
  audioMasterIOChanged = 13,
  audioMasterSizeWindow = 15,
  audioMasterGetSampleRate = 16,
  audioMasterGetBlockSize = 17,
  audioMasterGetCurrentProcessLevel = 23,
  audioMasterGetVendorString = 32,
  audioMasterGetProductString = 33,
  audioMasterGetVendorVersion = 34,
  audioMasterCanDo = 37,
  audioMasterUpdateDisplay = 42,
  audioMasterBeginEdit = 43,
  audioMasterEndEdit = 44,
};

constexpr int kVstMaxProgNameLen = 24;
constexpr int kVstMaxParamStrLen = 8;
constexpr int kVstMaxVendorStrLen = 64;
constexpr int kVstMaxProductStrLen = 64;
constexpr int kVstMaxEffectNameLen = 32;
constexpr int kVstMaxLabelLen = 64;
constexpr int kVstMaxShortLabelLen = 8;

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

enum VstTimeInfoFlags : VstInt32 {
  kVstTransportChanged = 1,
  kVstTransportPlaying = 1 << 1,
  kVstTransportCycleActive = 1 << 2,
  kVstTransportRecording = 1 << 3,
  kVstAutomationWriting = 1 << 6,
  kVstAutomationReading = 1 << 7,
  kVstNanosValid = 1 << 8,
  kVstPpqPosValid = 1 << 9,
  kVstTempoValid = 1 << 10,
  kVstBarsValid = 1 << 11,
  kVstCyclePosValid = 1 << 12,
  kVstTimeSigValid = 1 << 13,
  kVstSmpteValid = 1 << 14,
  kVstClockValid = 1 << 15,
};

struct VstEvent {
  VstInt32 type;
  VstInt32 byteSize;
  VstInt32 deltaFrames;
  VstInt32 flags;
  char data[16];
};

struct VstEvents {
  VstInt32 numEvents;
  VstIntPtr reserved;
  VstEvent* events[2];  // really numEvents entries
};

struct VstMidiEvent {
  VstInt32 type;
  VstInt32 byteSize;
  VstInt32 deltaFrames;
  VstInt32 flags;
  VstInt32 noteLength;
  VstInt32 noteOffset;
  char midiData[4];
  char detune;
  char noteOffVelocity;
  char reserved1;
  char reserved2;
};

struct VstMidiSysexEvent {
  VstInt32 type;
  VstInt32 byteSize;
  VstInt32 deltaFrames;
  VstInt32 flags;
  VstInt32 dumpBytes;
  VstIntPtr resvd1;
  char* sysexDump;
  VstIntPtr resvd2;
};

enum VstEventTypes : VstInt32 {
  kVstMidiType = 1,
  kVstSysExType = 6,
};

enum VstMidiEventFlags : VstInt32 {
  kVstMidiEventIsRealtime = 1,
};

struct VstPinProperties {
  char label[kVstMaxLabelLen];
  VstInt32 flags;
  VstInt32 arrangementType;
  char shortLabel[kVstMaxShortLabelLen];
  char future[48];
};

enum VstPinPropertiesFlags : VstInt32 {
  kVstPinIsActive = 1,
  kVstPinIsStereo = 1 << 1,
  kVstPinUseSpeaker = 1 << 2,
};

struct ERect {
  VstInt16 top;
  VstInt16 left;
  VstInt16 bottom;
  VstInt16 right;
};

enum VstPlugCategory : VstInt32 {
  kPlugCategUnknown = 0,
  kPlugCategEffect = 1,
  kPlugCategSynth = 2,
};

// Layout checks: a wrong offset here would make a host read garbage.
#if defined(__i386__)
static_assert(sizeof(AEffect) == 144, "AEffect size");
static_assert(offsetof(AEffect, flags) == 36, "AEffect.flags");
static_assert(offsetof(AEffect, resvd1) == 40, "AEffect.resvd1");
static_assert(offsetof(AEffect, initialDelay) == 48, "AEffect.initialDelay");
static_assert(offsetof(AEffect, ioRatio) == 60, "AEffect.ioRatio");
static_assert(offsetof(AEffect, object) == 64, "AEffect.object");
static_assert(offsetof(AEffect, uniqueID) == 72, "AEffect.uniqueID");
static_assert(offsetof(AEffect, processReplacing) == 80, "AEffect.processReplacing");
static_assert(offsetof(AEffect, processDoubleReplacing) == 84, "AEffect.processDoubleReplacing");
static_assert(offsetof(AEffect, future) == 88, "AEffect.future");
static_assert(sizeof(VstEvents) == 16, "VstEvents size");
static_assert(offsetof(VstEvents, events) == 8, "VstEvents.events");
static_assert(sizeof(VstMidiSysexEvent) == 32, "VstMidiSysexEvent size");
#elif defined(__x86_64__)
static_assert(sizeof(AEffect) == 192, "AEffect size");
static_assert(offsetof(AEffect, flags) == 56, "AEffect.flags");
static_assert(offsetof(AEffect, resvd1) == 64, "AEffect.resvd1");
static_assert(offsetof(AEffect, initialDelay) == 80, "AEffect.initialDelay");
static_assert(offsetof(AEffect, ioRatio) == 92, "AEffect.ioRatio");
static_assert(offsetof(AEffect, object) == 96, "AEffect.object");
static_assert(offsetof(AEffect, uniqueID) == 112, "AEffect.uniqueID");
static_assert(offsetof(AEffect, processReplacing) == 120, "AEffect.processReplacing");
static_assert(offsetof(AEffect, processDoubleReplacing) == 128, "AEffect.processDoubleReplacing");
static_assert(offsetof(AEffect, future) == 136, "AEffect.future");
static_assert(sizeof(VstEvents) == 32, "VstEvents size");
static_assert(offsetof(VstEvents, events) == 16, "VstEvents.events");
static_assert(sizeof(VstMidiSysexEvent) == 48, "VstMidiSysexEvent size");
#endif
static_assert(sizeof(VstTimeInfo) == 88, "VstTimeInfo size");
static_assert(offsetof(VstTimeInfo, timeSigNumerator) == 64, "VstTimeInfo.timeSigNumerator");
static_assert(offsetof(VstTimeInfo, smpteOffset) == 72, "VstTimeInfo.smpteOffset");
static_assert(offsetof(VstTimeInfo, samplesToNextClock) == 80, "VstTimeInfo.samplesToNextClock");
static_assert(offsetof(VstTimeInfo, flags) == 84, "VstTimeInfo.flags");
static_assert(sizeof(VstEvent) == 32, "VstEvent size");
static_assert(offsetof(VstEvent, data) == 16, "VstEvent.data");
static_assert(sizeof(VstMidiEvent) == 32, "VstMidiEvent size");
static_assert(offsetof(VstMidiEvent, midiData) == 24, "VstMidiEvent.midiData");
static_assert(offsetof(VstMidiEvent, detune) == 28, "VstMidiEvent.detune");
static_assert(offsetof(VstMidiEvent, noteOffVelocity) == 29, "VstMidiEvent.noteOffVelocity");
static_assert(sizeof(VstPinProperties) == 128, "VstPinProperties size");
static_assert(offsetof(VstPinProperties, flags) == 64, "VstPinProperties.flags");
static_assert(offsetof(VstPinProperties, arrangementType) == 68, "VstPinProperties.arrangementType");
static_assert(offsetof(VstPinProperties, shortLabel) == 72, "VstPinProperties.shortLabel");
static_assert(offsetof(VstPinProperties, future) == 80, "VstPinProperties.future");
static_assert(sizeof(ERect) == 8, "ERect size");
