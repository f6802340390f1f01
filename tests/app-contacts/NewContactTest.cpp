// The new-contact dialog on the fake dialog factory: its texts, its checks and the lengths it
// hands back.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "app/contacts/NewContact.h"
#include "platform/ui/RecordingMessageBoxSink.h"
#include "platform/ui/dialog/testing/FakeDialogFactory.h"
#include "tests/app-contacts/ContactStoreFixture.h"

namespace {

const char kMissing[] = "You must supply all data fields";
const char kTaken[] = "A contact with this name already exists";

class NewContactTest : public ContactStoreFixture {
protected:
    void SetUp() override {
        ContactStoreFixture::SetUp();
        PlantContact("00", "Alice", "5551000");
        PlantContact("01", "Bob", "5552000");
        PlantContact("02", std::string(23, 'b'), "5554000");
    }

    ContactBook book_{Reg()};
    plat::FakeDialogFactory dialogs_;
    plat::RecordingMessageBoxSink boxes_;
};

TEST_F(NewContactTest, ShowsItsTextsAndStartsFromTheDialedOrStoredContact) {
    const std::string accented = std::string(23, 'x') + "\xC3\xA9";
    struct Case {
        NewContact::Mode mode;
        std::string number, name, shown; // shown: title|number|name|label|OK|Cancel
    } cases[] = {
        {NewContact::kNew, "5553000", "ignored", "New Contact|5553000||Name|Save|Cancel"},
        {NewContact::kEdit, "5551000", "Alice", "Edit Contact|5551000|Alice|Name|Save|Cancel"},
        // Stored texts longer than their edits show cut between characters.
        {NewContact::kEdit, std::string(45, '7'), accented,
         "Edit Contact|" + std::string(39, '7') + "|" + std::string(23, 'x') + "|Name|Save|Cancel"},
    };
    for (const Case& c : cases) {
        std::string shown;
        dialogs_.QueueScript([&shown](plat::FakeDialog& d) {
            shown = d.Title();
            for (int id : {NewContact::kNumberEdit, NewContact::kNameEdit, NewContact::kNameLabel,
                           plat::kIdOk, plat::kIdCancel}) {
                shown += "|" + d.GetText(id);
            }
            d.Close();
        });
        NewContact dialog(book_, c.mode, c.number, c.name, 0);
        EXPECT_EQ(dialog.DoModal(nullptr), plat::kIdCancel);
        EXPECT_EQ(shown, c.shown);
    }
    EXPECT_TRUE(boxes_.Requests().empty());
}

TEST_F(NewContactTest, SavesOnlyCompleteUnusedNamesCutAsTheStoreKeepsThem) {
    // "a" and twelve two-byte characters: 25 bytes, of which the first 23 are kept.
    std::string accents = "a";
    for (int i = 0; i < 12; ++i) {
        accents += "\xC3\xA9";
    }
    struct Case {
        const char* what;
        NewContact::Mode mode;
        int slot;
        std::string startNumber;
        std::optional<std::string> typeName, typeNumber;
        const char* box; // the message shown, or null when the dialog saves
        std::string name = {}, number = {};
    } cases[] = {
        {"no name", NewContact::kNew, -1, "5553000", std::nullopt, std::nullopt, kMissing},
        {"no number", NewContact::kNew, -1, "", "Carl", std::nullopt, kMissing},
        {"number wiped", NewContact::kEdit, 1, "5552000", "Bob", "", kMissing},
        {"another's name, other case", NewContact::kNew, -1, "5553000", "aLICE", std::nullopt,
         kTaken},
        {"edit to another's name", NewContact::kEdit, 0, "5551000", "BOB", std::nullopt, kTaken},
        {"edit keeping its name", NewContact::kEdit, 0, "5551000", "alice", std::nullopt, nullptr,
         "alice", "5551000"},
        {"new", NewContact::kNew, -1, "5553000", "Carl", std::nullopt, nullptr, "Carl", "5553000"},
        // The edits hold 24 and 39 characters.
        {"long texts", NewContact::kNew, -1, "", std::string(30, 'n'), std::string(45, '9'),
         nullptr, std::string(24, 'n'), std::string(39, '9')},
        // A two-byte character across the 24th byte is left out whole.
        {"cut between characters", NewContact::kNew, -1, "5553000", accents, std::nullopt, nullptr,
         accents.substr(0, 23), "5553000"},
        // The name is checked as it would be stored: cut, it is another's.
        {"another's once cut", NewContact::kNew, -1, "5553000", std::string(23, 'b') + "\xC3\xA9",
         std::nullopt, kTaken},
    };
    for (const Case& c : cases) {
        boxes_.Clear();
        dialogs_.QueueScript([&c](plat::FakeDialog& d) {
            if (c.typeName) {
                d.Type(NewContact::kNameEdit, *c.typeName);
            }
            if (c.typeNumber) {
                d.Type(NewContact::kNumberEdit, *c.typeNumber);
            }
            d.Click(plat::kIdOk);
            if (!d.Ended()) {
                d.Close();
            }
        });
        NewContact dialog(book_, c.mode, c.startNumber, "x", c.slot);
        EXPECT_EQ(dialog.DoModal(nullptr), c.box ? plat::kIdCancel : plat::kIdOk) << c.what;
        ASSERT_EQ(boxes_.Requests().size(), c.box ? 1u : 0u) << c.what;
        if (c.box) {
            EXPECT_EQ(boxes_.Requests()[0].text, c.box) << c.what;
            EXPECT_EQ(boxes_.Requests()[0].flags, plat::kMbOk | plat::kMbIconStop);
        } else {
            EXPECT_EQ(dialog.Name(), c.name) << c.what;
            EXPECT_EQ(dialog.Number(), c.number) << c.what;
        }
    }
}

} // namespace
