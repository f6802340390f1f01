#pragma once
#include <cstdint>
#include <map>
#include <string>

// A far phone scripted by the test that calls the program: one dialog from 127.0.0.3:5099
// straight to 127.0.0.1:5060 (no proxy), written as text, and sockets of its own where the
// program's RTP arrives. Loopback only; the test's thread only.
class ScriptedCaller {
public:
    ScriptedCaller();
    ~ScriptedCaller();
    ScriptedCaller(const ScriptedCaller&) = delete;
    ScriptedCaller& operator=(const ScriptedCaller&) = delete;
    bool ok() const { return fd_ >= 0; }

    // An offer of PCMU and PCMA at `address`:`port`, with `extra` lines after the m= line.
    static std::string Sdp(const std::string& address, int port, const std::string& extra = "");
    // Sends "INVITE" (CSeq 1 before the program's 2xx, a re-INVITE with the next CSeq after
    // it), "BYE", or "ACK" of the INVITE with CSeq `ackOf`; returns the request's CSeq.
    // In-dialog requests go to the Contact and To tag of the program's last 2xx.
    int Send(const std::string& method, const std::string& sdp = "", int ackOf = 0);
    // Whether the 2xx to the INVITE with CSeq `cseq` is among the responses that arrived since
    // the last call; `body` gets its body.
    bool Answered(int cseq, std::string* body);

    // A socket at `address`:`port` for the program's RTP; false when it cannot be bound.
    bool OpenMedia(const std::string& address, int port);
    // The RTP packets that arrived there since the last call; `ssrc` gets the last one's.
    int Media(const std::string& address, int port, uint32_t* ssrc = nullptr);

private:
    int fd_ = -1;
    int cseq_ = 0;
    int branch_ = 0;
    std::string toTag_;
    std::string target_ = "sip:1001@127.0.0.1";
    std::map<std::string, int> media_; // "address:port" to its socket
};
