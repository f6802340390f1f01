#include <gtest/gtest.h>

#include <string>

#include "app/strings/ContactExists.h"
#include "platform/store/Registry.h"
#include "tests/support/RegistrySandbox.h"

namespace {

class ContactExistsTest : public ::testing::Test {
protected:
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

    RegistrySandbox sandbox_;
    plat::Registry* registry_ = &sandbox_.Registry();
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
