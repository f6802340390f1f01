#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/contacts/ContactBook.h"
#include "tests/app-contacts/ContactStoreFixture.h"

namespace {

const std::string kContacts = "Software\\Quorvex\\Contacts\\";

class ContactBookTest : public ContactStoreFixture {
protected:
    std::vector<ListItem> Load() { return book_.LoadContacts(); }

    ContactBook book_{Reg()};
};

TEST_F(ContactBookTest, NamesAreUniqueIgnoringCaseOverTheStoredLength) {
    const std::string a24(24, 'a');
    ASSERT_TRUE(book_.AddContact("Alice", "5551000"));
    ASSERT_TRUE(book_.AddContact(a24 + "x", "5552000")); // stored as a24
    struct Case {
        const char* what;
        std::string name;
        bool accepted;
    } cases[] = {
        {"case only", "aLICE", false},
        {"a trailing blank", "Alice ", true},
        {"a prefix", "Alic", true},
        {"differs past the field", a24 + "y", false},
        {"same field, other case", std::string(24, 'A'), false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(book_.AddContact(c.name, "5559999").has_value(), c.accepted) << c.what;
    }
    EXPECT_EQ(Load().size(), 4u);
}

TEST_F(ContactBookTest, EditingKeepsOrChangesTheNameButNeverTakesAnothers) {
    ASSERT_TRUE(book_.AddContact("Alice", "5551000"));
    ASSERT_TRUE(book_.AddContact("Bob", "5552000"));
    EXPECT_FALSE(book_.NameTaken("alice", 0));
    EXPECT_TRUE(book_.NameTaken("alice", 1));
    EXPECT_TRUE(book_.EditContact(0, "ALICE", "5551001")); // its own name, other case
    EXPECT_FALSE(book_.EditContact(0, "bob", "5551002"));
    EXPECT_FALSE(book_.EditContact(5, "Eve", "5550005")); // an empty slot is not created
    EXPECT_FALSE(Reg().KeyExists(kContacts + "05"));
    EXPECT_FALSE(book_.EditContact(100, "Eve", "5550005"));
    std::string name, number;
    ASSERT_TRUE(book_.GetEntry(0, &name, &number));
    EXPECT_EQ(name, "ALICE");
    EXPECT_EQ(number, "5551001");
}

TEST_F(ContactBookTest, ANewContactTakesTheLowestFreeSlotAndIsListedInSlotOrderOnReload) {
    PlantContact("00", "Ann", "5550000");
    PlantContact("02", "Cid", "5550002");
    std::optional<ListItem> item = book_.AddContact("Bea", "5550001");
    ASSERT_TRUE(item);
    EXPECT_EQ(*item, (ListItem{" 3: Bea", 1}));
    EXPECT_EQ(Raw(kContacts + "01", "name"), std::string("Bea", 4)); // NUL counted
    EXPECT_EQ(Raw(kContacts + "01", ""), std::string("5550001", 8));
    EXPECT_EQ(Load(), (std::vector<ListItem>{{" 1: Ann", 0}, {" 2: Bea", 1}, {" 3: Cid", 2}}));
    ASSERT_TRUE(book_.DeleteContact(0));
    EXPECT_TRUE(book_.DeleteContact(0)); // already gone
    EXPECT_EQ(book_.AddContact("Dan", "5550003"), (ListItem{" 3: Dan", 0}));
}

TEST_F(ContactBookTest, TheHundredthContactIsNumbered100AndThe101stIsRefused) {
    for (int i = 0; i < 99; ++i) {
        PlantContact((i < 10 ? "0" : "") + std::to_string(i), "n" + std::to_string(i), "1");
    }
    EXPECT_EQ(book_.AddContact("last", "2"), (ListItem{"100: last", 99}));
    EXPECT_FALSE(book_.AddContact("one more", "3"));
    std::vector<ListItem> items = Load();
    ASSERT_EQ(items.size(), 100u);
    EXPECT_EQ(items[8].text, " 9: n8");
    EXPECT_EQ(items[9].text, "10: n9");
    EXPECT_EQ(items[99], (ListItem{"100: last", 99}));
    ASSERT_TRUE(book_.DeleteContact(57));
    EXPECT_EQ(book_.AddContact("one more", "3"), (ListItem{"100: one more", 57}));
}

TEST_F(ContactBookTest, AnUnreadableSlotIsSkippedAndBlocksNothing) {
    const std::string longName = "Maximiliano Josué Fernández"; // 29 bytes, á at 24-25
    const std::string longNumber(60, '7');
    PlantContact("00", std::nullopt, "5550000"); // no name
    plat::Registry::Key key;
    ASSERT_EQ(Reg().CreateKey(kContacts + "01", &key), plat::kErrorSuccess);
    uint32_t dword = 7;
    ASSERT_EQ(Reg().SetValue(key, "name", plat::kRegDword, &dword, 4), plat::kErrorSuccess);
    PlantContact("02", longName, longNumber); // longer than the old read buffers: read whole
    Plant(kContacts + "03", std::string("Dee"), std::string("5550003"), /*withNul=*/false);
    PlantContact("x7", "Not a slot", "1");

    EXPECT_EQ(Load(), (std::vector<ListItem>{{" 1: Maximiliano Josué Fern", 2}, {" 2: Dee", 3}}));
    EXPECT_EQ(trace_.CountPrefix("ContactBook: contacto ilegible, se omite la ranura 0"), 1);
    EXPECT_EQ(trace_.CountPrefix("ContactBook: contacto ilegible, se omite la ranura 1"), 1);
    // Neither free nor counted: the new contact goes to slot 04 as the third row.
    EXPECT_EQ(book_.AddContact("dee ", "5550004"), (ListItem{" 3: dee ", 4}));
    EXPECT_FALSE(book_.AddContact("DEE", "5550005"));
    EXPECT_TRUE(book_.EditContact(3, "Dee", "5550033"));

    std::string name, number;
    EXPECT_FALSE(book_.GetEntry(0, &name, &number));
    EXPECT_TRUE(book_.GetNumber(0, &number)); // its number can still be dialed
    EXPECT_EQ(number, "5550000");
    ASSERT_TRUE(book_.GetEntry(2, &name, &number));
    EXPECT_EQ(name, "Maximiliano Josué Fern"); // á would end at byte 25
    EXPECT_EQ(number, std::string(39, '7'));
    EXPECT_FALSE(book_.GetNumber(9, &number));
}

TEST_F(ContactBookTest, StoredFieldsAreValidUtf8CutBetweenCharacters) {
    const std::string name = std::string(23, 'n') + "é";
    const std::string number = std::string(38, '1') + "\xC3";
    ASSERT_TRUE(book_.AddContact(name, number));
    EXPECT_EQ(Raw(kContacts + "00", "name"), std::string(23, 'n') + '\0');
    EXPECT_EQ(Raw(kContacts + "00", ""), std::string(38, '1') + '\0');
    ASSERT_TRUE(book_.EditContact(0, "Zoë\xFF", "+34 600"));
    EXPECT_EQ(Raw(kContacts + "00", "name"), std::string("Zoë\xEF\xBF\xBD") + '\0');
}

TEST_F(ContactBookTest, FindsTheNameOfANumberIgnoringCaseAndPastUnreadableSlots) {
    PlantContact("00", std::nullopt, "sales"); // matches, but has no name
    PlantContact("01", "Desk", std::nullopt);  // no number
    PlantContact("02", "Sales team", "SALES");
    PlantContact("03", "Second", "sales");
    std::string name;
    EXPECT_TRUE(book_.FindNameByNumber("Sales", &name));
    EXPECT_EQ(name, "Sales team");
    EXPECT_FALSE(book_.FindNameByNumber("sale", &name));
    EXPECT_FALSE(book_.FindNameByNumber("", &name));
}

TEST_F(ContactBookTest, LoadingCreatesTheMissingContactsKey) {
    EXPECT_TRUE(Load().empty());
    EXPECT_TRUE(Reg().KeyExists("Software\\Quorvex\\Contacts"));
}

} // namespace
