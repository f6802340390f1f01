#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/contacts/CallHistory.h"
#include "app/contacts/DecodeUserPart.h"
#include "tests/app-contacts/ContactStoreFixture.h"

namespace {

class CallHistoryTest : public ContactStoreFixture {
protected:
    // The entries of `list` as "name|number", newest first, up to the first missing one.
    std::vector<std::string> Entries(HistoryList list) {
        std::vector<std::string> out;
        for (int i = 0; i < 12; ++i) {
            std::string path =
                CallHistory::KeyPath(list) + "\\" + (i < 10 ? "0" : "") + std::to_string(i);
            std::optional<std::string> name = Raw(path, "name");
            std::optional<std::string> number = Raw(path, "");
            if (!Reg().KeyExists(path)) {
                break;
            }
            auto text = [](const std::optional<std::string>& v) {
                return v ? v->substr(0, v->size() - 1) : std::string("<none>");
            };
            out.push_back(text(name) + "|" + text(number));
        }
        return out;
    }

    CallHistory history_{Reg()};
};

TEST_F(CallHistoryTest, EachListKeepsTheTenNewestWithTheNewestFirst) {
    for (int i = 1; i <= 11; ++i) {
        ASSERT_TRUE(history_.AddEntry("", std::to_string(i), HistoryList::Dialed));
    }
    ASSERT_TRUE(history_.AddEntry("", "r", HistoryList::Received));
    std::vector<std::string> dialed = Entries(HistoryList::Dialed);
    ASSERT_EQ(dialed.size(), 10u);
    EXPECT_EQ(dialed.front(), "11|11");
    EXPECT_EQ(dialed.back(), "2|2"); // 1, the oldest, fell off
    EXPECT_EQ(Entries(HistoryList::Received), std::vector<std::string>{"r|r"});
    EXPECT_TRUE(Entries(HistoryList::Missed).empty());
    EXPECT_TRUE(Reg().KeyExists("Software\\Quorvex\\CallsHistory\\Recv\\00"));

    std::vector<ListItem> items = history_.Reload(HistoryList::Dialed);
    ASSERT_EQ(items.size(), 10u);
    EXPECT_EQ(items[0], (ListItem{" 1: 11", 0}));
    EXPECT_EQ(items[8], (ListItem{" 9: 3", 8}));
    EXPECT_EQ(items[9], (ListItem{"10: 2", 9}));
    std::string number;
    EXPECT_TRUE(history_.GetNumber(HistoryList::Dialed, 9, &number));
    EXPECT_EQ(number, "2");
    EXPECT_FALSE(history_.GetNumber(HistoryList::Dialed, 10, &number));
    EXPECT_FALSE(history_.GetNumber(HistoryList::Missed, 0, &number));
}

TEST_F(CallHistoryTest, TheRecordedNameIsTheContactsElseTheDisplayNameElseTheNumber) {
    PlantContact("00", std::nullopt, "5552000"); // the number matches but the name is missing
    PlantContact("01", "Ann", std::nullopt);
    PlantContact("02", "Bob the builder  ", "5552000");
    PlantContact("03", "Sales desk", "sales");
    const std::string a23(23, 'a');
    struct Case {
        const char* what;
        std::string display;
        std::string user;
        std::string entry; // name|number as stored
    } cases[] = {
        {"a contact", "Robert", "5552000", "Bob the builder|5552000"},
        {"a contact, other case", "", "SALES", "Sales desk|SALES"},
        {"the display name", "Carl \t\r\n\x7F", "5553000", "Carl|5553000"},
        {"a name ending in a letter past ASCII", "Jos\xC3\xA9", "1", "Jos\xC3\xA9|1"},
        {"no display name", "", "5553000", "5553000|5553000"},
        {"a blank display name", "  \x01", "5553000", "5553000|5553000"},
        {"a long display name", a23 + "é", "1", a23 + "|1"},
        {"a cut that leaves a blank", std::string(23, 'b') + " c", "1",
         std::string(23, 'b') + "|1"},
        {"a long number", "", std::string(45, '9'),
         std::string(24, '9') + "|" + std::string(39, '9')},
        {"bytes that are no UTF-8", "Ana\xFF", "55\xC3", "Ana\xEF\xBF\xBD|55\xEF\xBF\xBD"},
        {"a NUL inside", std::string("Al\0x", 4), "1", "Al\xEF\xBF\xBDx|1"},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(history_.AddEntry(c.display, c.user, HistoryList::Received)) << c.what;
        EXPECT_EQ(Entries(HistoryList::Received).front(), c.entry) << c.what;
    }
}

TEST_F(CallHistoryTest, RecordsFromTheAddressOfTheSipMessage) {
    std::vector<HistoryList> changed;
    history_.SetChangedCallback([&](HistoryList list) { changed.push_back(list); });
    ASSERT_TRUE(history_.AddDialed(sipua::NameAddr::parse("\"Ann\" <sip:5557000@example.org>")));
    ASSERT_TRUE(history_.AddReceived(sipua::NameAddr::parse("<sip:5558000@example.org>")));
    ASSERT_TRUE(history_.AddMissed(sipua::NameAddr::parse("sip:example.org")));
    ASSERT_TRUE(history_.AddDialed(sipua::NameAddr::parse("<sip:12%23@example.org>")));
    EXPECT_EQ(Entries(HistoryList::Dialed),
              (std::vector<std::string>{"12#|12#", "Ann|5557000"})); // as it is dialled again
    EXPECT_EQ(Entries(HistoryList::Received), std::vector<std::string>{"5558000|5558000"});
    EXPECT_EQ(Entries(HistoryList::Missed), std::vector<std::string>{"|"});
    EXPECT_EQ(changed, (std::vector<HistoryList>{HistoryList::Dialed, HistoryList::Received,
                                                 HistoryList::Missed, HistoryList::Dialed}));
}

TEST(DecodeUserPartTest, EscapesBecomeTheirCharactersUnlessCutShortNotHexOrControls) {
    // Each user part is the start of a longer text, so an escape read past its end shows.
    const std::string text = "12%23 %2B34%2b1%zz1%2%23%%23%0D%0A%00caf%C3%A9";
    struct Case {
        std::string_view user;
        const char* decoded;
    };
    const Case cases[] = {
        {std::string_view(text).substr(0, 5), "12#"},
        {std::string_view(text).substr(0, 4), "12%2"},
        {std::string_view(text).substr(0, 3), "12%"},
        {std::string_view(text).substr(6, 9), "+34+1"},
        {std::string_view(text).substr(15, 4), "%zz1"},
        {std::string_view(text).substr(19, 5), "%2#"},
        {std::string_view(text).substr(24, 4), "%#"},
        {std::string_view(text).substr(28, 9), "%0D%0A%00"},
        {std::string_view(text).substr(37), "caf\xc3\xa9"},
        {"", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.decoded, DecodeUserPart(c.user)) << c.user;
    }
}

TEST_F(CallHistoryTest, TheShiftCarriesMissingValuesAsMissing) {
    const std::string path = CallHistory::KeyPath(HistoryList::Missed);
    Plant(path + "\\00", std::nullopt, std::string("111"));
    Plant(path + "\\01", std::string("Two"), std::nullopt);
    ASSERT_TRUE(history_.AddEntry("New", "333", HistoryList::Missed));
    EXPECT_EQ(Entries(HistoryList::Missed),
              (std::vector<std::string>{"New|333", "<none>|111", "Two|<none>"}));
    // Rows show the name, else the number; an entry with neither ends the list.
    Plant(path + "\\03", std::nullopt, std::nullopt);
    Plant(path + "\\04", std::string("Hidden"), std::string("444"));
    Plant(path + "\\01", std::string(22, 'x'), std::nullopt); // past the old 20-byte buffer
    EXPECT_EQ(history_.Reload(HistoryList::Missed),
              (std::vector<ListItem>{
                  {" 1: New", 0}, {" 2: " + std::string(22, 'x'), 1}, {" 3: Two", 2}}));
}

TEST_F(CallHistoryTest, DeletingAListLeavesTheOthers) {
    ASSERT_TRUE(history_.AddEntry("A", "1", HistoryList::Dialed));
    ASSERT_TRUE(history_.AddEntry("B", "2", HistoryList::Missed));
    int calls = 0;
    history_.SetChangedCallback([&](HistoryList list) {
        EXPECT_EQ(list, HistoryList::Dialed);
        ++calls;
    });
    EXPECT_TRUE(history_.DeleteHistory(HistoryList::Dialed));
    EXPECT_TRUE(history_.DeleteHistory(HistoryList::Dialed)); // already empty
    EXPECT_EQ(calls, 2);
    EXPECT_FALSE(Reg().KeyExists(CallHistory::KeyPath(HistoryList::Dialed)));
    EXPECT_TRUE(history_.Reload(HistoryList::Dialed).empty());
    EXPECT_EQ(history_.Reload(HistoryList::Missed), (std::vector<ListItem>{{" 1: B", 0}}));
    EXPECT_FALSE(history_.DeleteHistory(static_cast<HistoryList>(3)));
    EXPECT_FALSE(history_.AddEntry("C", "3", static_cast<HistoryList>(-1)));
}

} // namespace
