#include "tests/app-call/CallFakes.h"

#include <cerrno>

#include "platform/net/testing/FakeUdpSocket.h"

FakeCallView::FakeCallView()
    : port(plat::MessagePort::Open([this](const plat::WindowMessage&) {
          ++mediaLevels;
          if (onMediaLevel) {
              onMediaLevel();
          }
      })) {}

namespace {

class FakeRtpPortSocket : public plat::FakeUdpSocket {
public:
    FakeRtpPortSocket(const std::set<uint16_t>& taken,
                      std::shared_ptr<std::multiset<uint16_t>> bound)
        : taken_(taken), bound_(std::move(bound)) {}
    ~FakeRtpPortSocket() override {
        if (port_ != 0) {
            bound_->erase(bound_->find(port_));
        }
    }
    int Bind(uint32_t address, uint16_t port) override {
        if (taken_.count(port) != 0) {
            return EADDRINUSE;
        }
        bound_->insert(port_ = port);
        return plat::FakeUdpSocket::Bind(address, port);
    }

private:
    std::set<uint16_t> taken_;
    std::shared_ptr<std::multiset<uint16_t>> bound_;
    uint16_t port_ = 0;
};

} // namespace

RtpPortReservation::SocketFactory FakeRtpPorts::Factory() {
    return [this] { return std::make_unique<FakeRtpPortSocket>(taken, bound); };
}

void FakeCallSounds::Record(std::string& player, const char* path, bool loop) {
    if (!path) {
        player.clear();
        return;
    }
    std::string name = path;
    paths.push_back(name);
    name = name.substr(name.rfind('/') + 1);
    player = name;
    played.push_back((loop ? "loop:" : "once:") + name);
}

int FakeMedia::Note(const std::string& name, const std::string& args) {
    log_.calls.push_back(name + "(" + args + ")");
    auto it = log_.results.find(name);
    return it == log_.results.end() ? 0 : it->second;
}

void FakeMedia::Release() {
    Note("Release", "");
    delete this;
}

int FakeMedia::SetReceiveCodec(int codec, int frameMs, int, int) {
    return Note("SetReceiveCodec", std::to_string(codec) + "," + std::to_string(frameMs));
}

int FakeMedia::SetTransmitCodec(int codec, int frameMs, int, int, uint16_t, int) {
    return Note("SetTransmitCodec", std::to_string(codec) + "," + std::to_string(frameMs));
}

int FakeMedia::SetAddresses(const char* ip, int port, int localPort, plat::AutoResetEvent* e) {
    log_.event = e;
    return Note("SetAddresses",
                std::string(ip) + "," + std::to_string(port) + "," + std::to_string(localPort));
}

int FakeMedia::PlayFile(const char* path, int once, int volume, int*) {
    std::string name = path;
    name = name.substr(name.rfind('/') + 1);
    return Note("PlayFile", name + "," + std::to_string(once) + "," + std::to_string(volume));
}

int FakeMedia::StartTX(int device) {
    return Note("StartTX", std::to_string(device));
}

int FakeMedia::StartRX(int device, int jitterMs) {
    return Note("StartRX", std::to_string(device) + "," + std::to_string(jitterMs));
}

int FakeMedia::SetSpeakerVolume(int device, int volume) {
    return Note("SetSpeakerVolume", std::to_string(device) + "," + std::to_string(volume));
}

int FakeMedia::SetMicrophoneVolume(int device, int level) {
    return Note("SetMicrophoneVolume", std::to_string(device) + "," + std::to_string(level));
}
