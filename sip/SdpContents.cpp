#include "sip/SdpContents.h"

#include <cctype>

namespace sipua {
namespace {

// A decimal number of at most nine digits, nothing else; -1 otherwise.
int ParseNumber(std::string_view text) {
    if (text.empty() || text.size() > 9) {
        return -1;
    }
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            return -1;
        }
        value = value * 10 + (c - '0');
    }
    return value;
}

std::vector<std::string_view> Fields(std::string_view text) {
    std::vector<std::string_view> fields;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t start = text.find_first_not_of(" \t", pos);
        if (start == std::string_view::npos) {
            break;
        }
        size_t end = text.find_first_of(" \t", start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        fields.push_back(text.substr(start, end - start));
        pos = end;
    }
    return fields;
}

// What the static payload types of the audio/video profile name without an rtpmap line.
SdpContents::Codec StaticCodec(int payloadType) {
    SdpContents::Codec codec;
    codec.payloadType = payloadType;
    switch (payloadType) {
    case 0:
        codec.name = "PCMU";
        break;
    case 3:
        codec.name = "GSM";
        break;
    case 4:
        codec.name = "G723";
        break;
    case 8:
        codec.name = "PCMA";
        break;
    case 9:
        codec.name = "G722";
        break;
    case 13:
        codec.name = "CN";
        break;
    case 18:
        codec.name = "G729";
        break;
    default:
        return codec;
    }
    codec.rate = 8000;
    return codec;
}

// "IN IP4 <address>[/ttl]": the address, or "" when the line is not of that form.
std::string ConnectionAddress(std::string_view value) {
    std::vector<std::string_view> f = Fields(value);
    if (f.size() < 3 || f[0] != "IN") {
        return std::string();
    }
    std::string_view address = f[2];
    size_t slash = address.find('/');
    return std::string(address.substr(0, slash));
}

void ApplyRtpmap(SdpContents::Medium& medium, std::string_view value) {
    std::vector<std::string_view> f = Fields(value);
    if (f.size() < 2) {
        return;
    }
    int payloadType = ParseNumber(f[0]);
    std::string_view encoding = f[1];
    size_t slash = encoding.find('/');
    if (payloadType < 0 || slash == std::string_view::npos || slash == 0) {
        return; // no type, or no encoding name: no mapping
    }
    std::string_view rest = encoding.substr(slash + 1);
    size_t second = rest.find('/');
    int rate = ParseNumber(rest.substr(0, second));
    // A payload type listed twice means the same codec both times.
    for (SdpContents::Codec& codec : medium.codecs) {
        if (codec.payloadType == payloadType) {
            codec.name = std::string(encoding.substr(0, slash));
            codec.rate = rate < 0 ? 0 : rate;
            codec.parameters = second == std::string_view::npos
                                   ? std::string()
                                   : std::string(rest.substr(second + 1));
        }
    }
}

// A field that must stay one token: blanks and control characters become '_', so no value
// (an account name with a space, say) can split or end its line.
std::string Token(const std::string& text) {
    std::string out = text.empty() ? std::string("-") : text;
    for (char& c : out) {
        if (static_cast<unsigned char>(c) <= ' ' || c == 0x7f) {
            c = '_';
        }
    }
    return out;
}

// A free-text field: only control characters are replaced.
std::string Text(const std::string& text) {
    std::string out = text;
    for (char& c : out) {
        if (static_cast<unsigned char>(c) < ' ' || c == 0x7f) {
            c = '_';
        }
    }
    return out;
}

} // namespace

std::optional<std::string> SdpContents::Medium::attribute(std::string_view name) const {
    for (const auto& [key, value] : attributes) {
        if (key == name) {
            return value;
        }
    }
    return std::nullopt;
}

std::optional<SdpContents> SdpContents::parse(std::string_view text) {
    SdpContents sdp;
    sdp.sessionName_.clear();
    Medium* medium = nullptr;
    bool sawVersion = false;
    bool skipping = false; // inside a medium past the limit
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        if (line.empty()) {
            continue;
        }
        if (!sawVersion) {
            if (line != "v=0") {
                return std::nullopt;
            }
            sawVersion = true;
            continue;
        }
        if (line.size() < 2 || line[1] != '=') {
            continue;
        }
        char type = line[0];
        std::string_view value = line.substr(2);
        if (type == 'm') {
            if (sdp.media_.size() >= kMaxMedia) {
                medium = nullptr;
                skipping = true;
                continue;
            }
            skipping = false;
            std::vector<std::string_view> f = Fields(value);
            Medium m;
            if (!f.empty()) {
                m.name = std::string(f[0]);
            }
            if (f.size() > 1) {
                std::string_view port = f[1];
                size_t slash = port.find('/');
                int number = ParseNumber(port.substr(0, slash));
                m.port = number <= 65535 ? number : -1;
                if (slash != std::string_view::npos) {
                    int count = ParseNumber(port.substr(slash + 1));
                    m.portCount = count < 0 ? 0 : count;
                }
            }
            if (f.size() > 2) {
                m.protocol = std::string(f[2]);
            }
            for (size_t i = 3; i < f.size() && m.codecs.size() < kMaxCodecs; ++i) {
                int payloadType = ParseNumber(f[i]);
                if (payloadType >= 0 && payloadType <= 127) {
                    m.codecs.push_back(StaticCodec(payloadType));
                }
            }
            sdp.media_.push_back(std::move(m));
            medium = &sdp.media_.back();
            continue;
        }
        if (skipping) {
            continue;
        }
        switch (type) {
        case 'o': {
            std::vector<std::string_view> f = Fields(value);
            if (f.size() >= 6) {
                sdp.origin_.user = std::string(f[0]);
                sdp.origin_.sessionId = std::string(f[1]);
                sdp.origin_.version = std::string(f[2]);
                sdp.origin_.address = std::string(f[5]);
            }
            break;
        }
        case 's':
            sdp.sessionName_ = std::string(value);
            break;
        case 'c':
            (medium ? medium->connectionAddress : sdp.connection_) = ConnectionAddress(value);
            break;
        case 'a':
            if (!medium) {
                break;
            }
            if (value.substr(0, 7) == "rtpmap:") {
                ApplyRtpmap(*medium, value.substr(7));
            } else if (medium->attributes.size() < kMaxAttributes) {
                size_t colon = value.find(':');
                medium->attributes.emplace_back(std::string(value.substr(0, colon)),
                                                colon == std::string_view::npos
                                                    ? std::string()
                                                    : std::string(value.substr(colon + 1)));
            }
            break;
        default:
            break;
        }
    }
    if (!sawVersion) {
        return std::nullopt;
    }
    return sdp;
}

std::string SdpContents::encode() const {
    std::string text = "v=0\r\n";
    text += "o=" + Token(origin_.user) + " " + Token(origin_.sessionId) + " " +
            Token(origin_.version) + " IN IP4 " + Token(origin_.address) + "\r\n";
    text += "s=" + Text(sessionName_.empty() ? std::string("-") : sessionName_) + "\r\n";
    if (!connection_.empty()) {
        text += "c=IN IP4 " + Token(connection_) + "\r\n";
    }
    text += "t=0 0\r\n";
    for (const Medium& m : media_) {
        text += "m=" + Token(m.name) + " " + std::to_string(m.port < 0 ? 0 : m.port);
        if (m.portCount > 0) {
            text += "/" + std::to_string(m.portCount);
        }
        text += " " + Token(m.protocol);
        for (const Codec& codec : m.codecs) {
            text += " " + std::to_string(codec.payloadType);
        }
        text += "\r\n";
        if (!m.connectionAddress.empty()) {
            text += "c=IN IP4 " + Token(m.connectionAddress) + "\r\n";
        }
        for (const Codec& codec : m.codecs) {
            if (!codec.name.empty()) {
                text += "a=rtpmap:" + std::to_string(codec.payloadType) + " " + Token(codec.name) +
                        "/" + std::to_string(codec.rate);
                if (!codec.parameters.empty()) {
                    text += "/" + Token(codec.parameters);
                }
                text += "\r\n";
            }
        }
        for (const auto& [key, value] : m.attributes) {
            text += "a=" + Token(key) + (value.empty() ? "" : ":" + Text(value)) + "\r\n";
        }
    }
    return text;
}

const SdpContents::Medium* SdpContents::firstAudio() const {
    for (const Medium& m : media_) {
        if (m.name == "audio") {
            return &m;
        }
    }
    return nullptr;
}

std::string SdpContents::connectionFor(const Medium& medium) const {
    return medium.connectionAddress.empty() ? connection_ : medium.connectionAddress;
}

} // namespace sipua
