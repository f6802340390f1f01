#include "media/term/CQRZMediaTerm.h"

#include <algorithm>
#include <cmath>

#include "media/base/EngineTrace.h"
#include "media/base/Exception.h"
#include "media/base/RegistryValues.h"
#include "media/codec/G7112PCMTransformer.h"
#include "media/codec/GenericRTP2PCMDecoder.h"
#include "media/codec/PCM2G711Transformer.h"
#include "media/devices/WaveAudioSink.h"
#include "media/devices/WaveAudioSource.h"
#include "media/dsp/FIRTables.h"
#include "media/dsp/FIRTransformer.h"
#include "media/dsp/Limiter.h"
#include "media/dsp/PCMMixer.h"
#include "media/dsp/PCMVolumeMaximizer.h"
#include "media/dsp/VAD.h"
#include "media/files/FilePlay.h"
#include "media/graph/AudioSampleManager.h"
#include "media/graph/FixedSizeAudioBuffer.h"
#include "media/rtp/RTPAudioSink.h"
#include "media/rtp/RTPAudioSource.h"
#include "media/rtp/RTPJitterBuffer.h"
#include "media/term/EngineStatistics.h"
#include "platform/audio/WaveIn.h"
#include "platform/audio/WaveOut.h"
#include "platform/core/Clock.h"
#include "platform/net/IPv4Address.h"
#include "platform/net/UdpSocket.h"

namespace tamsor {

namespace {

constexpr int kMinFrameMs = 1;
constexpr int kMaxFrameMs = 200;
constexpr int kFIRWidth = 16;
constexpr int kRestartJitterMs = 100;
constexpr int kReceiveSlots = 30;
constexpr int kPayloadTypeULaw = 0;
constexpr int kPayloadTypeALaw = 8;

bool FrameLengthValid(int ms) {
    return ms >= kMinFrameMs && ms <= kMaxFrameMs;
}

// A decimal setting: a stored text that does not give a finite number means the default.
double RegistryNumber(const char* name, const char* def) {
    double value = GetRegistryDouble(kRegSettingsKey, name, def);
    return std::isfinite(value) ? value : ParseRegistryDouble(def);
}

plat::WaveDeviceFormat TestFormat() {
    return plat::WaveDeviceFormat{}; // PCM, mono, 8000 Hz, 16 bits
}

} // namespace

CQRZMediaTerm::CQRZMediaTerm() {
    plat::CriticalSectionLock guard(mainLock);
    AudioSampleManager::Init();
    microphone = std::make_unique<WaveAudioSource>();
    speaker = std::make_unique<WaveAudioSink>();
    rtpSender = std::make_unique<RTPAudioSink>();
    rtpReceiver = std::make_unique<RTPAudioSource>();
    rxFIR = std::make_unique<FIRTransformer>();
    txFIR = std::make_unique<FIRTransformer>();
    limiter = std::make_unique<Limiter>(-8.0, 0.075, -0.00075);
    vad = std::make_unique<VAD>();
    jitterBuffer = std::make_unique<RTPJitterBuffer>();
    fixedSizeBuffer = std::make_unique<FixedSizeAudioBuffer>();
    genericDecoder = std::make_unique<GenericRTP2PCMDecoder>();
    rxMixer = std::make_unique<PCMMixer>();
    txMixer = std::make_unique<PCMMixer>();
    maximizer = std::make_unique<PCMVolumeMaximizer>();
    ownRxDecoder = std::make_unique<G7112PCMTransformer>();
    rxDecoder = ownRxDecoder.get();
    txEncoder = std::make_unique<PCM2G711Transformer>();
    rxFIR->SetCoefficients(kFIRTableB, kFIRTaps, kFIRWidth);
    txFIR->SetCoefficients(kFIRTableD, kFIRTaps, kFIRWidth);
    alive = true;
    EndOfFileNotifier::Initialise(this);
}

CQRZMediaTerm::~CQRZMediaTerm() {
    {
        plat::CriticalSectionLock plays(playLock);
        for (auto& [id, play] : this->plays) {
            if (play->IsRunning()) {
                play->StopImmediately();
            }
        }
        this->plays.clear();
    }
    plat::CriticalSectionLock guard(mainLock);
    if (alive) {
        StopRX();
        StopTX();
        QuiesceGraph();
        speaker.reset();
        microphone.reset();
        rtpReceiver.reset();
        rtpSender.reset();
        rxFIR.reset();
        txFIR.reset();
        limiter.reset();
        vad.reset();
        rxMixer.reset();
        txMixer.reset();
        jitterBuffer.reset();
        fixedSizeBuffer.reset();
        rxDecoder = nullptr;
        genericDecoder.reset();
        maximizer.reset();
        ownRxDecoder.reset();
        txEncoder.reset();
        AudioSampleManager::Shutdown();
        EndOfFileNotifier::Shutdown();
        alive = false;
    }
    EngineStatistics::WriteClosingBlock(EngineTraceLog());
}

void CQRZMediaTerm::Release() {
    delete this;
}

void CQRZMediaTerm::QuiesceGraph() {
    // A chain that failed to stop may still have threads; stop them before anything goes.
    if (rtpReceiver) {
        rtpReceiver->StopSourceThread();
    }
    if (microphone) {
        microphone->StopSourceThread();
    }
    if (speaker) {
        speaker->StopSinkThread();
    }
    txChain.Stop();
    rxChain.Stop();
    txRunning = false;
    rxRunning = false;
}

// ---- codecs ----

int CQRZMediaTerm::SetReceiveCodec(int codec, int frameMs, int arg3, int arg4) {
    plat::CriticalSectionLock guard(mainLock);
    if (!FrameLengthValid(frameMs)) {
        return -30;
    }
    if (rxRunning && codec == rxSettings.codec) {
        return 0;
    }
    rxSettings = {codec, frameMs, arg3, arg4};
    const bool wasRunning = rxRunning;
    if (wasRunning && StopRX() != 0) {
        return -10;
    }
    rxFrameMs = frameMs;
    speaker->SetFrameSize(static_cast<unsigned>(frameMs) * 16u);

    // The chain is stopped and unlinked here, so the old decoder is no neighbour's any more.
    rxDecoder = nullptr;
    ownRxDecoder.reset();
    switch (codec) {
    case CODEC_BY_PAYLOAD_TYPE:
        rxDecoder = genericDecoder.get();
        break;
    case CODEC_G711_ALAW:
    case CODEC_G711_ULAW:
        ownRxDecoder = std::make_unique<G7112PCMTransformer>();
        if (codec == CODEC_G711_ALAW) {
            ownRxDecoder->SetALaw();
        } else {
            ownRxDecoder->SetMuLaw();
        }
        rxDecoder = ownRxDecoder.get();
        break;
    default:
        rxSettings.codec = -1;
        return -30;
    }
    // The peer's stream is of the codec's payload type; decoding by payload type takes any.
    rtpReceiver->SetPayloadType(codec == CODEC_G711_ULAW   ? kPayloadTypeULaw
                                : codec == CODEC_G711_ALAW ? kPayloadTypeALaw
                                                           : -1);
    if (wasRunning && StartRX(waveOutDevice, kRestartJitterMs) != 0) {
        return -20;
    }
    return 0;
}

int CQRZMediaTerm::SetTransmitCodec(int codec, int frameMs, int arg3, int vadArg, uint16_t arg5,
                                    int arg6) {
    plat::CriticalSectionLock guard(mainLock);
    if (!FrameLengthValid(frameMs)) {
        return -30;
    }
    // "true" lets the caller's flag put the detector in the chain.
    const bool vadOn =
        GetRegistryBool(kRegSettingsKey, kRegForceVADOff, kDefaultForceVADOff) && vadArg != 0;
    if (codec == txSettings.codec && frameMs == txSettings.frameMs && vadOn == vadInChain) {
        txSettings = {codec, frameMs, arg3, vadArg, arg5, arg6};
        return 0;
    }
    const bool wasRunning = txRunning;
    if (wasRunning && StopTX() != 0) {
        vadInChain = vadOn;
        return -10;
    }
    vadInChain = vadOn;
    txFrameMs = frameMs;
    microphone->SetBufferSize(static_cast<unsigned>(frameMs) * 16u);

    txEncoder.reset();
    if (codec != CODEC_G711_ALAW && codec != CODEC_G711_ULAW) {
        txSettings.codec = -1;
        return -30;
    }
    txEncoder = std::make_unique<PCM2G711Transformer>();
    if (codec == CODEC_G711_ALAW) {
        txEncoder->SetALaw();
    } else {
        txEncoder->SetMuLaw();
    }
    if (wasRunning && StartTX(waveInDevice) != 0) {
        return -20;
    }
    txSettings = {codec, frameMs, arg3, vadArg, arg5, arg6};
    return 0;
}

// ---- addresses ----

int CQRZMediaTerm::SetAddresses(const char* remoteIp, int remotePort, int localPort,
                                plat::AutoResetEvent* depthChanged) {
    plat::CriticalSectionLock guard(mainLock);
    if (localPort < 0 || localPort > 65535) {
        EngineTrace("CQRZMediaTerm::SetAddresses: !localPort=", localPort);
        return -10;
    }
    // A remote address that cannot be used (a host name, a bad port) still gets the local port
    // bound and the receiver set up, so the call hears its peer; only the sending has no
    // destination, and the result says so.
    uint32_t address = 0;
    const bool portValid = remotePort >= 0 && remotePort <= 65535;
    const bool remoteValid = remoteIp && plat::ParseIPv4(remoteIp, &address) && portValid;
    const char* destination = remoteIp && portValid ? remoteIp : "";
    if (!rtpSender->GetSocket()) {
        // A transmit stop let go of the sender's socket, but the receiver still reads it and so
        // holds its port: the sender takes it back instead of failing to bind a new one.
        rtpSender->AdoptSocket(rtpReceiver->GetSharedSocket());
    }
    rtpSender->SetLocalPort(static_cast<uint16_t>(localPort));
    int result =
        rtpSender->SetDestination(destination, static_cast<uint16_t>(portValid ? remotePort : 0));
    std::shared_ptr<plat::UdpSocket> socket = rtpSender->GetSocket();
    rtpReceiver->SetReceivePort(socket);
    rtpReceiver->SetDepthChangedEvent(depthChanged);
    // The call's first packet changes the receive quality too (from "no buffer yet").
    rtpReceiver->SetSizedEvent(depthChanged);
    // Only the peer is heard: its packets come from this address, or from wherever a steady
    // stream of them comes from when it is behind a NAT.
    rtpReceiver->SetPeer(plat::UdpEndpoint{remoteValid ? address : 0u,
                                           static_cast<uint16_t>(portValid ? remotePort : 0)});
    if (result != 0) {
        return result;
    }
    uint16_t bound = 0;
    if (localPort != 0 && (!socket || socket->GetLocalPort(&bound) != 0 || bound != localPort)) {
        EngineTrace("CQRZMediaTerm::SetAddresses: !localPort=", localPort);
        return -20;
    }
    if (!remoteValid) {
        EngineTrace("CQRZMediaTerm::SetAddresses: !address");
        return -10;
    }
    return 0;
}

// ---- file play ----

void CQRZMediaTerm::PurgeFinishedPlays() {
    plat::CriticalSectionLock guard(playLock);
    for (auto it = plays.begin(); it != plays.end();) {
        if (!it->second->IsRunning()) {
            it = plays.erase(it);
        } else {
            ++it;
        }
    }
}

size_t CQRZMediaTerm::PlayCount() {
    plat::CriticalSectionLock guard(playLock);
    return plays.size();
}

int CQRZMediaTerm::PlayFile(const char* path, int once, int volume, int* playId) {
    plat::CriticalSectionLock guard(mainLock);
    PurgeFinishedPlays();
    if (!txRunning) {
        return 0;
    }
    auto play = std::make_unique<FilePlay>(txMixer.get(), txFrameMs, true);
    try {
        if (!path || play->LoadFile(path) != 0) {
            throw Exception(-10, "Error loading file %s", path ? path : "(null)");
        }
    } catch (const Exception& e) {
        return e.GetCode();
    }
    if (once == 0) {
        play->PlayInLoop();
    }
    play->SetVolume(volume);
    play->SetDestinationFormat(MakeWaveFormat(FORMAT_PCM16));

    plat::CriticalSectionLock plays(playLock);
    const int32_t id = play->GetPlayId();
    if (playId) {
        *playId = id;
    }
    FilePlay* started = play.get();
    this->plays[id] = std::move(play);
    started->Start();
    return 0;
}

bool CQRZMediaTerm::StopFile(int playId) {
    plat::CriticalSectionLock guard(mainLock);
    plat::CriticalSectionLock plays(playLock);
    auto it = this->plays.find(playId);
    if (it != this->plays.end() && it->second->GetTransmitMark()) {
        it->second->StopImmediately();
    }
    return false;
}

// ---- transmit chain ----

namespace {

// A transformer's start and stop as one step of a chain.
ChainRunner::Step TransformStep(AudioTransformer* node, int code, const char* trace) {
    return {[node] { return node->StartTransform(); }, [node] { return node->StopTransform(); },
            code, trace};
}

} // namespace

int CQRZMediaTerm::StartTX(int device) {
    plat::CriticalSectionLock guard(mainLock);
    if (txRunning) {
        return 0;
    }
    if (!txEncoder) {
        // No codec the peer and we share: nothing to send with.
        EngineTrace("CQRZMediaTerm::StartTX (3), result=", -30);
        return -20;
    }
    txFIRInChain =
        GetRegistryBool(kRegSettingsKey, kRegMicrophonePreprocess, kDefaultMicrophonePreprocess);
    const uint32_t firChoice =
        GetRegistryDword(kRegSettingsKey, kRegTxFIRFilter, kDefaultTxFIRFilter);
    txFIR->SetCoefficients(firChoice == 2 ? kFIRTableB : kFIRTableA, kFIRTaps, kFIRWidth);
    waveInDevice = device;
    microphone->SetDeviceID(device);

    std::vector<ChainRunner::Link> links;
    AudioSource* previous = microphone.get();
    auto append = [&](AudioTransformer* next) {
        links.emplace_back(previous, next);
        previous = next;
    };
    if (txFIRInChain) {
        append(txFIR.get());
    }
    if (vadInChain) {
        append(vad.get());
    }
    append(txMixer.get());
    append(txEncoder.get());
    links.emplace_back(previous, rtpSender.get());
    txChain.Connect(links);

    const uint32_t tos = GetRegistryDword(kRegSettingsKey, kRegTransmitTOS, kDefaultTransmitTOS);
    rtpSender->SetTOS(static_cast<int>(tos & 0xFF));

    RTPAudioSink* sender = rtpSender.get();
    WaveAudioSource* mic = microphone.get();
    VAD* detector = vad.get();
    std::vector<ChainRunner::Step> steps = {
        {[sender] { return sender->StartSink(); }, [sender] { return sender->StopSink(); }, -10,
         "CQRZMediaTerm::StartTX (2), result="},
        TransformStep(txEncoder.get(), -20, "CQRZMediaTerm::StartTX (3), result="),
        TransformStep(txMixer.get(), -30, "CQRZMediaTerm::StartTX (4), result="),
    };
    if (vadInChain) {
        steps.push_back({[detector] {
                             detector->Enable();
                             return detector->StartTransform();
                         },
                         [detector] { return detector->StopTransform(); }, -40,
                         "CQRZMediaTerm::StartTX (5), result="});
    }
    if (txFIRInChain) {
        steps.push_back(TransformStep(txFIR.get(), -50, "CQRZMediaTerm::StartTX (6), result="));
    }
    steps.push_back({[mic] { return mic->StartSourceThread(); },
                     [mic] { return mic->StopSourceThread(); }, -60,
                     "CQRZMediaTerm::StartTX (7), result="});
    const int result = txChain.Start(std::move(steps));
    if (result != 0) {
        return result;
    }
    txRunning = true;
    return 0;
}

int CQRZMediaTerm::StopTX() {
    plat::CriticalSectionLock guard(mainLock);
    if (!txRunning) {
        return 0;
    }
    // Reverse start order: microphone, FIR, VAD, mixer, encoder, sender.
    if (!txChain.Stop()) {
        return -10;
    }
    txRunning = false;
    return 0;
}

// ---- receive chain ----

int CQRZMediaTerm::StartRX(int device, int jitterMs) {
    plat::CriticalSectionLock guard(mainLock);
    EngineStatistics::Reset();
    if (rxRunning) {
        return 0;
    }
    if (!rxDecoder) {
        return -10;
    }
    rxFIRInChain =
        GetRegistryBool(kRegSettingsKey, kRegSpeakerPostprocess, kDefaultSpeakerPostprocess);
    limiterInChain = GetRegistryBool(kRegSettingsKey, kRegLimitVolume, kDefaultLimitVolume);
    const uint32_t firChoice =
        GetRegistryDword(kRegSettingsKey, kRegRxFIRFilter, kDefaultRxFIRFilter);
    rxFIR->SetCoefficients(firChoice == 2 ? kFIRTableD : kFIRTableC, kFIRTaps, kFIRWidth);
    jitterBuffer->SetJitterTarget(jitterMs);
    fixedSizeBuffer->SetOutputMs(rxFrameMs);

    unsigned frames = kSpeakerFrames;
    if (!GetRegistryBool(kRegSettingsKey, kRegUseDynamicJitterBuffer,
                         kDefaultUseDynamicJitterBuffer)) {
        frames =
            std::max(frames, static_cast<unsigned>(jitterMs) / static_cast<unsigned>(rxFrameMs));
    }
    speaker->SetNumFrames(frames);

    limiter->SetParameters(RegistryNumber(kRegLimiterThreshold, kDefaultLimiterThreshold),
                           RegistryNumber(kRegLimiterLossIncrement, kDefaultLimiterLossIncrement),
                           RegistryNumber(kRegLimiterLossDecrement, kDefaultLimiterLossDecrement));
    waveOutDevice = device;
    speaker->SetDeviceID(device);

    const double percentile =
        RegistryNumber(kRegVolumeMaximizePercentile, kDefaultVolumeMaximizePercentile);
    const double maxGain =
        std::fabs(RegistryNumber(kRegVolumeMaximizeMaxGain, kDefaultVolumeMaximizeMaxGain));
    maximizer->SetPercentile(std::clamp(percentile, 0.0, 100.0));
    // Clamped before the conversion, so a huge setting cannot overflow the integer.
    maximizer->SetMaximumAmplification(
        static_cast<uint32_t>(std::clamp(maxGain * 100.0, 0.0, 1.0e6)));

    std::vector<ChainRunner::Step> steps = {
        TransformStep(rxDecoder, -10, nullptr),
        TransformStep(jitterBuffer.get(), -20, nullptr),
        TransformStep(fixedSizeBuffer.get(), -30, nullptr),
        TransformStep(maximizer.get(), -40, nullptr),
        TransformStep(rxMixer.get(), -50, nullptr),
    };
    std::vector<AudioTransformer*> transformers = {
        rxDecoder, jitterBuffer.get(), fixedSizeBuffer.get(), maximizer.get(), rxMixer.get()};
    if (rxFIRInChain) {
        transformers.push_back(rxFIR.get());
        steps.push_back(TransformStep(rxFIR.get(), -60, nullptr));
    }
    if (limiterInChain) {
        transformers.push_back(limiter.get());
        steps.push_back(TransformStep(limiter.get(), -70, nullptr));
    }
    std::vector<ChainRunner::Link> links;
    AudioSource* previous = rtpReceiver.get();
    for (AudioTransformer* t : transformers) {
        links.emplace_back(previous, t);
        previous = t;
    }
    links.emplace_back(previous, speaker.get());
    rxChain.Connect(links);

    WaveAudioSink* out = speaker.get();
    RTPAudioSource* in = rtpReceiver.get();
    steps.push_back({[out] { return out->StartSinkThread(); },
                     [out] { return out->StopSinkThread(); }, -80, nullptr});
    // Stopping the receiver: its thread (that result is not counted), its sockets, its thread
    // again.
    steps.push_back({[in] { return in->StartSourceThread(); },
                     [in] {
                         in->StopSourceThread();
                         const bool failed = in->UnprepareSource() != 0;
                         return (in->StopSourceThread() != 0 || failed) ? -1 : 0;
                     },
                     -90, nullptr});
    const int result = rxChain.Start(std::move(steps));
    if (result != 0) {
        return result;
    }
    rxRunning = true;
    return 0;
}

int CQRZMediaTerm::StopRX() {
    plat::CriticalSectionLock guard(mainLock);
    if (!rxRunning) {
        return 0;
    }
    // Reverse start order: receiver, speaker, limiter, FIR, mixer, maximiser, fixed-size buffer,
    // jitter buffer, decoder.
    if (!rxChain.Stop()) {
        return -10;
    }
    rxRunning = false;
    return 0;
}

// ---- volumes, tests, quality ----

int CQRZMediaTerm::SetSpeakerVolume(int device, int volume) {
    if (!speaker || device != speaker->GetDeviceID() || !rxRunning) {
        return 0;
    }
    speaker->SetVolume(static_cast<unsigned>(std::max(volume, 0)));
    return 0;
}

int CQRZMediaTerm::SetMicrophoneVolume(int /*device*/, int level) {
    if (microphone) {
        microphone->SetVolume(static_cast<unsigned>(std::max(level, 0)));
    }
    return 0;
}

bool CQRZMediaTerm::TestSpeaker() {
    for (int attempt = 0; attempt < 2; ++attempt) {
        plat::WaveOut device;
        if (device.Open(-1, TestFormat()) == plat::MMSYSERR_NOERROR) {
            device.Reset();
            device.Close();
            return true;
        }
        if (attempt == 0) {
            plat::SleepMs(2000);
        }
    }
    return false;
}

bool CQRZMediaTerm::TestMicrophone() {
    plat::WaveIn device;
    if (device.Open(-1, TestFormat()) != plat::MMSYSERR_NOERROR) {
        return false;
    }
    device.Reset();
    device.Close();
    return true;
}

float CQRZMediaTerm::GetReceiveQuality() {
    if (!rtpReceiver) {
        return 1.0f;
    }
    // The two depths change together on the receiver's thread: read until the minimum is the
    // same on both sides of the depth, so the pair belongs together.
    int minimum = 0;
    int depth = 0;
    for (int tries = 0; tries < 8; ++tries) {
        minimum = rtpReceiver->GetMinReceiveBufferDepth();
        depth = rtpReceiver->GetReceiveBufferDepth();
        if (rtpReceiver->GetMinReceiveBufferDepth() == minimum) {
            break;
        }
    }
    if (minimum >= kReceiveSlots) {
        return 1.0f;
    }
    float quality =
        static_cast<float>(depth - minimum) / static_cast<float>(kReceiveSlots - minimum);
    return std::clamp(quality, 0.0f, 1.0f);
}

} // namespace tamsor
