#pragma once
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "app/trace/TraceFile.h"
#include "platform/store/Registry.h"
#include "tests/support/RecordingTraceLog.h"
#include "tests/support/RegistrySandbox.h"

// A temporary store with helpers that plant entries exactly as given (missing values, values of
// other types, strings without their NUL), and a trace log that records what the store traced.
class ContactStoreFixture : public ::testing::Test {
protected:
    void SetUp() override { previousTrace_ = g_pTrace.exchange(&trace_); }
    void TearDown() override { g_pTrace.store(previousTrace_); }

    plat::Registry& Reg() { return sandbox_.Registry(); }

    // Creates the key at `path` and writes the given string values (with their NUL unless
    // `withNul` is false); a missing optional is left unwritten.
    void Plant(const std::string& path, const std::optional<std::string>& name,
               const std::optional<std::string>& number, bool withNul = true) {
        plat::Registry::Key key;
        ASSERT_EQ(Reg().CreateKey(path, &key), plat::kErrorSuccess);
        uint32_t extra = withNul ? 1 : 0;
        if (name) {
            ASSERT_EQ(Reg().SetValue(key, "name", plat::kRegSz, name->c_str(),
                                     static_cast<uint32_t>(name->size()) + extra),
                      plat::kErrorSuccess);
        }
        if (number) {
            ASSERT_EQ(Reg().SetValue(key, "", plat::kRegSz, number->c_str(),
                                     static_cast<uint32_t>(number->size()) + extra),
                      plat::kErrorSuccess);
        }
    }
    void PlantContact(const std::string& slot, const std::optional<std::string>& name,
                      const std::optional<std::string>& number) {
        Plant("Software\\Quorvex\\Contacts\\" + slot, name, number);
    }

    // The raw bytes of a value; nothing when it is missing.
    std::optional<std::string> Raw(const std::string& path, const char* name) {
        plat::Registry::Key key;
        if (Reg().OpenKey(path, &key) != plat::kErrorSuccess) {
            return std::nullopt;
        }
        char buffer[256];
        uint32_t size = sizeof buffer;
        if (Reg().QueryValue(key, name, nullptr, buffer, &size) != plat::kErrorSuccess) {
            return std::nullopt;
        }
        return std::string(buffer, size);
    }

    RegistrySandbox sandbox_;
    RecordingTraceLog trace_;

private:
    iTraceFile* previousTrace_ = nullptr;
};
