// The build's check of the side panels (quorvex_skincheck) on skin files made here: the face
// covers a panel's control only as far as its picture draws anything.
#include <gtest/gtest.h>
#include <stdio.h>
#include <sys/wait.h>

#include <string>

#include "tests/app-panels/PanelsSupport.h"
#include "tests/support/RegistrySandbox.h"

namespace {

// A window of two 50-wide columns around a 40 x 20 face that overlaps the left one by 10, the
// right one starting 30 into it: the face's picture spans window columns 40 to 80, and draws
// from its column 4 (window 44) to its column 33 (window 73), the outer two only faintly.
// Every control is one column wide, far from the face, except `id`, placed at [x, x + width)
// of its panel: the left column's panels open at window x 0, the right column's at 70.
TestSkin CheckedSkin(int id, int32_t x, int32_t width, bool faceDrawn) {
    TestSkin skin;
    skin.Value(226, 10).Value(227, 30).Bitmap(229, 40, 20, [faceDrawn](int px, int) {
        return !faceDrawn || px < 4 || px > 33 ? 0u : px == 4 || px == 33 ? 0x01000000u : ~0u;
    });
    // Every id after a panel's own can be a control's place and picture.
    for (int panel : {401, 500, 601, 901, 1001}) {
        skin.Solid(panel, 50, 20, ~0u);
        for (int part = panel + 1; part < panel + 20; ++part) {
            const int32_t at = part == id ? x : panel == 500 || panel == 901 ? 0 : 40;
            const int32_t w = part == id ? width : 1;
            skin.Area(part, at, 0, w, 1).Pos(part, at, 0).Solid(part, w, 1, ~0u);
        }
    }
    return skin;
}

TEST(SkinLayoutCheckTest, AControlIsUnderTheFaceOnlyWhereTheFacesPictureDraws) {
    const struct {
        const char* name;
        int id;
        int32_t x, width;
        bool faceDrawn;
        int status;
    } cases[] = {
        {"left, up to the drawn edge", 909, 40, 4, true, 0},
        {"left, one column over it", 909, 41, 4, true, 1},
        {"right, from the drawn edge", 605, 4, 2, true, 0},
        {"right, one column over it", 605, 3, 2, true, 1},
        {"a face that draws nothing", 605, 0, 10, false, 0},
    };
    const RegistrySandbox sandbox; // a folder of its own for the skin file
    const std::string path = sandbox.Dir() + "/skin.zsk";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(
            panelstest::WriteBytes(path, CheckedSkin(c.id, c.x, c.width, c.faceDrawn).Bytes()));
        FILE* out = popen((std::string(QUORVEX_SKINCHECK) + " " + path + " 2>&1").c_str(), "r");
        ASSERT_NE(nullptr, out);
        std::string text;
        for (int ch = fgetc(out); ch != EOF; ch = fgetc(out)) {
            text += static_cast<char>(ch);
        }
        const int status = pclose(out);
        ASSERT_TRUE(WIFEXITED(status)) << text;
        EXPECT_EQ(c.status, WEXITSTATUS(status)) << text;
        EXPECT_EQ(c.status != 0, text.find("control " + std::to_string(c.id)) != std::string::npos)
            << text;
    }
}

} // namespace
