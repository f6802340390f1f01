#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace sipua {

// A session description: what the program offers or answers, and what a peer sent. Parsing is
// lenient about what the program does not use (unknown lines are skipped) and bounded: a
// peer's text can make a description with fewer media or codecs, never a crash.
class SdpContents {
public:
    // One entry of a medium's format list, with what its rtpmap line (or the static payload
    // type table) says about it.
    struct Codec {
        int payloadType = -1;
        std::string name; // "" for a type that is neither mapped nor static
        int rate = 0;
        std::string parameters; // after the second '/', e.g. channels
    };
    struct Medium {
        std::string name; // "audio", "video", ...
        int port = -1;    // -1 when the m= line's port is not a number in 0-65535
        int portCount = 0;
        std::string protocol;
        std::vector<Codec> codecs;     // in the order of the m= line
        std::string connectionAddress; // the medium's own c= line, "" when it has none
        std::vector<std::pair<std::string, std::string>> attributes; // except rtpmap
        // The value of the first attribute with this name, or nullopt.
        std::optional<std::string> attribute(std::string_view name) const;
    };
    struct Origin {
        std::string user = "-";
        std::string sessionId = "0";
        std::string version = "0";
        std::string address;
    };

    // Limits on what a peer's text can make.
    static constexpr size_t kMaxMedia = 16;
    static constexpr size_t kMaxCodecs = 64;
    static constexpr size_t kMaxAttributes = 64;

    // Parses a description; nullopt when the text is no description at all (no "v=0" first).
    static std::optional<SdpContents> parse(std::string_view text);
    // The description as text, lines in the standard order, CRLF line ends.
    std::string encode() const;

    Origin& origin() { return origin_; }
    const Origin& origin() const { return origin_; }
    const std::string& sessionName() const { return sessionName_; }
    void sessionName(std::string name) { sessionName_ = std::move(name); }
    const std::string& connectionAddress() const { return connection_; }
    void connectionAddress(std::string address) { connection_ = std::move(address); }
    std::vector<Medium>& media() { return media_; }
    const std::vector<Medium>& media() const { return media_; }

    // The first medium named "audio", or null.
    const Medium* firstAudio() const;
    // Where a medium's RTP goes: its own c= address, else the session's.
    std::string connectionFor(const Medium& medium) const;

    bool operator==(const SdpContents& other) const { return encode() == other.encode(); }

private:
    Origin origin_;
    std::string sessionName_ = "-";
    std::string connection_;
    std::vector<Medium> media_;
};

} // namespace sipua
