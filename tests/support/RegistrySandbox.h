#pragma once
#include <stdlib.h>

#include <memory>
#include <string>

#include "platform/store/Registry.h"

// Puts a fresh registry in a temporary directory in place of the current user's for the life
// of the object, so tests never touch the real one.
class RegistrySandbox {
public:
    RegistrySandbox() {
        char tmpl[] = "/tmp/qvregXXXXXX";
        dir_ = mkdtemp(tmpl) ? tmpl : "/tmp";
        registry_ = std::make_unique<plat::Registry>(dir_ + "/registry.sqlite3");
        previous_ = plat::Registry::SetCurrentUserForTests(registry_.get());
    }
    ~RegistrySandbox() {
        plat::Registry::SetCurrentUserForTests(previous_);
        registry_.reset();
        std::string cmd = "rm -rf '" + dir_ + "'";
        if (system(cmd.c_str()) != 0) {
            // Leftover temp files are harmless.
        }
    }
    RegistrySandbox(const RegistrySandbox&) = delete;
    RegistrySandbox& operator=(const RegistrySandbox&) = delete;

    plat::Registry& Registry() { return *registry_; }
    const std::string& Dir() const { return dir_; }

private:
    std::string dir_;
    std::unique_ptr<plat::Registry> registry_;
    plat::Registry* previous_ = nullptr;
};
