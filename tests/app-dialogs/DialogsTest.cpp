#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <set>

#include "app/dialogs/AreaCodeList.h"
#include "app/dialogs/CAbout.h"
#include "app/dialogs/CAbout2.h"
#include "app/dialogs/CAreaCodes.h"
#include "app/dialogs/CWizardKzn.h"
#include "app/trace/TraceFile.h"
#include "platform/audio/testing/AudioTestSupport.h"
#include "platform/ui/ManualGuiDispatcher.h"
#include "platform/ui/RecordingMessageBoxSink.h"
#include "platform/ui/dialog/testing/FakeDialogFactory.h"
#include "tests/support/Eventually.h"
#include "tests/support/FakeOpener.h"
#include "tests/support/RecordingShell.h"
#include "tests/support/RecordingTraceLog.h"

namespace {

// A deployment.ini naming both pages, in use while the object lives.
struct Deployment {
    Deployment() {
        std::ofstream(dir.File("deployment.ini"))
            << "[service]\nlicence_page=https://licence.example/re\n"
               "signup_page=https://signup.example/new\n";
        setenv("QUORVEX_DEPLOYMENT", dir.File("deployment.ini").c_str(), 1);
    }
    ~Deployment() { unsetenv("QUORVEX_DEPLOYMENT"); }
    audiotest::TempDir dir;
};

TEST(AreaCodeListTest, EntriesStopAtLineEndsAndCodesAtNineteenCharacters) {
    struct Case {
        const char* text;
        std::vector<std::pair<std::string, std::string>> entries; // name, code
    };
    const Case cases[] = {
        {"Spain, +34\nFrance,+33", {{"Spain", "34"}, {"France", "33"}}}, // no final line end
        {"A,1\r\nB,2\rC,3\n\n\r\nD,4\r\n", {{"A", "1"}, {"B", "2"}, {"C", "3"}, {"D", "4"}}},
        {"Long,+12345678901234567890123\n", {{"Long", "1234567890123456789"}}},
        {"A,1\nno comma here\nB,2\n", {{"A", "1"}}},
        {"A, none\nB,7 8\n", {{"A", ""}, {"B", "7 8"}}}, // no digit on its line: no code
        {"\n\n", {}},
        {"no comma\nA,1\n", {}},
        {"", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        AreaCodeList list;
        EXPECT_EQ(list.Parse(c.text), !c.entries.empty());
        ASSERT_EQ(list.Entries().size(), c.entries.size());
        for (size_t i = 0; i < c.entries.size(); ++i) {
            EXPECT_EQ(list.Entries()[i].name, c.entries[i].first);
            EXPECT_EQ(list.CodeAt(list.Entries()[i].codeOffset), c.entries[i].second);
        }
    }
    AreaCodeList list;
    list.Parse(std::string(300, 'n') + ",1");
    EXPECT_EQ(list.Entries()[0].name.size(), AreaCodeList::kMaxName);
    EXPECT_EQ(list.CodeAt(1u << 20), "");
}

TEST(CAreaCodesTest, TheListShowsEachCodeAndAnUnusableFileClosesWithOneMessage) {
    audiotest::TempDir dir;
    plat::FakeDialogFactory dialogs;
    plat::RecordingMessageBoxSink boxes;
    std::ofstream(dir.File("codes.txt")) << "Chile, +56\nPeru, +51";
    std::string shown;
    dialogs.QueueScript([&](plat::FakeDialog& d) {
        shown = d.GetText(CAreaCodes::kCodeEdit);
        d.Choose(CAreaCodes::kCountryCombo, 1);
        shown +=
            "/" + d.GetText(CAreaCodes::kCountryCombo) + "=" + d.GetText(CAreaCodes::kCodeEdit);
        d.Click(plat::kIdOk);
    });
    EXPECT_EQ(CAreaCodes(dir.File("codes.txt")).DoModal(nullptr), plat::kIdOk);
    EXPECT_EQ(shown, "56/Peru=51");
    EXPECT_EQ(dialogs.Ran().back().first, "Country codes");
    EXPECT_TRUE(boxes.Requests().empty());

    std::ofstream(dir.File("empty.txt"));
    std::ofstream(dir.File("nocomma.txt")) << "Chile +56\nPeru, +51\n";
    for (const char* name : {"missing.txt", "empty.txt", "nocomma.txt"}) {
        boxes.Clear();
        EXPECT_EQ(CAreaCodes(dir.File(name)).DoModal(nullptr), plat::kIdCancel) << name;
        ASSERT_EQ(boxes.Requests().size(), 1u) << name;
        EXPECT_EQ(boxes.Requests()[0].text,
                  "Sorry, an error has been detected, this action can not be terminated");
    }
}

TEST(CAboutTest, OnlyAControlKeyWithTheExactAccessCodeShowsTheHiddenText) {
    const std::tuple<bool, const char*, bool> cases[] = {
        {true, "730592816443", true},   {false, "730592816443", false},
        {true, "73059281644", false},   {true, "7305928164430", false},
        {true, " 730592816443", false}, {true, "", false},
    };
    for (const auto& [control, number, hidden] : cases) {
        EXPECT_EQ(CAbout::IsHiddenModeRequest(control, number), hidden) << control << number;
    }
    Deployment deployment;
    RecordingShell shell;
    plat::FakeDialogFactory dialogs;
    plat::RecordingMessageBoxSink boxes;
    auto pressLicence = [&](bool control) {
        dialogs.SetControlKeyDown(control);
        dialogs.QueueScript([](plat::FakeDialog& d) { d.Click(CAbout2::kAboutButton); });
        dialogs.QueueScript([](plat::FakeDialog& d) { d.Click(CAbout::kLicenseButton); });
        CAbout2("730592816443").DoModal(nullptr);
    };
    pressLicence(false);
    ASSERT_EQ(shell.runs.size(), 1u);
    EXPECT_EQ(shell.runs[0], (std::vector<std::string>{"xdg-open", "https://licence.example/re"}));
    pressLicence(true);
    EXPECT_EQ(shell.runs.size(), 1u);
    EXPECT_EQ(boxes.Requests().size(), 1u);
    EXPECT_EQ(dialogs.Ran()[0].first, "About QUORvex") << "the caption without its dots";
}

TEST(CWizardKznTest, ContinueOpensTheSignUpPageOnlyForTheSecondChoice) {
    Deployment deployment;
    RecordingShell shell;
    plat::FakeDialogFactory dialogs;
    plat::FontSpec font;
    dialogs.QueueScript([&](plat::FakeDialog& d) {
        font = d.Font(CWizardKzn::kWelcome);
        d.Click(plat::kIdOk);
    });
    dialogs.QueueScript([](plat::FakeDialog& d) {
        d.Click(CWizardKzn::kHaveAccount);
        d.Click(plat::kIdOk);
    });
    dialogs.QueueScript([](plat::FakeDialog& d) { d.Click(plat::kIdCancel); });
    EXPECT_EQ(CWizardKzn().DoModal(nullptr), plat::kIdOk);
    EXPECT_EQ(CWizardKzn().DoModal(nullptr), plat::kIdOk);
    EXPECT_EQ(CWizardKzn().DoModal(nullptr), plat::kIdCancel);
    ASSERT_EQ(shell.runs.size(), 1u);
    EXPECT_EQ(shell.runs[0][1], "https://signup.example/new");
    EXPECT_EQ(font.family, "Verdana");
    EXPECT_EQ(font.pixelHeight, 20);
    EXPECT_TRUE(font.bold);
}

TEST(DialogLinksTest, APageThatCannotBeOpenedIsTracedAndNamedInABoxOnceTheOpenerAnswers) {
    Deployment deployment;
    plat::FakeDialogFactory dialogs;
    plat::RecordingMessageBoxSink boxes;
    plat::ManualGuiDispatcher gui;
    RecordingTraceLog trace;
    iTraceFile* previous = g_pTrace.exchange(&trace);
    const struct {
        const char* name;
        const char* opener; // what the opener does; null: there is none
        bool opened;
    } cases[] = {
        {"handed on", "exit 0", true},
        {"failed", "exit 1", false},
        {"no method available", "exit 3", false},
        {"no opener", nullptr, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        trace.Clear();
        boxes.Clear();
        FakeOpener opener(c.opener);
        // The answers come after both dialogs (and their handlers) went.
        dialogs.QueueScript([](plat::FakeDialog& d) { d.Click(CAbout::kLicenseButton); });
        CAbout("").DoModal(nullptr);
        EXPECT_TRUE(Eventually([&] { return gui.PendingCount() == 1; }));
        dialogs.QueueScript([](plat::FakeDialog& d) { d.Click(plat::kIdOk); });
        CWizardKzn().DoModal(nullptr);
        EXPECT_TRUE(Eventually([&] { return gui.PendingCount() == 2; }));
        EXPECT_EQ(2, gui.RunPending());
        EXPECT_EQ(!c.opener ? "" : "https://licence.example/re\nhttps://signup.example/new\n",
                  opener.Opened());
        EXPECT_EQ(!c.opened, trace.Count("CAbout: !ShellExecute https://licence.example/re"));
        EXPECT_EQ(!c.opened, trace.Count("CWizardKzn: !ShellExecute https://signup.example/new"));
        std::multiset<std::string> texts, expected;
        for (const plat::MessageBoxRequest& box : boxes.Requests()) {
            EXPECT_EQ(nullptr, box.owner);
            EXPECT_EQ("Quorvex", box.caption);
            EXPECT_EQ(plat::kMbOk | plat::kMbIconExclamation, box.flags);
            texts.insert(box.text);
        }
        if (!c.opened) {
            expected = {"Sorry, https://licence.example/re could not be opened.",
                        "Sorry, https://signup.example/new could not be opened."};
        }
        EXPECT_EQ(expected, texts);
    }
    g_pTrace.store(previous);
}

} // namespace
