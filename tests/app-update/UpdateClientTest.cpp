#include <gtest/gtest.h>

#include <sys/stat.h>

#include "app/phone/PhoneState.h"
#include "app/settings/SetupDlg.h"
#include "app/trace/TraceFile.h"
#include "app/update/UpdateClient.h"
#include "platform/audio/testing/AudioTestSupport.h"
#include "platform/store/IniFile.h"
#include "platform/ui/ManualGuiDispatcher.h"
#include "platform/ui/dialog/testing/FakeDialogFactory.h"
#include "tests/app-update/UpdateTestSupport.h"
#include "tests/support/RecordingShell.h"
#include "tests/support/RecordingTraceLog.h"

namespace {

using updatetest::ReadFile;
using updatetest::RunUntil;

bool Exists(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0;
}

// The client against update_server.py, with the form's window messages recorded and handed
// to the client as the form would.
class UpdateClientTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server_.Ready()) << "python3 update_server.py did not start";
        previousTrace_ = g_pTrace.exchange(&trace_);
        g_PhoneState = PS_IDLE;
        settings_.baseUrl = server_.BaseUrl();
        settings_.versionFile = dir_.File("version.txt");
        settings_.downloadDir = dir_.File("downloads");
        settings_.settingsIni = dir_.File("quorvix.ini");
        settings_.programPath = "/opt/quorvex/quorvex";
        client_ = std::make_unique<UpdateClient>(host_, plat::PostTarget(port_), settings_);
    }
    void TearDown() override {
        client_.reset();
        g_PhoneState = PS_LOGGED_OUT;
        g_pTrace.store(previousTrace_);
    }
    void VersionOffers(const std::string& installer, const std::string& extraFiles = "") {
        server_.SetFiles(R"({"version.txt": {"body": "[versionList]\nKZN=2\n[KZN]\ninstaller=)" +
                         installer + R"(\ndirectory=rel/2\n"})" + extraFiles + "}");
    }
    bool Posted(uint32_t message) {
        return std::any_of(posted_.begin(), posted_.end(),
                           [&](const plat::WindowMessage& m) { return m.message == message; });
    }

    audiotest::TempDir dir_;
    updatetest::UpdateServer server_{dir_.File(".")};
    RecordingTraceLog trace_;
    iTraceFile* previousTrace_ = nullptr;
    plat::ManualGuiDispatcher gui_;
    plat::FakeDialogFactory dialogs_;
    updatetest::FakeUpdateHost host_;
    UpdateSettings settings_;
    std::vector<plat::WindowMessage> posted_;
    std::vector<int> barPositions_; // the progress bar after each progress message
    std::shared_ptr<plat::MessagePort> port_ = plat::MessagePort::Open([this](auto& m) {
        posted_.push_back(m);
        client_->OnWindowMessage(m);
        if (m.message == 0x8001) {
            auto* progress = client_->Progress();
            barPositions_.push_back(progress ? progress->Window()->Pos(1019) : -1);
        }
    });
    std::unique_ptr<UpdateClient> client_;
};

TEST_F(UpdateClientTest, ACheckFindsARelease_TheOfferIsTaken_TheInstallerArrivesWithProgress) {
    VersionOffers("setup.run", R"(, "rel/2/setup.run": {"size": 5000000})");
    client_->StartUpdateThread(false);
    ASSERT_TRUE(RunUntil(gui_, [&] { return !host_.timersSet.empty(); }));
    EXPECT_EQ(host_.timersSet, std::vector<unsigned>{UpdateClient::kTimerOffer});
    EXPECT_TRUE(client_->IsUpdateRunning()) << "the check waits for its offer";

    host_.answer = plat::kIdYes;
    ASSERT_TRUE(client_->OnTimer(UpdateClient::kTimerOffer));
    ASSERT_EQ(host_.messages.size(), 1u);
    EXPECT_EQ(client_->Mode(), UpdateClient::kModeDownload);
    ASSERT_TRUE(RunUntil(gui_, [&] { return host_.timersSet.size() == 2; }));
    EXPECT_EQ(host_.timersSet.back(), UpdateClient::kTimerInstallerReady);

    // Start, rising per mille up to 1000 shown on the bar, end; the window went with the end.
    ASSERT_GE(posted_.size(), 3u);
    EXPECT_EQ(posted_.front().message, 0x8000u);
    EXPECT_EQ(posted_.back().message, 0x8002u);
    std::vector<int> perMille;
    for (const auto& m : posted_) {
        if (m.message == 0x8001) {
            perMille.push_back(static_cast<int>(m.wParam));
        }
    }
    EXPECT_TRUE(std::is_sorted(perMille.begin(), perMille.end()));
    EXPECT_EQ(perMille.back(), 1000);
    EXPECT_GT(perMille.size(), 100u) << "per mille of 5 MB: past where 32 bits would overflow";
    EXPECT_EQ(barPositions_, perMille);
    EXPECT_TRUE(dialogs_.Modeless().empty());
    EXPECT_EQ(ReadFile(dir_.File("downloads/setup.run")), std::string(5000000, 'x'));
    EXPECT_FALSE(Exists(dir_.File("downloads/setup.run.part")));
    std::string log = server_.Log();
    EXPECT_NE(log.find(R"("body": "action=size&filepath=rel/2/setup.run")"), std::string::npos);
    EXPECT_NE(log.find(R"("path": "/rel/2/setup.run")"), std::string::npos);
    EXPECT_EQ(log.find("HTTP/1.1"), std::string::npos) << "every request is HTTP/1.0";

    // Over plain HTTP the installer stays where it is: the user is told, nothing ends.
    ASSERT_TRUE(client_->OnTimer(UpdateClient::kTimerInstallerReady));
    ASSERT_EQ(host_.messages.size(), 2u);
    EXPECT_NE(host_.messages[1].find(dir_.File("downloads/setup.run")), std::string::npos);
    EXPECT_EQ(host_.ended, 0);
    EXPECT_FALSE(client_->IsUpdateRunning());
    EXPECT_TRUE(client_->InstallerPath().empty()) << "so it is never started at exit";
}

TEST_F(UpdateClientTest, UpdateNowAfterADeclinedOfferDownloadsTheInstaller) {
    VersionOffers("setup.run", R"(, "rel/2/setup.run": {"size": 1000})");
    client_->StartUpdateThread(false);
    ASSERT_TRUE(RunUntil(gui_, [&] { return !host_.timersSet.empty(); }));
    host_.answer = plat::kIdNo;
    ASSERT_TRUE(client_->OnTimer(UpdateClient::kTimerOffer));
    EXPECT_EQ(plat::IniFile(settings_.settingsIni).GetInt("general", "DelayDownload", 0), 3);

    // "Update Now" in the settings dialog, linked to the client as the login form links it.
    SetupDlg::Links links;
    links.isUpdateRunning = [this] { return client_->IsUpdateRunning(); };
    links.startForcedUpdate = [this] { client_->StartUpdateThread(true); };
    dialogs_.QueueScript([](plat::FakeDialog& d) { d.Click(SetupDlg::kUpdateNow); });
    RunSettingsDialog(nullptr, links, plat::PostTarget());
    ASSERT_TRUE(RunUntil(gui_, [&] { return host_.timersSet.size() == 2; }))
        << "the forced check did not run";
    ASSERT_TRUE(client_->OnTimer(UpdateClient::kTimerOffer));
    EXPECT_EQ(host_.messages.size(), 1u) << "a forced offer is taken without asking";
    ASSERT_TRUE(RunUntil(gui_, [&] { return host_.timersSet.size() == 3; }));
    EXPECT_EQ(host_.timersSet.back(), UpdateClient::kTimerInstallerReady);
    EXPECT_EQ(ReadFile(dir_.File("downloads/setup.run")), std::string(1000, 'x'));
}

TEST_F(UpdateClientTest, AnUnusableAnswerEndsTheCheckWithoutAFile) {
    const char* cases[] = {
        R"({"version.txt": {"body": "x", "reply": "status=success&size=1"}})",
        R"({"version.txt": {"body": "x", "reply": "[status=failure&size=1]"}})",
        R"({"version.txt": {"body": "x", "reply": "[status=success&size=0]"}})",
        R"({"version.txt": {"body": "x", "reply": "[status=success&size=1x]"}})",
        R"({"version.txt": {"body": "x", "status": 500}})",
        R"({"version.txt": {"size": 50000, "send": 20000}})",     // shorter than announced
        R"({"version.txt": {"size": 200, "announce": 100}})",     // longer than announced
        R"({"version.txt": {"body": "[versionList]\nKZN=1\n"}})", // nothing newer
    };
    for (const char* files : cases) {
        SCOPED_TRACE(files);
        server_.SetFiles(files);
        client_->StartUpdateThread(false);
        ASSERT_TRUE(RunUntil(gui_, [&] { return !client_->IsUpdateRunning(); }));
        client_->Join();
        gui_.RunPending();
        EXPECT_TRUE(host_.timersSet.empty());
        EXPECT_EQ(Exists(settings_.versionFile), files == cases[std::size(cases) - 1]);
        EXPECT_FALSE(Exists(settings_.versionFile + ".part"));
        unlink(settings_.versionFile.c_str());
    }
}

TEST_F(UpdateClientTest, AnInstallerNameThatIsNotAPlainFileNameIsNeverAskedFor) {
    for (const char* name : {"../evil.run", ".hidden", "a/b.run", "", "with space.run"}) {
        SCOPED_TRACE(name);
        host_.timersSet.clear();
        VersionOffers(name);
        client_->StartUpdateThread(false);
        ASSERT_TRUE(RunUntil(gui_, [&] { return !host_.timersSet.empty(); }));
        host_.answer = plat::kIdYes;
        client_->OnTimer(UpdateClient::kTimerOffer);
        ASSERT_TRUE(RunUntil(gui_, [&] { return !client_->IsUpdateRunning(); }));
        client_->Join();
    }
    std::string log = server_.Log();
    EXPECT_EQ(log.find("evil"), std::string::npos);
    EXPECT_EQ(log.find("hidden"), std::string::npos);
    EXPECT_EQ(trace_.CountPrefix("UpdateWorker: instalador no aceptado"), 5);
}

TEST_F(UpdateClientTest, TheStopFlagEndsADownloadWithin250Milliseconds) {
    VersionOffers("big.run", R"(, "rel/2/big.run": {"size": 20000000, "delay": 0.05})");
    client_->StartUpdateThread(true);
    ASSERT_TRUE(RunUntil(gui_, [&] { return !host_.timersSet.empty(); }));
    client_->OnTimer(UpdateClient::kTimerOffer); // forced: accepted without a question
    EXPECT_TRUE(host_.messages.empty());
    ASSERT_TRUE(RunUntil(gui_, [&] { return Posted(0x8001); }));
    auto start = std::chrono::steady_clock::now();
    client_->Stop();
    client_->Join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(250));
    gui_.RunPending();
    EXPECT_TRUE(Posted(0x8002));
    EXPECT_FALSE(Exists(dir_.File("downloads/big.run")));
    EXPECT_FALSE(Exists(dir_.File("downloads/big.run.part")));
}

// A body that stays below 1 kB/s for the stall time (made 2 s here) is given up as a failed
// download, and its partial file goes; one above the rate for longer than that arrives whole.
TEST_F(UpdateClientTest, ADownloadThatStaysBelowTheRateIsGivenUpAndLeavesNoFile) {
    EXPECT_EQ(plat::HttpLimits{}.lowSpeedBytesPerSecond, 1024) << "the program's own rate";
    struct Case {
        const char* name;
        const char* file; // its size, bytes per write and seconds between writes
        bool arrives;
    };
    const Case cases[] = {
        {"a byte a second", R"({"size": 100, "chunk": 1, "delay": 1})", false},
        {"half the rate", R"({"size": 4096, "chunk": 256, "delay": 0.5})", false},
        {"twice the rate for 4 s", R"({"size": 8192, "chunk": 512, "delay": 0.25})", true},
    };
    settings_.limits.lowSpeedSeconds = 2;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        client_ = std::make_unique<UpdateClient>(host_, plat::PostTarget(port_), settings_);
        host_.timersSet.clear();
        trace_.Clear();
        VersionOffers("slow.run", std::string(R"(, "rel/2/slow.run": )") + c.file);
        client_->StartUpdateThread(true);
        ASSERT_TRUE(RunUntil(gui_, [&] { return !host_.timersSet.empty(); }));
        client_->OnTimer(UpdateClient::kTimerOffer);
        ASSERT_TRUE(RunUntil(
            gui_, [&] { return host_.timersSet.size() == 2 || !client_->IsUpdateRunning(); }));
        client_->Join();
        gui_.RunPending();
        EXPECT_EQ(Exists(dir_.File("downloads/slow.run")), c.arrives);
        EXPECT_FALSE(Exists(dir_.File("downloads/slow.run.part")));
        EXPECT_EQ(client_->Progress(), nullptr) << "the progress window stays up";
        EXPECT_EQ(trace_.CountPrefix("UpdateWorker: descarga fallida de rel/2/slow.run "
                                     "(Operation too slow."),
                  c.arrives ? 0 : 1)
            << testing::PrintToString(trace_.Lines());
        unlink(dir_.File("downloads/slow.run").c_str());
    }
}

// Code comes only over HTTPS that verifies: an unknown certificate fails the check; a trusted
// one brings an installer that is started, with the program's path, as the program ends.
TEST(UpdateOverHttpsTest, AnUnknownCertificateFailsAndAVerifiedInstallerRunsAtExit) {
    audiotest::TempDir dir;
    updatetest::UpdateServer server(dir.File("."), true);
    ASSERT_TRUE(server.Ready()) << "python3 update_server.py --tls did not start";
    server.SetFiles(R"({"version.txt": {"body": "[KZN]\ninstaller=setup.run\ndirectory=d\n"},
                        "d/setup.run": {"size": 1000}})");
    plat::ManualGuiDispatcher gui;
    plat::FakeDialogFactory dialogs;
    RecordingShell shell;
    g_PhoneState = PS_IDLE;
    for (bool trusted : {false, true}) {
        SCOPED_TRACE(trusted);
        updatetest::FakeUpdateHost host;
        UpdateSettings settings{server.BaseUrl(),
                                dir.File("version.txt"),
                                dir.File("downloads"),
                                dir.File("quorvix.ini"),
                                "/opt/quorvex/quorvex",
                                trusted ? server.CertFile() : "",
                                {}};
        std::unique_ptr<UpdateClient> client;
        auto port = plat::MessagePort::Open([&](auto& m) { client->OnWindowMessage(m); });
        client = std::make_unique<UpdateClient>(host, plat::PostTarget(port), settings);
        client->StartUpdateThread(true);
        ASSERT_TRUE(
            RunUntil(gui, [&] { return !client->IsUpdateRunning() || !host.timersSet.empty(); }));
        if (!trusted) {
            EXPECT_TRUE(host.timersSet.empty());
            EXPECT_FALSE(Exists(dir.File("version.txt")));
            continue;
        }
        client->OnTimer(UpdateClient::kTimerOffer);
        ASSERT_TRUE(RunUntil(gui, [&] { return host.timersSet.size() == 2; }));
        client->OnTimer(UpdateClient::kTimerInstallerReady);
        EXPECT_EQ(
            host.messages,
            std::vector<std::string>{
                "Download completed, you must restart your QUORvex program in order to update"});
        EXPECT_EQ(host.ended, 1);
        client->StartInstallerIfReady();
        std::string installer = dir.File("downloads/setup.run");
        EXPECT_EQ(shell.runs,
                  (std::vector<std::vector<std::string>>{{installer, "/opt/quorvex/quorvex"}}));
        struct stat info;
        ASSERT_EQ(stat(installer.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0700u);

        // Started for real, an installer that cannot run is traced.
        updatetest::WriteFile(installer, "#!/nonexistent/interpreter\n");
        RecordingTraceLog trace;
        iTraceFile* previousTrace = g_pTrace.exchange(&trace);
        plat::ShellSink* recording = plat::SetShellSinkForTests(nullptr);
        client->StartInstallerIfReady();
        plat::SetShellSinkForTests(recording);
        g_pTrace.store(previousTrace);
        EXPECT_EQ(trace.Lines(),
                  std::vector<std::string>{"UpdateWorker: !StartProgram " + installer});
    }
    g_PhoneState = PS_LOGGED_OUT;
}

} // namespace
