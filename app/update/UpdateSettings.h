#pragma once
#include <string>

#include "platform/desktop/HttpClient.h"

// Where the update client finds its server and keeps its files:
//   baseUrl       deployment.ini [service] update_server: a URL ("https://host/dir/") or a
//                 bare host (then "http://host/"); always ending in '/'. Empty: no updates.
//   versionFile   version.txt in the data dir
//   downloadDir   the data dir's own folder for downloaded installers
//   settingsIni   quorvix.ini in the config dir (DelayDownload)
//   programPath   this program, handed to the installer
//   caFile        deployment.ini [service] update_ca_file: the certificates that verify the
//                 update server, for a server under a private authority (empty: the system's)
//   limits        when a request to the server is given up (a download slower than 1 kB/s
//                 for 60 s); tests shorten them
struct UpdateSettings {
    std::string baseUrl;
    std::string versionFile;
    std::string downloadDir;
    std::string settingsIni;
    std::string programPath;
    std::string caFile;
    plat::HttpLimits limits;

    static UpdateSettings Load();
    // The base URL for an update_server value.
    static std::string BaseUrl(const std::string& setting);
};
