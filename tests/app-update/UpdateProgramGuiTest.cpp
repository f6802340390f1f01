// The program itself on a private Xvfb with update_server.py as its update server: an update
// taken and then cut short by the end of the session (SIGTERM).
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>

#include "tests/app-login/GuiProgram.h"
#include "tests/app-update/UpdateTestSupport.h"
#include "tests/support/TestFolder.h"

namespace {

using namespace guiprogram;

const auto* g_env = ::testing::AddGlobalTestEnvironment(new GuiEnvironment);

// SIGTERM (or Ctrl+C's SIGINT) cancels the download at once and ends the program in order.
// With a modal dialog open the program waits for it to close, but the partial file goes at
// once and a second signal ends the process.
TEST(UpdateProgramGuiTest, SigtermOrSigintInTheMiddleOfADownloadLeavesNoPartialFile) {
    if (!DisplayReady("no Xvfb or xdotool")) {
        return;
    }
    const std::pair<int, bool> cases[] = {{SIGTERM, false}, {SIGINT, true}};
    for (const auto& [signal, dialogOpen] : cases) {
        SCOPED_TRACE(dialogOpen ? "SIGINT, the settings dialog open" : "SIGTERM, no dialog open");
        const TestFolder folder;
        const std::string& home = folder.Path();
        updatetest::UpdateServer server(home);
        ASSERT_TRUE(server.Ready()) << "python3 update_server.py did not start";
        // About 40 kB/s: the 1 MB installer would take some 25 s.
        server.SetFiles(R"({"version.txt": {"body": "[versionList]\nKZN=2\n[KZN]\n)"
                        R"(installer=setup.bin\ndirectory=rel\n"},
                            "rel/setup.bin": {"size": 1000000, "delay": 0.1}})");
        ASSERT_TRUE(std::filesystem::create_directory(folder.File("config")));
        updatetest::WriteFile(folder.File("config/quorvex.ini"), "[General]\nRegisterWizard=0\n");
        const std::string service = "[service]\nsip_server=127.0.0.2\nupdate_server=";
        updatetest::WriteFile(folder.File("deployment.ini"), service + server.BaseUrl() + "\n");
        const std::string part = home + "/data/downloads/setup.bin.part";
        {
            Program program(home, QUORVEX_PROGRAM, QUORVEX_PROGRAM_DIR, home + "/deployment.ini");
            Shown login;
            ASSERT_TRUE(OnlyWindowBut("", &login));
            // The offer comes 3 s after the check; Return answers Yes.
            Shown question;
            ASSERT_TRUE(WaitFor([&] {
                std::vector<Shown> shown = Windows();
                return shown.size() == 2 &&
                       (question = shown[0].id == login.id ? shown[1] : shown[0], true);
            })) << server.Log();
            Keys(question, "key Return");
            ASSERT_TRUE(WaitFor([&] { return std::filesystem::exists(part); })) << server.Log();
            if (dialogOpen) {
                const size_t before = Windows().size();
                Keys(login, "key F2");
                ASSERT_TRUE(WaitFor([&] { return Windows().size() > before; }));
            }

            program.Signal(signal);
            if (dialogOpen) {
                EXPECT_TRUE(WaitFor([&] { return !std::filesystem::exists(part); }, 2000));
                EXPECT_EQ(-1, program.Ended(500)) << "it ended under the open dialog";
                program.Signal(SIGTERM);
                EXPECT_EQ(128 + SIGTERM, program.Ended(5000));
            } else {
                EXPECT_EQ(0, program.Ended(5000)) << "the program did not end in order";
            }
        }
        EXPECT_FALSE(std::filesystem::exists(part));
        EXPECT_FALSE(std::filesystem::exists(home + "/data/downloads/setup.bin"));
        const std::string trace = folder.Read("data/trace.txt");
        EXPECT_NE(std::string::npos,
                  trace.find("Cu7daxApp: senal de terminacion, fin del programa, signal=" +
                             std::to_string(signal)))
            << trace;
        EXPECT_NE(std::string::npos, trace.find("UpdateWorker: descarga fallida de rel/setup.bin"));
        EXPECT_EQ(!dialogOpen, trace.find("END TRACE") != std::string::npos);
    }
}

} // namespace
