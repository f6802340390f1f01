#pragma once
#include <string>
#include <vector>

#include <sys/types.h>

// Runs tests/sip/scripted_registrar.py on loopback for one test and reads back every datagram
// it received. Started in the constructor; ok() says whether it came up.
class ScriptedRegistrar {
public:
    struct Datagram {
        std::string source;      // "ip:port"
        std::string destination; // "ip:port"
        std::string text;
    };

    // `listen`: addresses such as "127.0.0.2:5082"; `mode` and `expires` as the script takes.
    ScriptedRegistrar(const std::vector<std::string>& listen, const std::string& mode = "normal",
                      int expires = 3600, const std::string& realm = "registrar.quorvex.test");
    ~ScriptedRegistrar();
    ScriptedRegistrar(const ScriptedRegistrar&) = delete;
    ScriptedRegistrar& operator=(const ScriptedRegistrar&) = delete;

    bool ok() const { return pid_ > 0; }
    std::vector<Datagram> Received() const;
    // Datagrams whose request line starts with `method` + " ".
    std::vector<Datagram> Requests(const std::string& method) const;

    // Waits up to `ms` for at least `count` requests of `method`; returns what was received.
    std::vector<Datagram> WaitForRequests(const std::string& method, size_t count,
                                          int ms = 1000) const;

    // The value of a header in a message text, or "".
    static std::string Header(const std::string& text, const std::string& name);

private:
    pid_t pid_ = -1;
    std::string dir_;
};
