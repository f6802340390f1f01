// The call-history and contacts panels with the built-in skin, in a form on the fake window
// system that hands the panels' commands back to them as the call window does.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "app/call/ContactsPanel.h"
#include "app/call/HistoryPanel.h"
#include "app/contacts/NewContact.h"
#include "app/resources/BuiltInModule.h"
#include "platform/core/testing/FakeClock.h"
#include "platform/ui/dialog/testing/FakeDialogFactory.h"
#include "platform/ui/testing/FakeWindowSystem.h"
#include "sip/NameAddr.h"
#include "tests/app-contacts/ContactStoreFixture.h"

namespace {

using Contacts = CMakeCall::zel_SldContacts;
using History = CMakeCall::zel_SldCallHistory;

// The right column of a call window with the two panels; every command the panels send up is
// recorded, and the panels' own go back to them.
class Host final : public CForm, public CMsgBox {
public:
    Host(plat::Registry& registry, CallHistory& store, ContactBook& book)
        : CForm(1), CMsgBox(this), history(store, registry), contacts(book, registry) {
        store.SetChangedCallback([this](HistoryList list) { history.OnListChanged(list); });
    }
    bool Build() {
        column.Create(this, 0, 0, 240, 440);
        return history.Build(&column, 0) && contacts.Build(&column, 0) &&
               CreateBackBuffer(240, 440);
    }
    // Slides a panel open at once.
    static void Open(zel_Slide& panel) {
        panel.m_nState = zel_Slide::kOpen;
        panel.SetX(panel.OpenX());
    }
    void OnCommand(uint16_t id, int32_t value) override {
        commands.emplace_back(id, value);
        switch (id) {
        case History::kErase:
            history.OnErase(*this);
            break;
        case Contacts::kNew:
            contacts.OnNewContact(*this, nullptr, dialed);
            break;
        case Contacts::kEdit:
            contacts.OnEditContact(*this, nullptr);
            break;
        case Contacts::kDelete:
            contacts.OnDeleteContact(*this);
            break;
        default:
            break;
        }
    }

    zel_Parent column;
    History history;
    Contacts contacts;
    std::string dialed;
    std::vector<std::pair<uint16_t, int32_t>> commands;
};

class ContactPanelsTest : public ContactStoreFixture {
protected:
    void SetUp() override {
        ContactStoreFixture::SetUp();
        g_FormAlpha = 255;
        previousSkin_ = g_SkinModule;
        g_SkinModule = ProgramModule();
        GetUiFontFace();
        ASSERT_TRUE(host_.Create());
        ASSERT_TRUE(host_.Build());
        host_.ShowWindow(plat::kSwShow);
        window_ = windows_.Windows().back();
    }
    void TearDown() override {
        host_.DestroyWindow();
        g_SkinModule = previousSkin_;
        ContactStoreFixture::TearDown();
    }

    // The rows, joined with '|'.
    static std::string Rows(const zel_List& list) {
        std::string rows;
        for (const std::string& row : list.m_Rows.m_Texts) {
            rows += (rows.empty() ? "" : "|") + row;
        }
        return rows;
    }
    // Clicks row `row` of an open panel's list, in window coordinates.
    void ClickRow(CMakeCall::zel_SldContactHandling& panel, int row) {
        const plat::Rect list = panel.m_List.GetRect();
        const plat::Rect rows = panel.m_List.m_Rows.GetRect();
        Click({panel.X() + list.left + rows.left + 4, panel.OwnRect().top + list.top + rows.top +
                                                          panel.m_List.m_Rows.m_nRowHeight * row +
                                                          2});
    }
    // A click long enough after the last one not to make a double-click.
    void Click(plat::Point p) {
        clock_.Advance(1000);
        window_->Click(p);
    }
    // Clicks a button of an open panel.
    void ClickButton(zel_Slide& panel, const zel_Wnd& button) {
        const plat::Rect r = button.GetRect();
        const plat::Point p{panel.X() + (r.left + r.right) / 2,
                            panel.OwnRect().top + (r.top + r.bottom) / 2};
        // The pointer comes from elsewhere: a button pressed as a box opened stays down.
        window_->MoveMouse({230, 5});
        window_->MoveMouse(p);
        Click(p);
    }
    // The message boxes shown since the last call: each text with its flags.
    std::string Boxes() {
        std::string texts;
        for (const plat::MessageBoxRequest& r : windows_.MessageBoxes().Requests()) {
            texts += r.text + " [" + std::to_string(r.flags) + "]";
        }
        windows_.MessageBoxes().Clear();
        return texts;
    }
    void Record(HistoryList list, const std::string& address) {
        ASSERT_TRUE(store_.AddEntry(sipua::NameAddr::parse(address), list)) << address;
    }

    plat::FakeClock clock_{1000};
    plat::ScopedClock scopedClock_{clock_};
    plat::FakeWindowSystem windows_;
    plat::FakeDialogFactory dialogs_;
    CallHistory store_{Reg()};
    ContactBook book_{Reg()};
    Host host_{Reg(), store_, book_};
    plat::FakeWindow* window_ = nullptr;

private:
    plat::ResourceModule* previousSkin_ = nullptr;
};

TEST_F(ContactPanelsTest, AReskinBuildsTheSameControlsAgainAndShowsTheReceivedCalls) {
    EXPECT_EQ(host_.history.m_Received.m_nState, 2);
    auto children = [](const zel_Parent& parent) {
        int n = 0;
        for (const zel_Wnd* c = parent.m_pFirstChild; c; c = c->m_pNextHit) {
            ++n;
        }
        return n;
    };
    const int historyChildren = children(host_.history);
    const int contactsChildren = children(host_.contacts);
    PlantContact("00", "Ann", "5550000");
    host_.history.SelectList(HistoryList::Dialed);
    ASSERT_TRUE(host_.Build());
    EXPECT_EQ(children(host_.history), historyChildren);
    EXPECT_EQ(children(host_.contacts), contactsChildren);
    EXPECT_EQ(host_.history.m_nCurrentList, HistoryList::Received);
    EXPECT_EQ(host_.history.m_Dialed.m_nState, 0);
    EXPECT_EQ(Rows(host_.contacts.m_List), " 1: Ann");
}

TEST_F(ContactPanelsTest, TheHistoryShowsWhatIsRecordedInTheListItShowsAndSwitchesLists) {
    PlantContact("00", "Alice", "2001");
    History& panel = host_.history;
    Host::Open(panel);
    const std::string longName = std::string(23, 'z') + "\xC3\xA9\xFF";
    struct Step {
        HistoryList record; // where to record `address`, when not empty
        std::string address;
        const zel_PushButton* click; // then a list button, when not null
        std::string rows;
        const char* pressed; // missed, dialed, received
    } steps[] = {
        {HistoryList::Received, "\"Ana\" <sip:2002@h>", nullptr, " 1: Ana", "002"},
        {HistoryList::Dialed, "<sip:2001@h>", nullptr, " 1: Ana", "002"}, // not the shown list
        {HistoryList::Dialed, "", &panel.m_Dialed, " 1: Alice", "020"},   // the contact's name
        // A name from the network: bad bytes replaced, cut between characters.
        {HistoryList::Dialed, "\"" + longName + "\" <sip:2003@h>", nullptr,
         " 1: " + std::string(23, 'z') + "| 2: Alice", "020"},
        {HistoryList::Missed, "<sip:2004@h>", &panel.m_Missed, " 1: 2004", "200"},
        {HistoryList::Received, "", &panel.m_Received, " 1: Ana", "002"},
    };
    for (const Step& s : steps) {
        if (!s.address.empty()) {
            Record(s.record, s.address);
        }
        if (s.click) {
            ClickButton(panel, *s.click);
        }
        EXPECT_EQ(Rows(panel.m_List), s.rows);
        EXPECT_EQ(std::to_string(panel.m_Missed.m_nState) +
                      std::to_string(panel.m_Dialed.m_nState) +
                      std::to_string(panel.m_Received.m_nState),
                  s.pressed)
            << s.rows;
    }
    // Ten entries at most, numbered with a leading blank below 10; a row's press picks its
    // entry in the shown list.
    for (int i = 0; i < 11; ++i) {
        Record(HistoryList::Received, "<sip:30" + std::to_string(10 + i) + "@h>");
    }
    EXPECT_EQ(Rows(panel.m_List), " 1: 3020| 2: 3019| 3: 3018| 4: 3017| 5: 3016| 6: 3015| 7: "
                                  "3014| 8: 3013| 9: 3012|10: 3011");
    ClickRow(panel, 2);
    ASSERT_EQ(host_.commands.back(), (std::pair<uint16_t, int32_t>{History::kList, 2}));
    std::string number;
    EXPECT_TRUE(store_.GetNumber(panel.m_nCurrentList, 2, &number));
    EXPECT_EQ(number, "3018");
}

TEST_F(ContactPanelsTest, EraseAsksForTheShownListOnlyWhenItHasEntries) {
    History& panel = host_.history;
    Host::Open(panel);
    const std::string ask = "Do you want to delete the ";
    struct Case {
        HistoryList list;
        bool recorded;
        int answer; // 0: no question
        std::string box;
        size_t left;
    } cases[] = {
        {HistoryList::Received, false, 0, "", 0},
        {HistoryList::Received, true, plat::kIdNo, ask + "received calls list? [4]", 1},
        {HistoryList::Received, false, plat::kIdYes, ask + "received calls list? [4]", 0},
        {HistoryList::Dialed, true, plat::kIdYes, ask + "dialed calls list? [4]", 0},
        {HistoryList::Missed, true, plat::kIdYes, ask + "missed calls list? [4]", 0},
    };
    Record(HistoryList::Dialed, "<sip:2005@h>"); // stays: only the shown list goes
    for (const Case& c : cases) {
        panel.SelectList(c.list);
        if (c.recorded) {
            Record(c.list, "<sip:2002@h>");
        }
        if (c.answer) {
            windows_.MessageBoxes().QueueAnswer(c.answer);
        }
        ClickButton(panel, panel.m_Erase);
        EXPECT_EQ(Boxes(), c.box);
        EXPECT_EQ(panel.m_List.GetCount(), static_cast<int32_t>(c.left)) << c.box;
        EXPECT_EQ(store_.Reload(c.list).size(), c.left) << c.box;
        if (c.list == HistoryList::Received) {
            EXPECT_EQ(store_.Reload(HistoryList::Dialed).size(), 1u);
        }
    }
}

TEST_F(ContactPanelsTest, ContactCommandsRunTheDialogAndKeepTheListInStep) {
    Contacts& panel = host_.contacts;
    Host::Open(panel);
    host_.dialed = "5553000";
    auto save = [](std::string name, std::string number = "") {
        return [name, number](plat::FakeDialog& d) {
            d.Type(NewContact::kNameEdit, name);
            if (!number.empty()) {
                d.Type(NewContact::kNumberEdit, number);
            }
            d.Click(plat::kIdOk);
        };
    };
    const std::string ask = "Do you want to delete this contact? [36]";
    struct Step {
        int selectRow; // a row to click first, or -1
        const zel_Wnd* button;
        std::function<void(plat::FakeDialog&)> user; // the dialog's user, when it runs
        int answer;                                  // to a question
        std::string box, rows;
    } steps[] = {
        {-1, &panel.m_New, save("Cid"), 0, "", " 1: Cid"}, // the dialed number
        {-1, &panel.m_New, save("Ann", "5551000"), 0, "", " 1: Cid| 2: Ann"},
        {-1, &panel.m_Edit, nullptr, 0, "", " 1: Cid| 2: Ann"}, // no row selected: nothing
        {-1, &panel.m_Delete, nullptr, 0, "", " 1: Cid| 2: Ann"},
        {0, &panel.m_Edit, save("Bea"), 0, "", " 1: Bea| 2: Ann"},
        {1, &panel.m_Delete, nullptr, plat::kIdNo, ask, " 1: Bea| 2: Ann"},
        {0, &panel.m_Delete, nullptr, plat::kIdYes, ask, " 1: Ann"},
        // Slot 0 is free again: the new contact takes it and shows last until a reload.
        {-1, &panel.m_New, save("Dan"), 0, "", " 1: Ann| 2: Dan"},
    };
    for (const Step& s : steps) {
        if (s.selectRow >= 0) {
            ClickRow(panel, s.selectRow);
        }
        const size_t ran = dialogs_.Ran().size();
        if (s.user) {
            dialogs_.QueueScript(s.user);
        }
        if (s.answer) {
            windows_.MessageBoxes().QueueAnswer(s.answer);
        }
        ClickButton(panel, *s.button);
        EXPECT_EQ(dialogs_.Ran().size(), ran + (s.user ? 1 : 0)) << s.rows;
        EXPECT_EQ(Boxes(), s.box) << s.rows;
        EXPECT_EQ(Rows(panel.m_List), s.rows);
    }
    EXPECT_EQ(panel.m_List.m_Rows.m_Data, (std::vector<int32_t>{1, 0}));
    std::string name, number;
    ASSERT_TRUE(panel.GetEntry(0, &name, &number));
    EXPECT_EQ(name + "/" + number, "Dan/5553000");
}

TEST_F(ContactPanelsTest, AFullBookIsNumberedPast99AndRefusesTheDialogsContact) {
    Contacts& panel = host_.contacts;
    for (int slot = 0; slot < 100; ++slot) {
        const std::string digits = {static_cast<char>('0' + slot / 10),
                                    static_cast<char>('0' + slot % 10)};
        PlantContact(digits, "N" + digits, "555" + digits);
    }
    panel.LoadContacts();
    Host::Open(panel);
    const std::string rows = Rows(panel.m_List);
    EXPECT_EQ(rows.substr(0, 16), " 1: N00| 2: N01|");
    EXPECT_NE(rows.find("| 9: N08|10: N09|"), std::string::npos);
    EXPECT_EQ(rows.substr(rows.rfind("|99:")), "|99: N98|100: N99");
    ClickRow(panel, 1);
    ASSERT_EQ(host_.commands.back(), (std::pair<uint16_t, int32_t>{Contacts::kList, 1}));
    // The dialog accepts a new name; the full book does not.
    dialogs_.QueueScript([](plat::FakeDialog& d) {
        d.Type(NewContact::kNameEdit, "Eve");
        d.Type(NewContact::kNumberEdit, "5559999");
        d.Click(plat::kIdOk);
    });
    ClickButton(panel, panel.m_New);
    EXPECT_EQ(dialogs_.Ran().at(0).second, plat::kIdOk);
    EXPECT_EQ(Boxes(), "A contact with this name already exists [16]");
    EXPECT_EQ(panel.m_List.GetCount(), 100);
}

} // namespace
