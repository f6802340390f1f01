// The SDP offer and answer, the media start through the engine, its notifier thread and the
// receive-quality lights.
#include <algorithm>
#include <exception>
#include <string>

#include "app/call/CallLogic.h"
#include "app/call/PeerSdp.h"
#include "app/call/VolumeSettings.h"
#include "app/phone/UserAor.h"
#include "app/trace/TraceFile.h"
#include "platform/core/Paths.h"
#include "platform/store/Registry.h"

RTPInterface* g_pMedia = nullptr;

namespace {

// `frame_size` of the program's key (created when missing): 0, 1 or 2; anything else is 1.
uint32_t ReadFrameSize() {
    plat::Registry& registry = plat::Registry::CurrentUser();
    plat::Registry::Key key;
    if (registry.CreateKey("Software\\Quorvex", &key) != plat::kErrorSuccess) {
        return 1;
    }
    uint32_t type = 0;
    uint32_t value = 0;
    uint32_t size = sizeof(value);
    if (registry.QueryValue(key, "frame_size", &type, &value, &size) != plat::kErrorSuccess ||
        type != plat::kRegDword || size != sizeof(value) || value > 2) {
        return 1;
    }
    return value;
}

} // namespace

void CallLogic::BuildSdpOffer(sipua::SdpContents& sdp) {
    const bool chosenBefore = m_RtpPort.Port() != 0;
    const uint16_t port = m_RtpPort.Reserve();
    if (port == 0) {
        AppTrace("CMakeCall::BuildSdpOffer: ningun puerto RTP libre de 8000 a 8100");
    } else if (!chosenBefore && port != RtpPortReservation::kFirstPort) {
        AppTrace("CMakeCall::BuildSdpOffer: puerto RTP 8000 ocupado, puerto local RTP=", port);
    }
    const std::string& host = m_Login.GetPublicHost();
    sdp.sessionName("session");
    sdp.origin().user = g_UserAor.uri().user();
    sdp.origin().address = host;
    sdp.connectionAddress(host);
    sipua::SdpContents::Medium audio;
    audio.name = "audio";
    audio.port = port != 0 ? port : RtpPortReservation::kFirstPort;
    audio.protocol = "RTP/AVP";
    audio.codecs.push_back({0, "PCMU", 8000, ""});
    audio.codecs.push_back({8, "PCMA", 8000, ""});
    uint32_t frameSize = ReadFrameSize();
    if (frameSize == 1) {
        audio.attributes.emplace_back("ptime", "40");
    } else if (frameSize == 2) {
        audio.attributes.emplace_back("ptime", "80");
    }
    sdp.media().push_back(audio);
}

void CallLogic::InitRtp(const sipua::SdpContents& peer) {
    StopMedia();
    m_Sounds.PlaySound2(nullptr, false);
    MediaTarget target = MediaTargetOf(peer);
    if (target.port <= 0 || target.address.empty()) {
        // No audio medium, no port or no connection address: there is nothing to send to.
        AppTrace("InitRtp: SDP sin medio de audio utilizable");
        return;
    }
    m_MediaTarget = target;
    const uint16_t localPort = m_RtpPort.Port();
    if (localPort == 0) {
        // Our SDP named a port the media cannot have: the call goes on without them.
        AppTrace("InitRtp: sin puerto RTP libre, la llamada sigue sin audio");
        return;
    }
    try {
        g_pMedia = m_MediaFactory ? m_MediaFactory(g_pTrace.load()) : nullptr;
    } catch (...) {
        g_pMedia = nullptr;
        AppTrace("InitRtp: exception en GetRTPInterface");
        return;
    }
    if (!g_pMedia) {
        AppTrace("InitRtp: GetRTPInterface retorno NULL");
        return;
    }
    AppTrace("*** inicializando RTP ***");
    m_nCodec = ChooseCodec(peer);
    if (m_nCodec == kCodecPcmu) {
        AppTrace("Usando compresion G711u");
    } else if (m_nCodec == kCodecPcma) {
        AppTrace("Usando compresion G711a");
    }
    if (g_pMedia->SetReceiveCodec(m_nCodec, 20, 0, 0) != 0) {
        AppTrace("InitRtp: error en paso 1");
    }
    if (iTraceFile* log = g_pTrace.load()) {
        log->Lock();
        log->Write("ip servidor RTP:");
        log->Write(target.address.c_str());
        log->NewLine();
        log->Write("puerto servidor RTP:");
        log->Write(std::to_string(target.port).c_str());
        log->NewLine();
        log->Write("puerto local RTP:");
        log->Write(std::to_string(localPort).c_str());
        log->NewLine();
        log->Unlock();
    }
    m_RtpPort.HandOver();
    if (g_pMedia->SetAddresses(target.address.c_str(), target.port, localPort, &m_MediaEvent) !=
        0) {
        AppTrace("InitRtp: error en paso 2");
    }
    static const int kFrameMs[] = {20, 40, 80};
    int frameMs = kFrameMs[ReadFrameSize()];
    if (g_pMedia->SetTransmitCodec(m_nCodec, frameMs, 0, 0, 0, 0) != 0) {
        AppTrace("InitRtp: error en paso 3");
    }
    AudioDevices devices = m_Devices ? m_Devices() : AudioDevices{};
    int result = g_pMedia->StartRX(devices.waveOut, 100);
    if (result != 0) {
        AppTrace("InitRtp: error en paso 6, error=", result);
    }
    if (g_pMedia->SetSpeakerVolume(devices.waveOut, ReadVolume("spk")) != 0) {
        AppTrace("InitRtp: error en paso 7");
    }
    result = g_pMedia->StartTX(devices.waveIn);
    if (result != 0) {
        AppTrace(("InitRtp: error en paso 4, retvalue=" + std::to_string(result)).c_str());
    }
    if (g_pMedia->SetMicrophoneVolume(devices.waveIn, ReadVolume("mic")) != 0) {
        AppTrace("InitRtp: error en paso 5");
    }
    UpdateQualityMeter();
    m_MediaEvent.Reset();
    StartNotifier();
}

void CallLogic::StartNotifier() {
    m_bMediaStop = false;
    plat::PostTarget target = m_View.MessageTarget();
    if (!m_Notifier.Start([this, target] { MediaEventThread(target); }, "media-notifier")) {
        AppTrace("InitRtp: no se pudo crear el hilo de notificacion");
        return;
    }
    if (!m_Notifier.SetPriority(plat::ThreadPriority::AboveNormal)) {
        AppTrace("InitRtp: prioridad del hilo de notificacion no cambiada");
    }
}

void CallLogic::StopNotifier() {
    m_bMediaStop = true;
    m_MediaEvent.Set();
    if (m_Notifier.Joinable()) {
        m_Notifier.Join();
    }
}

void CallLogic::MediaEventThread(const plat::PostTarget& target) {
    for (;;) {
        if (m_MediaEvent.Wait() != plat::WaitResult::Signalled || m_bMediaStop) {
            return;
        }
        target.PostMessage(WM_MEDIA_LEVEL);
    }
}

void CallLogic::StopMedia() {
    StopNotifier();
    if (g_pMedia) {
        RTPInterface* media = g_pMedia;
        g_pMedia = nullptr;
        media->Release();
        m_View.SetQualityLights(false, false, false, false);
    }
}

void CallLogic::UpdateQualityMeter() {
    // The lights say that the far voice arrives without gaps: none without media, nor before
    // the call's first packet, while the engine's figure is the one of a receive buffer not
    // sized yet. (After that first packet the figure never takes that value again.)
    constexpr float kBeforeFirstPacket = 1.0f / 30.0f;
    const float q = g_pMedia ? g_pMedia->GetReceiveQuality() : kBeforeFirstPacket;
    if (q == kBeforeFirstPacket) {
        m_View.SetQualityLights(false, false, false, false);
        return;
    }
    m_View.SetQualityLights(q < 1.0f, q <= 0.75f, q <= 0.5f, q <= 0.25f);
}

void CallLogic::OnMediaLevel() {
    if (g_pMedia) {
        UpdateQualityMeter();
    }
}
