#pragma once
#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <utility>
#include <vector>

#include "media/api/RTPInterface.h"
#include "media/files/EndOfFileNotifier.h"
#include "media/term/ChainRunner.h"
#include "platform/core/CriticalSection.h"

namespace tamsor {

class AudioSink;
class AudioSource;
class AudioTransformer;
class FIRTransformer;
class FilePlay;
class FixedSizeAudioBuffer;
class G7112PCMTransformer;
class GenericRTP2PCMDecoder;
class Limiter;
class PCM2G711Transformer;
class PCMMixer;
class PCMVolumeMaximizer;
class RTPAudioSink;
class RTPAudioSource;
class RTPJitterBuffer;
class VAD;
class WaveAudioSink;
class WaveAudioSource;

// The media object of one call: owns both chains, wires them, starts and stops them in fixed
// orders, plays files into the transmitted audio and writes the closing statistics.
//
//   transmit: microphone -> [FIR] -> [VAD] -> mixer -> encoder -> RTP sender
//   receive:  RTP receiver -> decoder -> jitter buffer -> fixed-size buffer -> maximiser
//             -> mixer -> [FIR] -> [limiter] -> speaker
//
// Threads: every RTPInterface operation comes from the program's GUI thread. mainLock
// (recursive) guards construction, destruction, the codec operations, SetAddresses, PlayFile,
// StopFile and the four start/stop operations and every field they change; playLock guards
// the play map and is taken inside mainLock, never the other way round. The volume, test and
// quality operations take no lock of this object: the chain-running flags they read are
// atomic and the components guard themselves. The end-of-file hooks run on notifier threads
// and on the GUI thread, and touch nothing.
class CQRZMediaTerm final : public RTPInterface, public EndOfFileTarget {
public:
    // Speaker buffers on every platform this runs on (the original used 10 only on systems
    // older than its version 5).
    static constexpr unsigned kSpeakerFrames = 6;

    CQRZMediaTerm();

    void Release() override;
    int SetReceiveCodec(int codec, int frameMs, int arg3, int arg4) override;
    int SetTransmitCodec(int codec, int frameMs, int arg3, int vad, uint16_t arg5,
                         int arg6) override;
    int SetAddresses(const char* remoteIp, int remotePort, int localPort,
                     plat::AutoResetEvent* depthChanged) override;
    int PlayFile(const char* path, int once, int volume, int* playId) override;
    bool StopFile(int playId) override;
    int StartTX(int waveInDevice) override;
    int StopTX() override;
    int StartRX(int waveOutDevice, int jitterMs) override;
    int StopRX() override;
    int SetSpeakerVolume(int waveOutDevice, int volume) override;
    int SetMicrophoneVolume(int waveInDevice, int level) override;
    bool TestSpeaker() override;
    bool TestMicrophone() override;
    float GetReceiveQuality() override;

    void FireEndOfFileTX(int32_t /*playId*/) override {}
    void FireEndOfFileRX(int32_t /*playId*/) override {}

    // For tests: what the chains hold now.
    bool IsTransmitRunning() const { return txRunning.load(); }
    bool IsReceiveRunning() const { return rxRunning.load(); }
    bool HasTransmitEncoder() const { return txEncoder != nullptr; }
    bool HasReceiveDecoder() const { return rxDecoder != nullptr; }
    size_t TransmitLinkCount() const { return txChain.LinkCount(); }
    size_t ReceiveLinkCount() const { return rxChain.LinkCount(); }
    bool IsVADInChain() const { return vadInChain; }
    bool IsTransmitFIRInChain() const { return txFIRInChain; }
    bool IsReceiveFIRInChain() const { return rxFIRInChain; }
    bool IsLimiterInChain() const { return limiterInChain; }
    size_t PlayCount();
    RTPAudioSink* GetRTPSender() { return rtpSender.get(); }
    RTPAudioSource* GetRTPReceiver() { return rtpReceiver.get(); }
    WaveAudioSink* GetSpeaker() { return speaker.get(); }
    int GetTransmitFrameMs() const { return txFrameMs; }
    int GetReceiveFrameMs() const { return rxFrameMs; }

private:
    ~CQRZMediaTerm() override;

    void PurgeFinishedPlays();
    // Stops every thread of the graph and removes every link, so no component is freed while
    // a thread could still reach it.
    void QuiesceGraph();

    plat::CriticalSection mainLock;
    plat::CriticalSection playLock;
    bool alive = false;

    std::unique_ptr<WaveAudioSource> microphone;
    std::unique_ptr<WaveAudioSink> speaker;
    std::unique_ptr<RTPAudioSink> rtpSender;
    std::unique_ptr<RTPAudioSource> rtpReceiver;
    std::unique_ptr<FIRTransformer> rxFIR;
    std::unique_ptr<FIRTransformer> txFIR;
    std::unique_ptr<Limiter> limiter;
    std::unique_ptr<VAD> vad;
    std::unique_ptr<RTPJitterBuffer> jitterBuffer;
    std::unique_ptr<FixedSizeAudioBuffer> fixedSizeBuffer;
    std::unique_ptr<GenericRTP2PCMDecoder> genericDecoder;
    std::unique_ptr<PCMMixer> rxMixer;
    std::unique_ptr<PCMMixer> txMixer;
    std::unique_ptr<PCMVolumeMaximizer> maximizer;
    std::unique_ptr<G7112PCMTransformer> ownRxDecoder;
    AudioTransformer* rxDecoder = nullptr; // ownRxDecoder or genericDecoder, or none
    std::unique_ptr<PCM2G711Transformer> txEncoder;

    std::map<int32_t, std::unique_ptr<FilePlay>> plays;

    // Each chain as it was linked and started, so a stop undoes exactly that.
    ChainRunner txChain;
    ChainRunner rxChain;

    bool vadInChain = false;
    bool txFIRInChain = false;
    bool rxFIRInChain = false;
    bool limiterInChain = false;
    std::atomic<bool> rxRunning{false};
    std::atomic<bool> txRunning{false};

    int rxFrameMs = 20;
    int txFrameMs = 20;
    int waveInDevice = -1;
    int waveOutDevice = -1;

    struct ReceiveSettings {
        int codec = -1, frameMs = -1, arg3 = -1, arg4 = -1;
    } rxSettings;
    struct TransmitSettings {
        int codec = -1, frameMs = -1, arg3 = -1, vad = -1;
        uint16_t arg5 = 0;
        int arg6 = -1;
    } txSettings;
};

} // namespace tamsor
