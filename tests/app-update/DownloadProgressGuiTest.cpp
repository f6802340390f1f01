#include <gtest/gtest.h>

#include <glib.h>

#include "app/update/UpdateClient.h"
#include "platform/audio/testing/AudioTestSupport.h"
#include "platform/ui/GuiThread.h"
#include "platform/ui/dialog/GtkDialogFactory.h"
#include "tests/app-update/UpdateTestSupport.h"
#include "tests/support/RunningUnderCi.h"

namespace {

// Runs the GLib main context (the program's GUI thread) until the condition holds.
bool PumpUntil(const std::function<bool()>& condition) {
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        while (g_main_context_iteration(nullptr, FALSE)) {
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

// Runs only on a display (Xvfb under CI).
class OnDisplay : public ::testing::Test {
protected:
    void SetUp() override {
        const char* display = std::getenv("DISPLAY");
        if (display == nullptr || *display == '\0') {
            ASSERT_FALSE(RunningUnderCi()) << "no display under CI";
            GTEST_SKIP() << "no display";
        }
    }
};
using DownloadProgressGuiTest = OnDisplay;
using GtkDialogGuiTest = OnDisplay;

TEST_F(DownloadProgressGuiTest, HideHidesTheWindowWhileTheDownloadGoesOn) {
    audiotest::TempDir dir;
    updatetest::UpdateServer server(dir.File("."));
    ASSERT_TRUE(server.Ready());
    server.SetFiles(R"({"version.txt": {"body": "[KZN]\ninstaller=setup.run\ndirectory=d\n"},
                        "d/setup.run": {"size": 400000, "delay": 0.01}})");
    updatetest::FakeUpdateHost host;
    UpdateSettings settings{server.BaseUrl(),
                            dir.File("version.txt"),
                            dir.File("downloads"),
                            dir.File("quorvix.ini"),
                            "/opt/quorvex/quorvex",
                            "",
                            {}};
    std::unique_ptr<UpdateClient> client;
    std::string title;
    int progressAfterHide = 0;
    bool shownBeforeHide = false, shownAfterHide = true, hidden = false, ended = false;
    // The user hides the window at the first progress it shows, in the window's own turn, so
    // however slowly this thread runs the download still goes on afterwards.
    auto port = plat::MessagePort::Open([&](const plat::WindowMessage& m) {
        client->OnWindowMessage(m);
        if (m.message == 0x8001 && hidden) {
            ++progressAfterHide;
        } else if (m.message == 0x8001 && client->Progress() != nullptr) {
            plat::Dialog* window = client->Progress()->Window();
            title = window->Title();
            shownBeforeHide = window->IsVisible();
            hidden = plat::ClickDialogControlForTests(*window, plat::kIdOk);
            shownAfterHide = window->IsVisible();
        }
        ended = ended || m.message == 0x8002;
    });
    client = std::make_unique<UpdateClient>(host, plat::PostTarget(port), settings);

    client->StartUpdateThread(true);
    ASSERT_TRUE(PumpUntil([&] { return !host.timersSet.empty(); }));
    client->OnTimer(UpdateClient::kTimerOffer);
    ASSERT_TRUE(PumpUntil([&] { return ended; }));
    EXPECT_TRUE(hidden);
    EXPECT_EQ(title, "QUORvex Update");
    EXPECT_TRUE(shownBeforeHide);
    EXPECT_FALSE(shownAfterHide);
    EXPECT_GT(progressAfterHide, 0);
    EXPECT_EQ(updatetest::ReadFile(dir.File("downloads/setup.run")).size(), 400000u);
    client.reset();
}

// A modal dialog of the GTK layer, driven from the GUI thread's queue.
class ProbeHandler final : public plat::DialogHandler {
public:
    std::vector<std::pair<int, int>> commands;
    void OnInitDialog(plat::Dialog& dialog) override {
        dialog.SetTitle("Probe");
        dialog.AddItem(30, "LOW", 20);
        dialog.AddItem(30, "HIGH", 80);
        dialog.SetSelection(30, 1);
        dialog.SetCheck(20, true);
        dialog.SetText(10, "123456789");
        plat::PostToGuiThread([this, &dialog] {
            text = dialog.GetText(10);
            plat::ClickDialogControlForTests(dialog, 20); // the user unchecks
            checked = dialog.GetCheck(20);
            combo = dialog.GetText(30) + "/" + std::to_string(dialog.ItemData(30, 1));
            plat::ClickDialogControlForTests(dialog, plat::kIdOk);
        });
    }
    void OnCommand(plat::Dialog& dialog, int id, int notification) override {
        commands.emplace_back(id, notification);
        DialogHandler::OnCommand(dialog, id, notification);
    }
    std::string text, combo;
    bool checked = true;
};

TEST_F(GtkDialogGuiTest, AModalRunReportsUserActionsOnlyAndReturnsThePressedButton) {
    plat::DialogTemplate t;
    t.controls = {{plat::ControlKind::Edit, 10, "", 10, 10, 100, 28, 5},
                  {plat::ControlKind::CheckBox, 20, "Check", 10, 44, 100, 24},
                  {plat::ControlKind::ComboBox, 30, "", 10, 74, 100, 28},
                  {plat::ControlKind::Button, plat::kIdOk, "OK", 10, 110, 80, 28, 0, true}};
    ProbeHandler handler;
    plat::GtkDialogFactory factory;
    EXPECT_EQ(factory.RunModal(t, handler, nullptr), plat::kIdOk);
    EXPECT_EQ(handler.text, "12345") << "the edit's maximum length";
    EXPECT_FALSE(handler.checked);
    EXPECT_EQ(handler.combo, "HIGH/80");
    using Commands = std::vector<std::pair<int, int>>;
    EXPECT_EQ(handler.commands,
              (Commands{{20, plat::kBnClicked}, {plat::kIdOk, plat::kBnClicked}}));
}

} // namespace
