#include <gtest/gtest.h>
#include <sys/stat.h>

#include <functional>
#include <string>
#include <vector>

#include "app/skinfiles/SkinFolder.h"
#include "app/trace/TraceFile.h"
#include "platform/core/Paths.h"
#include "tests/app-panels/PanelsSupport.h"
#include "tests/app-panels/SkinCases.h"
#include "tests/support/RecordingTraceLog.h"
#include "tests/support/RegistrySandbox.h"

namespace {

using panelstest::Names;

// A fresh temporary folder (the sandbox's), removed afterwards.
class TempDir {
public:
    std::string Path(const std::string& name) const { return plat::JoinPath(sandbox_.Dir(), name); }

private:
    RegistrySandbox sandbox_;
};

TEST(SkinFolder, AFileNameIsTheSkinIdInLowerCaseHexadecimalAndNothingElse) {
    const struct {
        uint32_t id;
        const char* name;
    } names[] = {{0x2b, "2b.zsk"}, {0, "0.zsk"}, {0xABCDEF01u, "abcdef01.zsk"}, {16, "10.zsk"}};
    for (const auto& n : names) {
        EXPECT_EQ(n.name, SkinFolder::FileName(n.id));
        uint32_t id = 7;
        EXPECT_TRUE(SkinFolder::IdFromFileName(n.name, &id)) << n.name;
        EXPECT_EQ(n.id, id);
    }
    for (const char* other : {"2B.zsk", "02b.zsk", "2b.ZSK", "2b.zsk.part", ".zsk", "zsk",
                              "123456789.zsk", "2g.zsk", "-1.zsk", "2b"}) {
        uint32_t id = 7;
        EXPECT_FALSE(SkinFolder::IdFromFileName(other, &id)) << other;
        EXPECT_EQ(7u, id) << other;
    }
}

TEST(SkinFolder, TheInstalledCopyWinsInThePathTheListAndTheInstall) {
    const struct {
        const char* what;
        bool installed;
        bool shipped;
        const char* path; // folder PathOf gives
        std::vector<std::string> listed;
    } cases[] = {
        {"installed only", true, false, "installed", {"installed/2b.zsk"}},
        {"shipped only", false, true, "shipped", {"shipped/2b.zsk"}},
        {"both", true, true, "installed", {"installed/2b.zsk"}},
        {"neither", false, false, "installed", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir root;
        ASSERT_TRUE(plat::MakeDirs(root.Path("installed")));
        ASSERT_TRUE(plat::MakeDirs(root.Path("shipped")));
        const SkinFolder folder(root.Path("installed"), root.Path("shipped"));
        const std::vector<uint8_t> skin = panelstest::Identity(0x2b).Bytes();
        if (c.installed) {
            ASSERT_TRUE(panelstest::WriteBytes(root.Path("installed/2b.zsk"), skin));
        }
        if (c.shipped) {
            ASSERT_TRUE(panelstest::WriteBytes(root.Path("shipped/2b.zsk"), skin));
        }
        // Names that are not a skin id's are never listed.
        ASSERT_TRUE(panelstest::WriteBytes(root.Path("shipped/02b.zsk"), skin));
        ASSERT_TRUE(panelstest::WriteBytes(root.Path("installed/2B.zsk"), skin));

        EXPECT_EQ(root.Path(std::string(c.path) + "/2b.zsk"), folder.PathOf(0x2b));
        EXPECT_EQ(c.installed || c.shipped, folder.Has(0x2b));
        std::vector<std::string> listed;
        for (const std::string& name : c.listed) {
            listed.push_back(root.Path(name));
        }
        EXPECT_EQ(listed, folder.List());
        uint32_t id = 0;
        std::string target;
        const std::string source = root.Path("new.zsk");
        ASSERT_TRUE(panelstest::WriteBytes(source, skin));
        EXPECT_EQ(c.installed || c.shipped ? SkinFolder::Install::AlreadyInstalled
                                           : SkinFolder::Install::Installed,
                  folder.Copy(source, &id, &target));
        EXPECT_EQ(root.Path("installed/2b.zsk"), target);
    }
}

TEST(SkinFolder, AnInstallCopiesOnceAndAFailureLeavesNothingBehind) {
    enum class Source { Skin, OverBudget, AtTheByteBudget, PastIt, Garbage, Empty, Missing };
    const struct {
        const char* what;
        Source source;
        int32_t id;
        bool folderIsAFile;
        SkinFolder::Install result;
    } cases[] = {
        {"a skin", Source::Skin, 0x2b, false, SkinFolder::Install::Installed},
        {"skin id 1", Source::Skin, 1, false, SkinFolder::Install::Installed},
        {"skin id 0, the built-in one's", Source::Skin, 0, false, SkinFolder::Install::NotASkin},
        {"a negative skin id", Source::Skin, -5, false, SkinFolder::Install::NotASkin},
        {"no skin id", Source::Skin, -1, false, SkinFolder::Install::NotASkin},
        {"not a module", Source::Garbage, 0, false, SkinFolder::Install::NotASkin},
        {"an empty file", Source::Empty, 0, false, SkinFolder::Install::NotASkin},
        {"no file", Source::Missing, 0, false, SkinFolder::Install::NotASkin},
        {"the folder is a file", Source::Skin, 0x2b, true, SkinFolder::Install::NoFolder},
        {"too many pixels", Source::OverBudget, 0x2b, false, SkinFolder::Install::Unusable},
        {"as many bytes as a skin may have", Source::AtTheByteBudget, 0x2b, false,
         SkinFolder::Install::Installed},
        {"512 bytes more", Source::PastIt, 0x2b, false, SkinFolder::Install::Unusable},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir root;
        const std::string installed = root.Path("data/Skins");
        if (c.folderIsAFile) {
            ASSERT_TRUE(plat::MakeDirs(root.Path("data")));
            ASSERT_TRUE(panelstest::WriteBytes(installed, {1, 2, 3}));
        }
        const SkinFolder folder(installed, root.Path("shipped"));
        const std::string source = root.Path("chosen.zsk");
        std::vector<uint8_t> bytes;
        if (c.source == Source::Skin || c.source == Source::OverBudget) {
            TestSkin skin = panelstest::Identity(c.id);
            if (c.id == -1) {
                skin.Remove(kSkinTypeValue, kSkinIdValueId);
            }
            if (c.source == Source::OverBudget) {
                skin.Area(1, 0, 0, 8192, 8192).Area(2, 0, 0, 1, 1);
            }
            bytes = skin.Bytes();
        } else if (c.source == Source::AtTheByteBudget || c.source == Source::PastIt) {
            bytes = panelstest::AtTheByteBudget(c.id, c.source == Source::PastIt ? 512 : 0);
        } else if (c.source == Source::Garbage) {
            bytes = {'M', 'Z', 0, 0, 1, 2, 3};
        }
        if (c.source != Source::Missing) {
            ASSERT_TRUE(panelstest::WriteBytes(source, bytes));
        }
        uint32_t id = 0;
        std::string target;
        RecordingTraceLog trace;
        iTraceFile* const previous = g_pTrace.exchange(&trace);
        EXPECT_EQ(c.result, folder.Copy(source, &id, &target));
        g_pTrace = previous;
        // A file larger than a skin may be is not even read.
        EXPECT_EQ(c.source == Source::PastIt ? 1 : 0,
                  trace.CountPrefix("CMakeCall::zel_SldSkins::InstallSkin: " + source +
                                    " no se lee: el skin supera el limite de bytes"));
        if (c.result != SkinFolder::Install::Installed) {
            if (!c.folderIsAFile) {
                EXPECT_EQ(std::vector<std::string>{}, Names(installed));
            }
            continue;
        }
        EXPECT_EQ(static_cast<uint32_t>(c.id), id);
        EXPECT_EQ(plat::JoinPath(installed, SkinFolder::FileName(id)), target);
        EXPECT_EQ(bytes, panelstest::ReadBytes(target));
        struct stat info;
        ASSERT_EQ(0, stat(installed.c_str(), &info));
        EXPECT_TRUE(S_ISDIR(info.st_mode));

        // The second install of the same skin, even from another file with other bytes,
        // fails and leaves the first copy as it was, with no temporary file beside it.
        TestSkin other = panelstest::Identity(c.id);
        other.Value(kSkinLanguageId, 2);
        ASSERT_TRUE(panelstest::WriteBytes(source, other.Bytes()));
        EXPECT_EQ(SkinFolder::Install::AlreadyInstalled, folder.Copy(source, &id, &target));
        EXPECT_EQ(bytes, panelstest::ReadBytes(target));
        EXPECT_EQ(std::vector<std::string>{SkinFolder::FileName(id)}, Names(installed));
    }
}

// Text areas that no form reads, of `pixels` pixels in all (at most a side x a side).
void FillWithAreas(TestSkin& skin, int64_t pixels) {
    const auto rows = static_cast<int32_t>(pixels / kMaxSkinSide);
    const auto rest = static_cast<int32_t>(pixels % kMaxSkinSide);
    if (rows > 0) {
        skin.Area(9000, 0, 0, kMaxSkinSide, rows);
    }
    if (rest > 0) {
        skin.Area(9001, 0, 0, rest, 1);
    }
}

SkinContents Check(const TestSkin& skin) {
    plat::ResourceModule module;
    EXPECT_TRUE(skin.Load(module));
    return SkinFolder::CheckContents(module);
}

TEST(SkinFolder, EachValueKeepsTheRangeOfWhatItIsAndTheBrokenSkinsFailJustPastIt) {
    using V = SkinContents::Verdict;
    const plat::ResourceModule& builtIn = *ProgramModule();
    // One value of the built-in skin at each end of the range of what it is, and one past:
    // the call history's font height, the right column (a size: up to a window's width past
    // the face), the face's overlap of the left column (a place), a panel's edge (a size) and
    // its y (a place).
    const struct {
        int id;
        int32_t lowest, highest;
    } ranges[] = {{CMakeCall::zel_SldCallHistory::kFontValue, 1, 1024},
                  {CMakeCall::kRightPanelsValue, 0, kMaxSkinSide},
                  {CMakeCall::kFaceOverlapValue, -kMaxSkinSide, kMaxSkinSide},
                  {902, 0, kMaxSkinSide},
                  {1004, -kMaxSkinSide, kMaxSkinSide}};
    for (const auto& r : ranges) {
        for (int32_t value : {r.lowest - 1, r.lowest, r.highest, r.highest + 1}) {
            const bool within = value >= r.lowest && value <= r.highest;
            const SkinContents found =
                Check(skincases::BuiltIn(builtIn, skincases::kBuiltInCopySkin).Value(r.id, value));
            EXPECT_EQ(found.verdict, within ? V::Accepted : V::OutOfBounds)
                << r.id << ": " << value;
            EXPECT_EQ(found.id, within ? 0 : r.id) << r.id << ": " << value;
        }
    }

    // Three large pictures, and text areas that bring them exactly to the budget.
    TestSkin large = skincases::LargePictures(builtIn, 1024, 1500);
    const int64_t room = kMaxSkinPixels - Check(large).pixels;
    ASSERT_GT(room, 0);
    FillWithAreas(large, room);
    TestSkin overLarge = large;
    overLarge.Area(9002, 0, 0, 1, 1);
    struct Case {
        const char* what;
        TestSkin skin;
        V verdict;
        int id = 0;
    } cases[] = {
        {"the built-in skin", skincases::BuiltIn(builtIn, skincases::kBuiltInCopySkin),
         V::Accepted},
        {"pictures at the budget", large, V::Accepted},
        {"one pixel past it", overLarge, V::OverBudget},
        {"a skin at both budgets", skincases::AtBothBudgets(builtIn, skincases::kBudgetsSkin),
         V::Accepted},
        {"its two pictures a pixel larger each way",
         skincases::AtBothBudgets(builtIn, skincases::kBudgetsSkin,
                                  skincases::kSideAtTheBudget + 1),
         V::OverBudget},
        {"three 4096 x 4096 pictures", skincases::LargePictures(builtIn, 4096, 4096),
         V::OverBudget},
        {"font heights 4 bytes off", skincases::MisalignedFontHeights(builtIn, 4), V::Accepted},
        {"font heights 1 byte off", skincases::MisalignedFontHeights(builtIn, 1), V::Damaged,
         LoginForm::kFontHeightValue},
        {"font heights 2 bytes off", skincases::MisalignedFontHeights(builtIn, 2), V::Damaged,
         LoginForm::kFontHeightValue},
    };
    for (const Case& c : cases) {
        const SkinContents found = Check(c.skin);
        EXPECT_EQ(found.verdict, c.verdict) << c.what << ": " << DescribeSkinContents(found);
        EXPECT_EQ(found.id, c.id) << c.what;
        if (c.verdict == V::Damaged) {
            EXPECT_EQ(found.step, SkinLoadStep::ShortOrMisaligned) << c.what;
        }
    }
}

TEST(SkinFolder, TheBudgetCountsWhatTheFormsMakeOfTheSkin) {
    const plat::ResourceModule& builtIn = *ProgramModule();
    const int64_t base = Check(skincases::BuiltIn(builtIn, skincases::kBuiltInCopySkin)).pixels;
    // Each change and the pixels it adds: the picture itself, and each window's back buffer
    // twice (the window system holds a copy); the preview also beside its caption strip in
    // the skins panel (62 wide for the built-in skin's 404 rows shown 130 high).
    struct Case {
        const char* what;
        std::function<void(TestSkin&)> change;
        int64_t more;
    } cases[] = {
        {"a picture no form uses", [](TestSkin& s) { s.Depth(9003, 100, 100, 8); }, 10000},
        {"a login background one row higher",
         [](TestSkin& s) { s.Solid(LoginForm::kBackground, 232, 301, 0xFF000000u); },
         232 + 2 * 232},
        {"the face overlapping no column",
         [](TestSkin& s) { s.Value(CMakeCall::kFaceOverlapValue, 0); }, 2 * 24 * 440},
        {"a skins panel one column wider",
         [](TestSkin& s) { s.Solid(CMakeCall::zel_SldSkins::kPanel, 301, 210, 0xFF000000u); },
         210 + 2 * 440},
        {"a preview one row higher",
         [](TestSkin& s) { s.Solid(kSkinPreviewId, 212, 405, 0xFF000000u); }, 212 + (212 + 62)},
        {"a text area", [](TestSkin& s) { s.Area(9004, 0, 0, 30, 2); }, 60},
    };
    for (const Case& c : cases) {
        TestSkin skin = skincases::BuiltIn(builtIn, skincases::kBuiltInCopySkin);
        c.change(skin);
        EXPECT_EQ(Check(skin).pixels - base, c.more) << c.what;
    }
}

} // namespace
