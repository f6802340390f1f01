#include "tests/e2e/ScriptedCaller.h"

#include <arpa/inet.h>
#include <cstdlib>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

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

// The value of header `name` in a message, or "".
std::string Header(const std::string& text, const std::string& name) {
    size_t at = text.find("\r\n" + name + ": ");
    if (at == std::string::npos) {
        return std::string();
    }
    at += name.size() + 4;
    return text.substr(at, text.find("\r\n", at) - at);
}

// The text between `open` and `close` after `open` in `text`, or "".
std::string Between(const std::string& text, const std::string& open, char close) {
    size_t at = text.find(open);
    if (at == std::string::npos) {
        return std::string();
    }
    at += open.size();
    return text.substr(at, text.find(close, at) - at);
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

std::vector<ScriptedCaller::Response> ScriptedCaller::Receive() {
    std::vector<Response> responses;
    pollfd p{fd_, POLLIN, 0};
    while (poll(&p, 1, 0) == 1) {
        char buffer[4096];
        ssize_t n = recv(fd_, buffer, sizeof(buffer), 0);
        std::string text(buffer, n > 0 ? static_cast<size_t>(n) : 0);
        if (text.rfind("SIP/2.0 ", 0) != 0) {
            continue; // a request of the program's: nothing this far end answers
        }
        Response r;
        r.code = std::atoi(text.c_str() + 8);
        std::string cseq = Header(text, "CSeq");
        r.cseq = std::atoi(cseq.c_str());
        r.method = cseq.substr(cseq.find(' ') + 1);
        size_t end = text.find("\r\n\r\n");
        r.body = end == std::string::npos ? std::string() : text.substr(end + 4);
        if (r.code / 100 == 2 && r.method == "INVITE") {
            toTag_ = Between(Header(text, "To") + ";", ";tag=", ';');
            target_ = Between(Header(text, "Contact"), "<", '>');
        }
        responses.push_back(r);
    }
    return responses;
}

bool ScriptedCaller::OpenMedia(const std::string& address, int port) {
    int fd = BoundSocket(address, port);
    if (fd >= 0) {
        media_[address + ":" + std::to_string(port)] = fd;
    }
    return fd >= 0;
}

ScriptedCaller::MediaSeen ScriptedCaller::Media(const std::string& address, int port) {
    MediaSeen seen;
    auto it = media_.find(address + ":" + std::to_string(port));
    pollfd p{it == media_.end() ? -1 : it->second, POLLIN, 0};
    while (p.fd >= 0 && poll(&p, 1, 0) == 1) {
        uint8_t packet[2048];
        if (recv(p.fd, packet, sizeof(packet), 0) >= 12 && (packet[0] >> 6) == 2) {
            ++seen.packets;
            seen.ssrc = (uint32_t{packet[8]} << 24) | (uint32_t{packet[9]} << 16) |
                        (uint32_t{packet[10]} << 8) | packet[11];
        }
    }
    return seen;
}
