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
// Speaker buffers on every platform this runs on (the original used 10 only on systems older
// than its version 5).
constexpr unsigned kSpeakerFrames = 6;
constexpr int kReceiveSlots = 30;

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
    UnlinkChain(&txLinks);
    UnlinkChain(&rxLinks);
    for (AudioTransformer* t : txStarted) {
        t->StopTransform();
    }
    for (AudioTransformer* t : rxStarted) {
        t->StopTransform();
    }
    txStarted.clear();
    rxStarted.clear();
    txRunning = false;
    rxRunning = false;
}

void CQRZMediaTerm::LinkChain(const std::vector<std::pair<AudioSource*, AudioSink*>>& links,
                              std::vector<Link>* made) {
    for (const auto& [from, to] : links) {
        Connect(from, to);
        made->push_back({from, to});
    }
}

void CQRZMediaTerm::UnlinkChain(std::vector<Link>* links) {
    for (const auto& [from, to] : *links) {
        Disconnect(from, to);
    }
    links->clear();
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
    uint32_t address = 0;
    if (!remoteIp || !plat::ParseIPv4(remoteIp, &address) || remotePort < 0 || remotePort > 65535 ||
        localPort < 0 || localPort > 65535) {
        EngineTrace("CQRZMediaTerm::SetAddresses: !address");
        return -10;
    }
    if (!rtpSender->GetSocket()) {
        // A transmit stop let go of the sender's socket, but the receiver still reads it and so
        // holds its port: the sender takes it back instead of failing to bind a new one.
        rtpSender->AdoptSocket(rtpReceiver->GetSharedSocket());
    }
    rtpSender->SetLocalPort(static_cast<uint16_t>(localPort));
    int result = rtpSender->SetDestination(remoteIp, static_cast<uint16_t>(remotePort));
    std::shared_ptr<plat::UdpSocket> socket = rtpSender->GetSocket();
    rtpReceiver->SetReceivePort(socket);
    rtpReceiver->SetDepthChangedEvent(depthChanged);
    if (result != 0) {
        return result;
    }
    uint16_t bound = 0;
    if (localPort != 0 && (!socket || socket->GetLocalPort(&bound) != 0 || bound != localPort)) {
        EngineTrace("CQRZMediaTerm::SetAddresses: !localPort=", localPort);
        return -20;
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

int CQRZMediaTerm::FailTransmitStart(int step, int result, int code) {
    char text[64];
    std::snprintf(text, sizeof(text), "CQRZMediaTerm::StartTX (%d), result=", step);
    EngineTrace(text, result);
    // Stop what started, in reverse, then take the links down again.
    for (auto it = txStarted.rbegin(); it != txStarted.rend(); ++it) {
        (*it)->StopTransform();
    }
    txStarted.clear();
    rtpSender->StopSink();
    UnlinkChain(&txLinks);
    return code;
}

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

    std::vector<std::pair<AudioSource*, AudioSink*>> links;
    AudioSource* previous = microphone.get();
    auto append = [&](AudioTransformer* next) {
        links.push_back({previous, next});
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
    links.push_back({previous, rtpSender.get()});
    LinkChain(links, &txLinks);

    const uint32_t tos = GetRegistryDword(kRegSettingsKey, kRegTransmitTOS, kDefaultTransmitTOS);
    rtpSender->SetTOS(static_cast<int>(tos & 0xFF));

    int r = rtpSender->StartSink();
    if (r != 0) {
        return FailTransmitStart(2, r, -10);
    }
    struct Step {
        AudioTransformer* node;
        bool inChain;
        int traceStep;
        int code;
    };
    const Step steps[] = {
        {txEncoder.get(), true, 3, -20},
        {txMixer.get(), true, 4, -30},
        {vad.get(), vadInChain, 5, -40},
        {txFIR.get(), txFIRInChain, 6, -50},
    };
    for (const Step& step : steps) {
        if (!step.inChain) {
            continue;
        }
        if (step.node == vad.get()) {
            vad->Enable();
        }
        r = step.node->StartTransform();
        if (r != 0) {
            return FailTransmitStart(step.traceStep, r, step.code);
        }
        txStarted.push_back(step.node);
    }
    r = microphone->StartSourceThread();
    if (r != 0) {
        return FailTransmitStart(7, r, -60);
    }
    txRunning = true;
    return 0;
}

int CQRZMediaTerm::StopTX() {
    plat::CriticalSectionLock guard(mainLock);
    if (!txRunning) {
        return 0;
    }
    bool failed = microphone->StopSourceThread() != 0;
    // Reverse start order: FIR, VAD, mixer, encoder.
    for (auto it = txStarted.rbegin(); it != txStarted.rend(); ++it) {
        failed |= (*it)->StopTransform() != 0;
    }
    failed |= rtpSender->StopSink() != 0;
    UnlinkChain(&txLinks);
    if (failed) {
        return -10;
    }
    txStarted.clear();
    txRunning = false;
    return 0;
}

// ---- receive chain ----

void CQRZMediaTerm::StopReceiveTransformers(size_t startedCount) {
    (void)startedCount;
    for (AudioTransformer* t : rxStarted) {
        t->StopTransform();
    }
    rxStarted.clear();
}

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

    std::vector<AudioTransformer*> transformers = {
        rxDecoder, jitterBuffer.get(), fixedSizeBuffer.get(), maximizer.get(), rxMixer.get()};
    if (rxFIRInChain) {
        transformers.push_back(rxFIR.get());
    }
    if (limiterInChain) {
        transformers.push_back(limiter.get());
    }
    std::vector<std::pair<AudioSource*, AudioSink*>> links;
    AudioSource* previous = rtpReceiver.get();
    for (AudioTransformer* t : transformers) {
        links.push_back({previous, t});
        previous = t;
    }
    links.push_back({previous, speaker.get()});
    LinkChain(links, &rxLinks);

    // Codes by position: decoder -10 ... mixer -50, FIR -60, limiter -70.
    const AudioTransformer* fir = rxFIR.get();
    const AudioTransformer* lim = limiter.get();
    for (size_t i = 0; i < transformers.size(); ++i) {
        AudioTransformer* t = transformers[i];
        int code = t == fir ? -60 : t == lim ? -70 : -10 * static_cast<int>(i + 1);
        if (t->StartTransform() != 0) {
            StopReceiveTransformers(i);
            UnlinkChain(&rxLinks);
            return code;
        }
        rxStarted.push_back(t);
    }
    if (speaker->StartSinkThread() != 0) {
        StopReceiveTransformers(rxStarted.size());
        UnlinkChain(&rxLinks);
        return -80;
    }
    if (rtpReceiver->StartSourceThread() != 0) {
        speaker->StopSinkThread();
        StopReceiveTransformers(rxStarted.size());
        UnlinkChain(&rxLinks);
        return -90;
    }
    rxRunning = true;
    return 0;
}

int CQRZMediaTerm::StopRX() {
    plat::CriticalSectionLock guard(mainLock);
    if (!rxRunning) {
        return 0;
    }
    rtpReceiver->StopSourceThread(); // its result is not counted: the second call below is
    bool failed = speaker->StopSinkThread() != 0;
    failed |= rtpReceiver->UnprepareSource() != 0;
    failed |= rtpReceiver->StopSourceThread() != 0;
    // Reverse start order: limiter, FIR, mixer, maximiser, fixed-size buffer, jitter, decoder.
    for (auto it = rxStarted.rbegin(); it != rxStarted.rend(); ++it) {
        failed |= (*it)->StopTransform() != 0;
    }
    UnlinkChain(&rxLinks);
    if (failed) {
        return -10;
    }
    rxStarted.clear();
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
