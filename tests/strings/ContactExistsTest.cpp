#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <unistd.h>

#include "app/strings/ContactExists.h"
#include "platform/store/Registry.h"

namespace {

class ContactExistsTest : public ::testing::Test {
protected:
    void SetUp() override {
        char dir[] = "/tmp/quorvex-contacts-XXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        dir_ = dir;
        registry_ = std::make_unique<plat::Registry>(dir_ + "/registry.sqlite3");
        ASSERT_TRUE(registry_->IsOpen());
        previous_ = plat::Registry::SetCurrentUserForTests(registry_.get());
    }
    void TearDown() override {
        plat::Registry::SetCurrentUserForTests(previous_);
        registry_.reset();
        std::filesystem::remove_all(dir_);
    }

    void AddContact(const char* slot, const std::string& name, const std::string& number,
                    bool withNul = true) {
        plat::Registry::Key key;
        ASSERT_EQ(registry_->CreateKey(std::string("Software\\Quorvex\\Contacts\\") + slot, &key),
                  plat::kErrorSuccess);
        if (!name.empty()) {
            ASSERT_EQ(registry_->SetValue(key, "name", plat::kRegSz, name.c_str(),
                                          static_cast<uint32_t>(name.size() + (withNul ? 1 : 0))),
                      plat::kErrorSuccess);
        }
        ASSERT_EQ(registry_->SetValue(key, "", plat::kRegSz, number.c_str(),
                                      static_cast<uint32_t>(number.size() + 1)),
                  plat::kErrorSuccess);
    }

    std::string dir_;
    std::unique_ptr<plat::Registry> registry_;
    plat::Registry* previous_ = nullptr;
};

TEST_F(ContactExistsTest, WithoutContactsNothingExistsAndNothingIsCreated) {
    EXPECT_FALSE(ContactExists("Alice"));
    EXPECT_FALSE(registry_->KeyExists("Software\\Quorvex\\Contacts"));
    EXPECT_FALSE(registry_->KeyExists("Software\\Quorvix\\Contacts"));
    plat::Registry::Key key;
    ASSERT_EQ(registry_->CreateKey("Software\\Quorvex\\Contacts", &key), plat::kErrorSuccess);
    EXPECT_FALSE(ContactExists("Alice"));
    EXPECT_FALSE(ContactExists(nullptr));
}

TEST_F(ContactExistsTest, ComparesTheStoredNamesIgnoringCase) {
    AddContact("00", "Alice", "5551234");
    AddContact("02", "Bob", "5559876", /*withNul=*/false);
    AddContact("03", "", "5550000"); // a contact without a name
    EXPECT_TRUE(ContactExists("Alice"));
    EXPECT_TRUE(ContactExists("aLICE"));
    EXPECT_TRUE(ContactExists("BOB"));
    EXPECT_FALSE(ContactExists("Ali"));
    EXPECT_FALSE(ContactExists("Alice "));
    EXPECT_FALSE(ContactExists("5551234")); // numbers are not names
    EXPECT_FALSE(ContactExists(""));
}

} // namespace
