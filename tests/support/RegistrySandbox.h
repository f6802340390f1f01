#pragma once
#include <memory>
#include <string>

#include "platform/store/Registry.h"
#include "tests/support/TestFolder.h"

// Puts a fresh registry in a temporary directory in place of the current user's for the life
// of the object, so tests never touch the real one.
class RegistrySandbox {
public:
    RegistrySandbox()
        : registry_(std::make_unique<plat::Registry>(folder_.File("registry.sqlite3"))),
          previous_(plat::Registry::SetCurrentUserForTests(registry_.get())) {}
    ~RegistrySandbox() {
        plat::Registry::SetCurrentUserForTests(previous_);
        registry_.reset();
    }
    RegistrySandbox(const RegistrySandbox&) = delete;
    RegistrySandbox& operator=(const RegistrySandbox&) = delete;

    plat::Registry& Registry() { return *registry_; }
    const std::string& Dir() const { return folder_.Path(); }

private:
    TestFolder folder_; // removed after the registry closed
    std::unique_ptr<plat::Registry> registry_;
    plat::Registry* previous_ = nullptr;
};
