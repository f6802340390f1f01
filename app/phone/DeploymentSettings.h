#pragma once
#include <string>

// What a deployment fixes about the service, from deployment.ini [service] beside the program
// (QUORVEX_DEPLOYMENT=<file> names another file):
//   sip_server        the SIP server host; also the digest realm
//   outbound_proxy    the outbound proxy host
//   sip_bind_address  the local address of the SIP transport (default 0.0.0.0)
struct DeploymentSettings {
    std::string sipServerHost;
    std::string outboundProxyHost;
    std::string sipBindAddress = "0.0.0.0";

    // The file in use: $QUORVEX_DEPLOYMENT, else deployment.ini in the program dir.
    static std::string FilePath();
    // Reads the file in use; missing keys keep their defaults (traced).
    static DeploymentSettings Load();
    static DeploymentSettings LoadFrom(const std::string& path);
};
