#include "media/base/RegistryValues.h"

#include <gtest/gtest.h>

#include <atomic>
#include <clocale>
#include <cstdlib>
#include <thread>
#include <vector>

#include "tests/support/RegistrySandbox.h"
#include "tests/support/RunningUnderCi.h"

using namespace tamsor;

using plat::Registry;

namespace {

class RegistryValuesTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(sandbox_.Dir(), "/tmp"); // the sandbox got a directory of its own
        ASSERT_TRUE(reg_->IsOpen());
        ASSERT_EQ(reg_->CreateKey(kRegSettingsKey, &settings_), plat::kErrorSuccess);
    }

    void Store(const char* name, uint32_t type, const std::string& bytes) {
        ASSERT_EQ(reg_->SetValue(settings_, name, type, bytes.data(),
                                 static_cast<uint32_t>(bytes.size())),
                  plat::kErrorSuccess);
    }
    // The stored value as (type, bytes); type 0 when missing.
    std::pair<uint32_t, std::string> Stored(const char* name) {
        uint32_t type = 0;
        uint32_t size = 0;
        if (reg_->QueryValue(settings_, name, &type, nullptr, &size) != plat::kErrorSuccess) {
            return {0, ""};
        }
        std::string data(size, '\0');
        EXPECT_EQ(reg_->QueryValue(settings_, name, &type, data.data(), &size),
                  plat::kErrorSuccess);
        return {type, data};
    }

    RegistrySandbox sandbox_; // the current user's registry for the test
    Registry* reg_ = &sandbox_.Registry();
    Registry::Key settings_;
};

TEST_F(RegistryValuesTest, BoolsAreTheTextTrueInAnyCase) {
    EXPECT_TRUE(GetRegistryBool(kRegSettingsKey, kRegLimitVolume, kDefaultLimitVolume));
    EXPECT_EQ(Stored(kRegLimitVolume), std::make_pair(plat::kRegSz, std::string("true", 5)));
    EXPECT_FALSE(GetRegistryBool(kRegSettingsKey, kRegForceVADOff, kDefaultForceVADOff));
    EXPECT_EQ(Stored(kRegForceVADOff), std::make_pair(plat::kRegSz, std::string("false", 6)));

    Store(kRegLimitVolume, plat::kRegSz, std::string("TRUE", 5));
    EXPECT_TRUE(GetRegistryBool(*reg_, kRegSettingsKey, kRegLimitVolume, false));
    Store(kRegLimitVolume, plat::kRegSz, "True"); // unterminated
    EXPECT_TRUE(GetRegistryBool(*reg_, kRegSettingsKey, kRegLimitVolume, false));
    Store(kRegLimitVolume, plat::kRegSz, std::string("yes", 4));
    EXPECT_FALSE(GetRegistryBool(*reg_, kRegSettingsKey, kRegLimitVolume, true));
    Store(kRegLimitVolume, plat::kRegSz, std::string("true ", 6));
    EXPECT_FALSE(GetRegistryBool(*reg_, kRegSettingsKey, kRegLimitVolume, true));
    Store(kRegLimitVolume, plat::kRegDword, std::string("\1\0\0\0", 4));
    EXPECT_FALSE(GetRegistryBool(*reg_, kRegSettingsKey, kRegLimitVolume, true));
    // A present value is read, never replaced by the default.
    EXPECT_EQ(Stored(kRegLimitVolume).first, plat::kRegDword);
}

TEST_F(RegistryValuesTest, DwordsReadTheRawBytesOfWhateverIsStored) {
    EXPECT_EQ(GetRegistryDword(kRegSettingsKey, kRegTransmitTOS, kDefaultTransmitTOS), 184u);
    EXPECT_EQ(Stored(kRegTransmitTOS),
              std::make_pair(plat::kRegDword, std::string("\xB8\0\0\0", 4)));

    Store(kRegTransmitTOS, plat::kRegDword, std::string("\x01\x02\x03\x04", 4));
    EXPECT_EQ(GetRegistryDword(*reg_, kRegSettingsKey, kRegTransmitTOS, 0), 0x04030201u);
    Store(kRegTransmitTOS, plat::kRegSz, std::string("ab", 3));
    EXPECT_EQ(GetRegistryDword(*reg_, kRegSettingsKey, kRegTransmitTOS, 0), 0x6261u);
    EXPECT_EQ(Stored(kRegTransmitTOS).first, plat::kRegSz);

    // Data longer than a DWORD is replaced by the default.
    Store(kRegTransmitTOS, plat::kRegSz, std::string("hello", 6));
    EXPECT_EQ(GetRegistryDword(*reg_, kRegSettingsKey, kRegTransmitTOS, 7), 7u);
    EXPECT_EQ(Stored(kRegTransmitTOS),
              std::make_pair(plat::kRegDword, std::string("\x07\0\0\0", 4)));

    // Value names ignore case like key paths.
    EXPECT_EQ(
        GetRegistryDword(*reg_, "software\\ostrel systems\\qrzmediaterm\\1.0", "transmittos", 0),
        7u);
}

TEST_F(RegistryValuesTest, StringsStopAtTheirZeroOrTheirEnd) {
    EXPECT_EQ(GetRegistryString(kRegSettingsKey, "Fresh", "dflt"), "dflt");
    EXPECT_EQ(Stored("Fresh"), std::make_pair(plat::kRegSz, std::string("dflt", 5)));

    Store("Fresh", plat::kRegSz, std::string("one\0two", 8));
    EXPECT_EQ(GetRegistryString(kRegSettingsKey, "Fresh", "dflt"), "one");
    Store("Fresh", plat::kRegSz, "abc"); // no terminator: read exactly its bytes
    EXPECT_EQ(GetRegistryString(kRegSettingsKey, "Fresh", "dflt"), "abc");

    // 1000 bytes fill the reader's buffer exactly and are read whole, even unterminated.
    Store("Fresh", plat::kRegSz, std::string(1000, 'x'));
    EXPECT_EQ(GetRegistryString(kRegSettingsKey, "Fresh", "dflt"), std::string(1000, 'x'));

    // A text longer than the buffer is overwritten with the default by the read.
    Store("Fresh", plat::kRegSz, std::string(1500, 'y'));
    EXPECT_EQ(GetRegistryString(kRegSettingsKey, "Fresh", "dflt"), "dflt");
    EXPECT_EQ(Stored("Fresh"), std::make_pair(plat::kRegSz, std::string("dflt", 5)));
    Store(kRegLimitVolume, plat::kRegSz, std::string(1001, 'z'));
    EXPECT_TRUE(GetRegistryBool(kRegSettingsKey, kRegLimitVolume, true));
    EXPECT_EQ(Stored(kRegLimitVolume), std::make_pair(plat::kRegSz, std::string("true", 5)));
}

TEST_F(RegistryValuesTest, DoublesParseTheLongestNumberPrefix) {
    EXPECT_DOUBLE_EQ(
        GetRegistryDouble(kRegSettingsKey, kRegLimiterThreshold, kDefaultLimiterThreshold), -8.0);
    EXPECT_EQ(Stored(kRegLimiterThreshold), std::make_pair(plat::kRegSz, std::string("-8.0", 5)));
    EXPECT_DOUBLE_EQ(
        GetRegistryDouble(kRegSettingsKey, kRegLimiterLossDecrement, kDefaultLimiterLossDecrement),
        -0.00075);

    Store(kRegLimiterThreshold, plat::kRegSz, std::string("-6.5abc", 8));
    EXPECT_DOUBLE_EQ(GetRegistryDouble(kRegSettingsKey, kRegLimiterThreshold, "1"), -6.5);
    Store(kRegLimiterThreshold, plat::kRegSz, std::string("abc", 4));
    EXPECT_DOUBLE_EQ(GetRegistryDouble(kRegSettingsKey, kRegLimiterThreshold, "1"), 0.0);
    Store(kRegLimiterThreshold, plat::kRegSz, std::string(" \t 0.075", 9));
    EXPECT_DOUBLE_EQ(GetRegistryDouble(kRegSettingsKey, kRegLimiterThreshold, "1"), 0.075);
    EXPECT_DOUBLE_EQ(ParseRegistryDouble("1e2x"), 100.0);
    EXPECT_DOUBLE_EQ(ParseRegistryDouble(""), 0.0);
}

TEST_F(RegistryValuesTest, DoublesIgnoreACommaDecimalLocale) {
    const char* previous = std::setlocale(LC_NUMERIC, nullptr);
    std::string saved = previous ? previous : "C";
    const char* found = nullptr;
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8", "de_DE",
                             "nl_NL.UTF-8", "ru_RU.UTF-8"}) {
        if (std::setlocale(LC_NUMERIC, name)) {
            found = name;
            break;
        }
    }
    if (!found) {
        ASSERT_FALSE(RunningUnderCi()) << "no locale with a decimal comma under CI";
        GTEST_SKIP() << "no locale with a decimal comma is installed";
    }
    ASSERT_EQ(std::strtod("0,5", nullptr), 0.5) << found << " does not use a decimal comma";
    double threshold = 0;
    double decrement = 0;
    double comma = 0;
    Store(kRegLimiterThreshold, plat::kRegSz, std::string("-6.5abc", 8));
    threshold = GetRegistryDouble(kRegSettingsKey, kRegLimiterThreshold, "1");
    decrement =
        GetRegistryDouble(kRegSettingsKey, kRegLimiterLossDecrement, kDefaultLimiterLossDecrement);
    comma = ParseRegistryDouble("2,5");
    std::setlocale(LC_NUMERIC, saved.c_str());
    EXPECT_DOUBLE_EQ(threshold, -6.5);
    EXPECT_DOUBLE_EQ(decrement, -0.00075);
    EXPECT_DOUBLE_EQ(comma, 2.0);
}

TEST_F(RegistryValuesTest, WritersStoreTextWithItsZeroAndDwords) {
    EXPECT_EQ(SetRegistryString(kRegSettingsKey, kRegRTPTransmitCodec, "PCMU"), 0);
    EXPECT_EQ(Stored(kRegRTPTransmitCodec), std::make_pair(plat::kRegSz, std::string("PCMU", 5)));
    EXPECT_EQ(SetRegistryString(kRegSettingsKey, kRegDestinationAddress, ""), 0);
    EXPECT_EQ(Stored(kRegDestinationAddress), std::make_pair(plat::kRegSz, std::string(1, '\0')));

    EXPECT_EQ(SetRegistryDword(kRegSettingsKey, kRegDestinationPort, 5004), 5004);
    EXPECT_EQ(Stored(kRegDestinationPort),
              std::make_pair(plat::kRegDword, std::string("\x8C\x13\0\0", 4)));
    // The largest DWORD is returned as itself, never mistaken for an error code.
    EXPECT_EQ(SetRegistryDword(*reg_, kRegSettingsKey, kRegTransmitPort, 0xFFFFFFFFu), 4294967295L);
    EXPECT_EQ(GetRegistryDword(kRegSettingsKey, kRegTransmitPort, 0), 0xFFFFFFFFu);

    // A new key is made by the writer.
    EXPECT_EQ(SetRegistryDword(kRegTracingKey, kRegAllComponents, 5), 5);
    EXPECT_EQ(GetRegistryDword(kRegTracingKey, kRegAllComponents, 0), 5u);
}

TEST_F(RegistryValuesTest, AnUnusableRegistryGivesDefaultsAndErrorCodes) {
    Registry broken(sandbox_.Dir() + "/missing/dir/registry.sqlite3");
    ASSERT_FALSE(broken.IsOpen());
    EXPECT_TRUE(GetRegistryBool(broken, kRegSettingsKey, kRegLimitVolume, true));
    EXPECT_FALSE(GetRegistryBool(broken, kRegSettingsKey, kRegForceVADOff, false));
    EXPECT_EQ(GetRegistryString(broken, kRegSettingsKey, "Name", "dflt"), "dflt");
    EXPECT_EQ(GetRegistryDword(broken, kRegSettingsKey, kRegTransmitTOS, 184), 184u);
    EXPECT_DOUBLE_EQ(GetRegistryDouble(broken, kRegSettingsKey, kRegLimiterThreshold, "-8.0"),
                     -8.0);
    EXPECT_EQ(SetRegistryString(broken, kRegSettingsKey, "Name", "x"), kRegOpenFailed);
    EXPECT_EQ(SetRegistryDword(broken, kRegSettingsKey, "Port", 1), kRegOpenFailed);
}

TEST_F(RegistryValuesTest, ThreadsReadingOneMissingValueAllSeeTheDefaultOnce) {
    constexpr int kThreads = 8;
    constexpr int kRounds = 20;
    for (int round = 0; round < kRounds; ++round) {
        std::string name = "Racy" + std::to_string(round);
        std::atomic<int> ready{0};
        std::vector<uint32_t> dwords(kThreads);
        std::vector<int> bools(kThreads);
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([&, t] {
                ready.fetch_add(1);
                while (ready.load() < kThreads) {
                }
                dwords[t] = GetRegistryDword(kRegTracingKey, name, kDefaultComponentTraceLevel);
                bools[t] = GetRegistryBool(kRegSettingsKey, name, true) ? 1 : 0;
            });
        }
        for (auto& th : threads) {
            th.join();
        }
        for (int t = 0; t < kThreads; ++t) {
            EXPECT_EQ(dwords[t], kDefaultComponentTraceLevel);
            EXPECT_EQ(bools[t], 1);
        }
    }
    Registry::Key tracing;
    ASSERT_EQ(reg_->OpenKey(kRegTracingKey, &tracing), plat::kErrorSuccess);
    std::vector<Registry::Value> values;
    ASSERT_EQ(reg_->EnumValues(tracing, &values), plat::kErrorSuccess);
    EXPECT_EQ(values.size(), static_cast<size_t>(kRounds));
    ASSERT_EQ(reg_->EnumValues(settings_, &values), plat::kErrorSuccess);
    EXPECT_EQ(values.size(), static_cast<size_t>(kRounds));
    std::vector<std::string> keys;
    Registry::Key vendor;
    ASSERT_EQ(reg_->OpenKey("Software\\Ostrel Systems", &vendor), plat::kErrorSuccess);
    ASSERT_EQ(reg_->EnumKeys(vendor, &keys), plat::kErrorSuccess);
    EXPECT_EQ(keys, (std::vector<std::string>{"QRZMediaTerm", "VKD"}));
}

} // namespace
