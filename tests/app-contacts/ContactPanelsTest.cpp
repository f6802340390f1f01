// The call-history and contacts panels of the call window, with the built-in skin, on the fake
// window system and dialogs.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "app/call/CMakeCall.h"
#include "app/call/ContactsPanel.h"
#include "app/call/HistoryPanel.h"
#include "app/contacts/NewContact.h"
#include "platform/core/testing/FakeClock.h"
#include "platform/ui/dialog/testing/FakeDialogFactory.h"
#include "platform/ui/testing/FakeWindowSystem.h"
#include "sip/NameAddr.h"
#include "tests/app-contacts/ContactStoreFixture.h"
#include "tests/app-panels/PanelsSupport.h"

namespace {

using Contacts = CMakeCall::zel_SldContacts;
using History = CMakeCall::zel_SldCallHistory;

class ContactPanelsTest : public ContactStoreFixture {
protected:
    void SetUp() override {
        ContactStoreFixture::SetUp();
        panelstest::StartProgramState(sandbox_.Dir());
        ASSERT_TRUE(owner_.Create());
        call_ = new CMakeCall(owner_, {}, login_, nullptr);
        ASSERT_TRUE(call_->Make());
        call_->Show();
        window_ = windows_.Windows().back();
        ASSERT_NE(call_->HistoryPanel(), nullptr);
        ASSERT_NE(call_->ContactsPanel(), nullptr);
    }
    void TearDown() override {
        call_->Destroy();
        owner_.DestroyWindow();
        panelstest::EndProgramState();
        ContactStoreFixture::TearDown();
    }

    History& HistoryPanel() { return *call_->HistoryPanel(); }
    Contacts& ContactsPanel() { return *call_->ContactsPanel(); }
    // Slides a panel open at once.
    static void Open(zel_Slide& panel) {
        panel.m_nState = zel_Slide::kOpen;
        panel.SetX(panel.OpenX());
    }
    // The rows, joined with '|'.
    static std::string Rows(const zel_List& list) {
        std::string rows;
        for (const std::string& row : list.m_Rows.m_Texts) {
            rows += (rows.empty() ? "" : "|") + row;
        }
        return rows;
    }
    // A click long enough after the last one not to make a double-click, at (x, y) of an open
    // panel in the right column.
    void Click(const zel_Slide& panel, int x, int y) {
        const plat::Point p{call_->Layout().rightX + panel.X() + x, panel.OwnRect().top + y};
        window_->MoveMouse(p);
        clock_.Advance(1000);
        window_->Click(p);
    }
    void ClickRow(CMakeCall::zel_SldContactHandling& panel, int row) {
        const plat::Rect list = panel.m_List.GetRect();
        const plat::Rect rows = panel.m_List.m_Rows.GetRect();
        Click(panel, list.left + rows.left + 4,
              list.top + rows.top + panel.m_List.m_Rows.m_nRowHeight * row + 2);
    }
    void ClickButton(zel_Slide& panel, const zel_Wnd& button) {
        const plat::Rect r = button.GetRect();
        Click(panel, (r.left + r.right) / 2, (r.top + r.bottom) / 2);
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
        ASSERT_TRUE(call_->HistoryStore().AddEntry(sipua::NameAddr::parse(address), list))
            << address;
    }

    plat::FakeClock clock_{1000};
    plat::ScopedClock scopedClock_{clock_};
    plat::FakeWindowSystem windows_;
    plat::FakeDialogFactory dialogs_;
    panelstest::OwnerForm owner_;
    panelstest::Login login_;
    CMakeCall* call_ = nullptr;
    plat::FakeWindow* window_ = nullptr;
};

TEST_F(ContactPanelsTest, AReskinBuildsTheSameControlsAgainAndShowsTheReceivedCalls) {
    EXPECT_EQ(HistoryPanel().m_Received.m_nState, 2);
    auto children = [](const zel_Parent& parent) {
        int n = 0;
        for (const zel_Wnd* c = parent.m_pFirstChild; c; c = c->m_pNextHit) {
            ++n;
        }
        return n;
    };
    const int historyChildren = children(HistoryPanel());
    const int contactsChildren = children(ContactsPanel());
    PlantContact("00", "Ann", "5550000");
    HistoryPanel().SelectList(HistoryList::Dialed);
    ASSERT_TRUE(call_->ApplySkin());
    EXPECT_EQ(children(HistoryPanel()), historyChildren);
    EXPECT_EQ(children(ContactsPanel()), contactsChildren);
    EXPECT_EQ(HistoryPanel().m_nCurrentList, HistoryList::Received);
    EXPECT_EQ(HistoryPanel().m_Dialed.m_nState, 0);
    EXPECT_EQ(Rows(ContactsPanel().m_List), " 1: Ann");
}

TEST_F(ContactPanelsTest, TheHistoryShowsWhatIsRecordedInTheListItShowsAndSwitchesLists) {
    PlantContact("00", "Alice", "2001");
    History& panel = HistoryPanel();
    Open(panel);
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
    // Ten entries at most, numbered with a leading blank below 10; a row's press dials the
    // entry of the shown list.
    for (int i = 0; i < 11; ++i) {
        Record(HistoryList::Received, "<sip:30" + std::to_string(10 + i) + "@h>");
    }
    EXPECT_EQ(Rows(panel.m_List), " 1: 3020| 2: 3019| 3: 3018| 4: 3017| 5: 3016| 6: 3015| 7: "
                                  "3014| 8: 3013| 9: 3012|10: 3011");
    ClickRow(panel, 2);
    EXPECT_EQ(call_->Number().GetText(), "3018");
    ClickButton(panel, panel.m_Dialed);
    ClickRow(panel, 1);
    EXPECT_EQ(call_->Number().GetText(), "2001");
}

TEST_F(ContactPanelsTest, EraseAsksForTheShownListOnlyWhenItHasEntries) {
    History& panel = HistoryPanel();
    Open(panel);
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
        EXPECT_EQ(call_->HistoryStore().Reload(c.list).size(), c.left) << c.box;
        if (c.list == HistoryList::Received) {
            EXPECT_EQ(call_->HistoryStore().Reload(HistoryList::Dialed).size(), 1u);
        }
    }
}

TEST_F(ContactPanelsTest, ContactCommandsRunTheDialogAndKeepTheListInStep) {
    Contacts& panel = ContactsPanel();
    Open(panel);
    ASSERT_TRUE(call_->Call().PickNumber("5553000")); // the number being dialed
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
    Contacts& panel = ContactsPanel();
    for (int slot = 0; slot < 100; ++slot) {
        const std::string digits = {static_cast<char>('0' + slot / 10),
                                    static_cast<char>('0' + slot % 10)};
        PlantContact(digits, "N" + digits, "555" + digits);
    }
    panel.LoadContacts();
    Open(panel);
    const std::string rows = Rows(panel.m_List);
    EXPECT_EQ(rows.substr(0, 16), " 1: N00| 2: N01|");
    EXPECT_NE(rows.find("| 9: N08|10: N09|"), std::string::npos);
    EXPECT_EQ(rows.substr(rows.rfind("|99:")), "|99: N98|100: N99");
    ClickRow(panel, 1);
    EXPECT_EQ(call_->Number().GetText(), "55501");
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

TEST_F(ContactPanelsTest, AfterACommandsDialogItsButtonIsUpAndTheNextClickActsAgain) {
    // A dialog or a question takes the pointer: the press's release goes to it. The user
    // answers and clicks the same button again without moving the mouse.
    PlantContact("00", "Ann", "5551000");
    Contacts& contacts = ContactsPanel();
    History& history = HistoryPanel();
    contacts.LoadContacts();
    Record(HistoryList::Received, "<sip:2002@h>");
    Open(contacts);
    Open(history);
    ClickRow(contacts, 0); // Edit and Delete act on the selected row
    const struct {
        const char* what;
        zel_Slide* panel;
        const zel_Button* button;
    } cases[] = {
        {"new", &contacts, &contacts.m_New},
        {"edit", &contacts, &contacts.m_Edit},
        {"delete", &contacts, &contacts.m_Delete},
        {"erase", &history, &history.m_Erase},
    };
    auto shown = [this] {
        return dialogs_.Ran().size() + windows_.MessageBoxes().Requests().size();
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const size_t before = shown();
        ClickButton(*c.panel, *c.button); // dialogs are closed, questions not answered Yes
        ASSERT_EQ(shown(), before + 1);
        EXPECT_NE(c.button->m_nState, 2);
        ClickButton(*c.panel, *c.button);
        EXPECT_EQ(shown(), before + 2) << "the second click did not act";
        EXPECT_EQ(c.panel->m_nState, zel_Slide::kOpen);
    }
    EXPECT_EQ(Rows(contacts.m_List), " 1: Ann");
}

} // namespace
