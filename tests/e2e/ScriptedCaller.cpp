#include "tests/e2e/ScriptedCaller.h"

#include <arpa/inet.h>
#include <cstdlib>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "tests/sip/ScriptedRegistrar.h"

namespace {

sockaddr_in Address(const std::string& host, int port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    inet_pton(AF_INET, host.c_str(), &a.sin_addr);
    return a;
}

int BoundSocket(const std::string& host, int port) {
    int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in self = Address(host, port);
    if (fd >= 0 && bind(fd, reinterpret_cast<sockaddr*>(&self), sizeof(self)) != 0) {
        close(fd);
        fd = -1;
    }
    return fd;
}

// The datagrams waiting at `fd`, each handed to `take`.
template <typename Take> void Drain(int fd, Take take) {
    pollfd p{fd, POLLIN, 0};
    char buffer[4096];
    ssize_t n;
    while (fd >= 0 && poll(&p, 1, 0) == 1 && (n = recv(fd, buffer, sizeof(buffer), 0)) >= 0) {
        take(std::string(buffer, static_cast<size_t>(n)));
    }
}

} // namespace

ScriptedCaller::ScriptedCaller() : fd_(BoundSocket("127.0.0.3", 5099)) {}

ScriptedCaller::~ScriptedCaller() {
    for (const auto& [where, fd] : media_) {
        close(fd);
    }
    if (fd_ >= 0) {
        close(fd_);
    }
}

std::string ScriptedCaller::Sdp(const std::string& address, int port, const std::string& extra) {
    return "v=0\r\no=far 1 1 IN IP4 " + address + "\r\ns=-\r\nc=IN IP4 " + address +
           "\r\nt=0 0\r\nm=audio " + std::to_string(port) + " RTP/AVP 0 8\r\n" + extra;
}

int ScriptedCaller::Send(const std::string& method, const std::string& sdp, int ackOf) {
    const int cseq = method == "ACK" ? ackOf : toTag_.empty() ? (cseq_ = 1) : ++cseq_;
    std::string text = method + " " + target_ + " SIP/2.0\r\n";
    text += "Via: SIP/2.0/UDP 127.0.0.3:5099;branch=z9hG4bKscripted" + std::to_string(++branch_) +
            ";rport\r\nMax-Forwards: 70\r\nFrom: <sip:7007@127.0.0.3>;tag=far\r\n";
    text += "To: <sip:1001@127.0.0.1>" + (toTag_.empty() ? "" : ";tag=" + toTag_) + "\r\n";
    text += "Call-ID: scripted@127.0.0.3\r\nCSeq: " + std::to_string(cseq) + " " + method +
            "\r\nContact: <sip:7007@127.0.0.3:5099>\r\n";
    if (!sdp.empty()) {
        text += "Content-Type: application/sdp\r\n";
    }
    text += "Content-Length: " + std::to_string(sdp.size()) + "\r\n\r\n" + sdp;
    sockaddr_in to = Address("127.0.0.1", 5060);
    sendto(fd_, text.data(), text.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof(to));
    return cseq;
}

bool ScriptedCaller::Answered(int cseq, std::string* body) {
    bool answered = false;
    Drain(fd_, [&](const std::string& text) {
        // The program's own requests go unanswered: this far end only calls.
        if (text.rfind("SIP/2.0 2", 0) != 0 ||
            ScriptedRegistrar::Header(text, "CSeq") != std::to_string(cseq) + " INVITE") {
            return;
        }
        const std::string to = ScriptedRegistrar::Header(text, "To") + ";";
        const size_t tag = to.find(";tag=") + 5;
        toTag_ = to.substr(tag, to.find(';', tag) - tag);
        const std::string contact = ScriptedRegistrar::Header(text, "Contact");
        const size_t open = contact.find('<') + 1;
        target_ = contact.substr(open, contact.find('>', open) - open);
        *body = text.substr(text.find("\r\n\r\n") + 4);
        answered = true;
    });
    return answered;
}

bool ScriptedCaller::OpenMedia(const std::string& address, int port) {
    int fd = BoundSocket(address, port);
    if (fd >= 0) {
        media_[address + ":" + std::to_string(port)] = fd;
    }
    return fd >= 0;
}

int ScriptedCaller::Media(const std::string& address, int port, uint32_t* ssrc) {
    int packets = 0;
    auto it = media_.find(address + ":" + std::to_string(port));
    Drain(it == media_.end() ? -1 : it->second, [&](const std::string& packet) {
        const auto* bytes = reinterpret_cast<const uint8_t*>(packet.data());
        if (packet.size() >= 12 && (bytes[0] >> 6) == 2) {
            ++packets;
            if (ssrc) {
                *ssrc = (uint32_t{bytes[8]} << 24) | (uint32_t{bytes[9]} << 16) |
                        (uint32_t{bytes[10]} << 8) | bytes[11];
            }
        }
    });
    return packets;
}
