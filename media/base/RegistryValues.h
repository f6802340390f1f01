#pragma once
#include "platform/store/Registry.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace tamsor {

// The engine's settings and tracing values in the current user's registry, and the small
// functions that read them (storing the default when a value is missing) and write them.
//
// Threads: the functions keep no state of their own; each call opens the key anew. They may
// be called from any thread; the registry serialises access to its file.

// Keys.
constexpr const char kRegSettingsKey[] = "Software\\Ostrel Systems\\QRZMediaTerm\\1.0";
constexpr const char kRegTracingKey[] = "Software\\Ostrel Systems\\VKD\\Tracing";

// Values of the settings key, with the defaults written when a read finds them missing.
constexpr const char kRegForceVADOff[] = "ForceVADOff";
constexpr bool kDefaultForceVADOff = false;
constexpr const char kRegMicrophonePreprocess[] = "MicrophonePreprocess";
constexpr bool kDefaultMicrophonePreprocess = true;
constexpr const char kRegTxFIRFilter[] = "TxFIRFilter";
constexpr uint32_t kDefaultTxFIRFilter = 1;
constexpr const char kRegTransmitTOS[] = "TransmitTOS";
constexpr uint32_t kDefaultTransmitTOS = 184;
constexpr const char kRegSpeakerPostprocess[] = "SpeakerPostprocess";
constexpr bool kDefaultSpeakerPostprocess = true;
constexpr const char kRegLimitVolume[] = "LimitVolume";
constexpr bool kDefaultLimitVolume = true;
constexpr const char kRegRxFIRFilter[] = "RxFIRFilter";
constexpr uint32_t kDefaultRxFIRFilter = 1;
constexpr const char kRegUseDynamicJitterBuffer[] = "UseDynamicJitterBuffer";
constexpr bool kDefaultUseDynamicJitterBuffer = true;
constexpr const char kRegLimiterThreshold[] = "LimiterThreshold";
constexpr const char kDefaultLimiterThreshold[] = "-8.0";
constexpr const char kRegLimiterLossIncrement[] = "LimiterLossIncrement";
constexpr const char kDefaultLimiterLossIncrement[] = "0.075";
constexpr const char kRegLimiterLossDecrement[] = "LimiterLossDecrement";
constexpr const char kDefaultLimiterLossDecrement[] = "-0.00075";
constexpr const char kRegVolumeMaximizePercentile[] = "VolumeMaximizePercentile";
constexpr const char kDefaultVolumeMaximizePercentile[] = "95.00";
constexpr const char kRegVolumeMaximizeMaxGain[] = "VolumeMaximizeMaxGain";
constexpr const char kDefaultVolumeMaximizeMaxGain[] = "8.00";
// Written only, reporting what the engine does.
constexpr const char kRegRTPReceiveCodec[] = "RTPReceiveCodec";
constexpr const char kRegRTPTransmitCodec[] = "RTPTransmitCodec";
constexpr const char kRegDestinationAddress[] = "DestinationAddress";
constexpr const char kRegDestinationPort[] = "DestinationPort";
constexpr const char kRegTransmitPort[] = "TransmitPort";

// Values of the tracing key (all DWORD).
constexpr const char kRegAllComponents[] = "AllComponents";
constexpr uint32_t kDefaultAllComponents = 0;
constexpr uint32_t kDefaultComponentTraceLevel = 0x100000;
constexpr const char kRegTraceFilePlay[] = "FilePlay";
constexpr const char kRegTracePCM2G711Transformer[] = "PCM2G711Transformer";
constexpr const char kRegTraceG7112PCMTransformer[] = "G7112PCMTransformer";
constexpr const char kRegTraceGenericRTP2PCMDecoder[] = "GenericRTP2PCMDecoder";
constexpr const char kRegTracePCMVolumeMaximizer[] = "PCMVolumeMaximizer";
constexpr const char kRegTraceFixedSizeAudioBuffer[] = "FixedSizeAudioBuffer";
constexpr const char kRegTracePCMMixer[] = "PCMMixer";
constexpr const char kRegTracePCMVolumeTransformer[] = "PCMVolumeTransformer";
constexpr const char kRegTraceRTPJitterBuffer[] = "RTPJitterBuffer"; // also RTPAudioStream
constexpr const char kRegTraceVAD[] = "VAD";
constexpr const char kRegTraceLimiter[] = "Limiter";
constexpr const char kRegTraceFIRTransformer[] = "FIRTransformer";
constexpr const char kRegTraceRTPAudioSink[] = "RTPAudioSink";
constexpr const char kRegTraceWaveAudioSink[] = "WaveAudioSink";
constexpr const char kRegTraceWaveAudioSource[] = "WaveAudioSource";
constexpr const char kRegTraceWaveFileSource[] = "WaveFileSource";
constexpr const char kRegTraceACMTransformer[] = "ACMTransformer";
constexpr const char kRegTraceAudioSample[] = "AudioSample";
constexpr const char kRegTraceAudioSampleManager[] = "AudioSampleManager";

// Results of the writers.
constexpr long kRegOpenFailed = -10;
constexpr long kRegStoreFailed = -20;

// Readers. A missing value, or one too long for the reader's buffer (1000 bytes for texts,
// 4 for DWORDs), is replaced by the default, which is also returned. When the key cannot be
// opened or the default cannot be stored, the default is returned.
//
// A bool is true exactly when the stored text is "true" in any case; the stored type is not
// checked, so a DWORD 1 reads as false.
bool GetRegistryBool(plat::Registry& root, std::string_view key, std::string_view name, bool def);
// The stored bytes up to the first zero byte (or all of them when there is none).
std::string GetRegistryString(plat::Registry& root, std::string_view key, std::string_view name,
                              std::string_view def);
// The stored bytes as a little-endian DWORD, whatever the stored type; shorter data fills
// the low bytes and the rest are zero.
uint32_t GetRegistryDword(plat::Registry& root, std::string_view key, std::string_view name,
                          uint32_t def);
// A decimal number stored as text (default `def`, itself a text), read in the C locale
// whatever the process's locale says: leading white space is skipped, the longest valid
// number prefix is taken, and a text without one yields 0.0.
double GetRegistryDouble(plat::Registry& root, std::string_view key, std::string_view name,
                         std::string_view def);

// Writers. SetRegistryString stores the text with its terminating zero as a string value
// and returns 0; SetRegistryDword stores a DWORD and returns the value. Both return
// kRegOpenFailed when the key cannot be opened and kRegStoreFailed when the value cannot
// be stored.
long SetRegistryString(plat::Registry& root, std::string_view key, std::string_view name,
                       std::string_view text);
long SetRegistryDword(plat::Registry& root, std::string_view key, std::string_view name,
                      uint32_t value);

// The same on the current user's registry.
bool GetRegistryBool(std::string_view key, std::string_view name, bool def);
std::string GetRegistryString(std::string_view key, std::string_view name, std::string_view def);
uint32_t GetRegistryDword(std::string_view key, std::string_view name, uint32_t def);
double GetRegistryDouble(std::string_view key, std::string_view name, std::string_view def);
long SetRegistryString(std::string_view key, std::string_view name, std::string_view text);
long SetRegistryDword(std::string_view key, std::string_view name, uint32_t value);

// Turns a decimal text into a double in the C locale, as GetRegistryDouble does.
double ParseRegistryDouble(std::string_view text);

} // namespace tamsor
