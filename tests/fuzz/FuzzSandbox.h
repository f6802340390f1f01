#pragma once
#include <stdlib.h>

#include <string>

#include "media/graph/AudioSampleManager.h"
#include "platform/store/Registry.h"

namespace tamsor {

// What an engine fuzz harness needs around it for the whole run: a registry of its own in a
// temporary directory (the components read their settings) and the sample pool.
struct FuzzSandbox {
    std::string dir;
    plat::Registry* registry = nullptr;

    FuzzSandbox() {
        char tmpl[] = "/tmp/qvfuzzXXXXXX";
        dir = mkdtemp(tmpl) ? tmpl : "/tmp";
        registry = new plat::Registry(dir + "/registry.sqlite3");
        plat::Registry::SetCurrentUserForTests(registry);
        AudioSampleManager::Init();
    }
    ~FuzzSandbox() {
        AudioSampleManager::Shutdown();
        plat::Registry::SetCurrentUserForTests(nullptr);
        delete registry;
        std::string cmd = "rm -rf '" + dir + "'";
        if (system(cmd.c_str()) != 0) {
            // A leftover temporary directory is harmless.
        }
    }
    FuzzSandbox(const FuzzSandbox&) = delete;
    FuzzSandbox& operator=(const FuzzSandbox&) = delete;
};

} // namespace tamsor
