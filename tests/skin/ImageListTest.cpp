#include <gtest/gtest.h>

#include <memory>
#include <optional>

#include "platform/ui/VirtualKeys.h"
#include "platform/ui/testing/FakeWindowSystem.h"
#include "skin/CForm.h"
#include "skin/zel_Bkgrd.h"
#include "skin/zel_ImageList.h"
#include "tests/skin/TestSkin.h"

namespace {

constexpr int kStrip = 600;

// A skin module with id `id`, language `language` and a solid preview of w x h.
std::unique_ptr<plat::ResourceModule> SkinModule(int32_t id, int32_t language, int w = 55,
                                                 int h = 100, uint32_t colour = 0xFF2080C0u) {
    auto m = std::make_unique<plat::ResourceModule>();
    TestSkin s;
    s.Value(kSkinIdValueId, id)
        .Value(kSkinLanguageId, language)
        .Solid(kSkinPreviewId, w, h, colour);
    EXPECT_TRUE(s.Load(*m));
    return m;
}

class StripForm : public CForm {
public:
    StripForm() : CForm(1) {}
    void OnCommand(uint16_t id, int32_t value) override { commands.push_back({id, value}); }
    zel_ImageList strip;
    zel_Bkgrd background;
    std::vector<std::pair<uint16_t, int32_t>> commands;
};

class ImageListTest : public ::testing::Test {
protected:
    void SetUp() override { Make(10, 20, 283, 100); }
    // The current skin: the strip in area (x, y, w, h), with a caption colour when given.
    void Make(int x, int y, int w, int h, std::optional<uint32_t> captionColor = {}) {
        g_FormAlpha = 255;
        skin_.reset();
        form_ = std::make_unique<StripForm>();
        current_ = std::make_unique<plat::ResourceModule>();
        TestSkin s;
        s.Value(kSkinIdValueId, 0x1A).Area(kStrip, x, y, w, h).Solid(1, 320, 160, 0xFF000000u);
        if (captionColor) {
            s.Color(kStrip + 1, *captionColor);
        }
        ASSERT_TRUE(s.Load(*current_));
        skin_ = std::make_unique<CurrentSkin>(current_.get());
        ASSERT_TRUE(form_->Create());
        form_->strip.CreateFromSkin(form_.get(), kStrip);
        form_->background.CreateFromSkin(form_.get(), 1);
        ASSERT_TRUE(form_->CreateBackBuffer(320, 160));
        window_ = windows_.Windows().back();
    }
    std::vector<int32_t> Ids() const {
        std::vector<int32_t> ids;
        for (const zel_ImageItem* i = form_->strip.First(); i; i = i->m_pNext.get()) {
            ids.push_back(i->m_nSkinId);
        }
        return ids;
    }

    plat::FakeWindowSystem windows_;
    std::unique_ptr<plat::ResourceModule> current_;
    std::unique_ptr<CurrentSkin> skin_;
    std::unique_ptr<StripForm> form_;
    plat::FakeWindow* window_ = nullptr;
};

TEST_F(ImageListTest, EachSkinIsAddedOnceOrderedByLanguageNewestFirst) {
    auto english = SkinModule(1, 0);
    auto spanish = SkinModule(2, 1);
    auto portuguese = SkinModule(3, 2);
    auto english2 = SkinModule(4, 0);
    auto other = SkinModule(5, 7);
    zel_ImageList& strip = form_->strip;
    EXPECT_TRUE(strip.AddSkin(portuguese.get(), false, "DejaVu Sans"));
    EXPECT_TRUE(strip.AddSkin(english.get(), false, "DejaVu Sans"));
    EXPECT_TRUE(strip.AddSkin(spanish.get(), false, "DejaVu Sans"));
    EXPECT_FALSE(strip.AddSkin(english.get(), true, "DejaVu Sans"));
    EXPECT_TRUE(strip.AddSkin(english2.get(), false, "DejaVu Sans"));
    EXPECT_TRUE(strip.AddSkin(other.get(), false, "DejaVu Sans"));
    EXPECT_EQ(Ids(), (std::vector<int32_t>{4, 1, 2, 3, 5}));
    EXPECT_EQ(strip.GetSelectedId(), -1);

    // No skin id, or no preview: nothing added.
    plat::ResourceModule noId;
    ASSERT_TRUE(TestSkin()
                    .Remove(kSkinTypeValue, kSkinIdValueId)
                    .Solid(kSkinPreviewId, 5, 5, 0xFF000000u)
                    .Load(noId));
    EXPECT_FALSE(strip.AddSkin(&noId, false, "DejaVu Sans"));
    auto stripped = std::make_unique<plat::ResourceModule>();
    TestSkin withoutPreview;
    withoutPreview.Value(kSkinIdValueId, 9);
    ASSERT_TRUE(withoutPreview.Load(*stripped));
    EXPECT_FALSE(strip.AddSkin(stripped.get(), false, "DejaVu Sans"));
    EXPECT_FALSE(strip.AddSkin(nullptr, false, "DejaVu Sans"));
    EXPECT_EQ(strip.Count(), 5);

    // The current skin's preview (id 0x1A) comes selected; `select` selects too.
    auto current = SkinModule(0x1A, 1);
    EXPECT_TRUE(strip.AddSkin(current.get(), false, "DejaVu Sans"));
    EXPECT_EQ(strip.GetSelectedId(), 0x1A);
    auto chosen = SkinModule(8, 2);
    EXPECT_TRUE(strip.AddSkin(chosen.get(), true, "DejaVu Sans"));
    EXPECT_EQ(strip.GetSelectedId(), 8);
    strip.RemoveAll();
    EXPECT_EQ(strip.Count(), 0);
    EXPECT_EQ(strip.GetSelectedId(), -1);
}

TEST_F(ImageListTest, ScaleCaptionStripAndScrollWidthFollowTheArea) {
    Make(0, 0, 283, 143);
    auto builtIn = SkinModule(0, 0, 212, 404);
    ASSERT_TRUE(form_->strip.AddSkin(builtIn.get(), false, "DejaVu Sans"));
    const zel_ImageItem* item = form_->strip.First();
    EXPECT_NEAR(item->m_fBaseScale, 0.354, 0.001);
    EXPECT_EQ(item->m_Picture.width, 56 + 212); // a caption strip 56 pixels wide (20 on screen)
    EXPECT_EQ(item->m_Picture.height, 404);
    // The caption is drawn (opaque black) in the strip, the rest of it is transparent.
    int ink = 0;
    for (int y = 0; y < 404; ++y) {
        for (int x = 0; x < 56; ++x) {
            const uint32_t p = PixelAt(item->m_Picture.surface, x, y);
            EXPECT_TRUE(p == 0 || (p >> 24) == 0xFF);
            ink += p != 0;
        }
    }
    EXPECT_GT(ink, 100);

    // Three previews shown 75 wide (picture 20 + 55 at scale 1) in an area 283 wide:
    // 3 x 85 - 283 + 20.
    Make(0, 0, 283, 100);
    for (int id : {1, 2, 3}) {
        auto m = SkinModule(id, 0, 55, 100);
        ASSERT_TRUE(form_->strip.AddSkin(m.get(), false, "DejaVu Sans"));
        EXPECT_EQ(form_->strip.First()->DisplayedWidth(), 75);
    }
    EXPECT_EQ(form_->strip.GetScrollWidth(), -8);
}

TEST_F(ImageListTest, CaptionsTakeTheSkinsCaptionColourAndAreBlackWithoutOne) {
    const struct {
        const char* what;
        std::optional<uint32_t> color; // as the skin stores it: red in the low byte
        uint32_t drawn;                // the caption's full-coverage pixels, as 0xRRGGBB
    } cases[] = {
        {"none", std::nullopt, 0x000000},
        {"light", 0x00EEECD8u, 0xD8ECEE},
        {"white, taken for the background", 0x00FFFFFFu, 0x000000},
    };
    for (const auto& c : cases) {
        Make(0, 0, 283, 100, c.color);
        auto skin = SkinModule(1, 0, 55, 100);
        ASSERT_TRUE(form_->strip.AddSkin(skin.get(), false, "DejaVu Sans")) << c.what;
        int inked = 0;
        for (int y = 0; y < 100; ++y) {
            for (int x = 0; x < 20; ++x) {
                inked += PixelAt(form_->strip.First()->m_Picture.surface, x, y) ==
                         (0xFF000000u | c.drawn);
            }
        }
        EXPECT_GT(inked, 10) << c.what;
    }
}

TEST_F(ImageListTest, AnAreaWithoutWidthOrHeightHoldsNoPreviews) {
    for (auto [w, h] : {std::pair{0, 100}, std::pair{283, 0}, std::pair{-5, 10}}) {
        Make(0, 0, w, h);
        auto m = SkinModule(1, 0);
        EXPECT_FALSE(form_->strip.AddSkin(m.get(), false, "DejaVu Sans")) << w << " x " << h;
        EXPECT_EQ(form_->strip.Count(), 0);
        form_->strip.OnMouseMove(0, {5, 5});
        form_->strip.OnLButtonDown(plat::kMkLButton, {5, 5});
    }
}

TEST_F(ImageListTest, TheFadeReachesOneInFiveTicksAndGivesItsTimerBack) {
    zel_ImageList& strip = form_->strip;
    strip.OnMouseEnter(0);
    EXPECT_EQ(strip.Fade(), 0.0f);
    EXPECT_EQ(form_->m_nTimerRefs, 1);
    for (int tick = 1; tick <= 5; ++tick) {
        ASSERT_TRUE(window_->FireTimer(CForm::kTimerAnimation)) << tick;
    }
    EXPECT_EQ(strip.Fade(), 1.0f);
    EXPECT_EQ(form_->m_nTimerRefs, 0);
    EXPECT_EQ(window_->Timers().count(CForm::kTimerAnimation), 0u);

    // Fading out: five steps of 0.2 leave a float residue, the sixth reaches 0.
    strip.OnMouseLeave(0);
    for (int tick = 1; tick <= 5; ++tick) {
        window_->FireTimer(CForm::kTimerAnimation);
    }
    EXPECT_GT(strip.Fade(), 0.0f);
    EXPECT_LT(strip.Fade(), 0.001f);
    window_->FireTimer(CForm::kTimerAnimation);
    EXPECT_EQ(strip.Fade(), 0.0f);
    EXPECT_EQ(window_->Timers().count(CForm::kTimerAnimation), 0u);
}

TEST_F(ImageListTest, PicturesSitOnTheAreasBottomWhateverPartIsRedrawn) {
    // A gradient: row y of the preview has red 2y, so a picture drawn from the wrong row shows.
    auto colour = [](int y) { return 0xFF0040C0u | static_cast<uint32_t>(2 * y) << 16; };
    plat::ResourceModule m;
    ASSERT_TRUE(TestSkin()
                    .Value(kSkinIdValueId, 1)
                    .Bitmap(kSkinPreviewId, 55, 100, [&](int, int y) { return colour(y); })
                    .Load(m));
    ASSERT_TRUE(form_->strip.AddSkin(&m, true, "DejaVu Sans"));
    // The preview (opaque, selected) fills x 30-84 of the area's 100 rows (y 20-119): drawn
    // whole, then with only the lower half redrawn.
    const plat::Rect lower{0, 70, 320, 160};
    for (const plat::Rect* redrawn : {static_cast<const plat::Rect*>(nullptr), &lower}) {
        redrawn ? form_->InvalidateRect(redrawn) : form_->Invalidate();
        form_->Compose();
        for (int y : {0, 50, 75, 99}) {
            EXPECT_EQ(PixelAt(window_->LastImage(), 50, 20 + y), colour(y)) << "row " << y;
        }
        EXPECT_EQ(PixelAt(window_->LastImage(), 50, 120), 0xFF000000u);
    }
}

TEST_F(ImageListTest, TheMagnifierGrowsThePreviewsNearTheCursorAndShiftsTheStrip) {
    // Three previews shown 75 wide (gaps of 10): their right edges at 75, 160 and 245 of the
    // strip; those within the 180 pixels that start 95 left of the cursor grow.
    std::vector<std::unique_ptr<plat::ResourceModule>> modules;
    for (int id : {3, 2, 1}) {
        modules.push_back(SkinModule(id, 0, 55, 100, id == 1 ? 0xFFFFFFFFu : 0xFF2080C0u));
        ASSERT_TRUE(form_->strip.AddSkin(modules.back().get(), false, "DejaVu Sans"));
    }
    zel_ImageList& strip = form_->strip;
    struct Case {
        int x;
        float magnification[3];
        int32_t shift;
    } cases[] = {
        {0, {0.104241f, 0, 0}, 3},
        {75, {0.597719f, 0, 0}, 22},              // the second right edge ends the window
        {170, {0, 0.597715f, 0.104241f}, 25},     // the first right edge starts it
        {100, {0.563808f, 0.253614f, 0}, 21 + 9}, // shown 117 and 94 wide
    };
    for (const Case& c : cases) {
        strip.OnMouseMove(0, {c.x, 50});
        const zel_ImageItem* item = strip.First();
        for (float expected : c.magnification) {
            ASSERT_NE(item, nullptr);
            EXPECT_NEAR(item->m_fMagnification, expected, 2e-6) << "x " << c.x;
            item = item->m_pNext.get();
        }
        EXPECT_EQ(strip.m_nMagnifierShift, c.shift) << "x " << c.x;
    }
    // Drawn shifted left by 30 x 100 / 283 = 10: the first preview (white, not selected, so at
    // alpha 130 over the black background) ends at 117 on the form, the gap follows.
    form_->Invalidate();
    form_->Compose();
    const uint32_t first = PixelAt(window_->LastImage(), 112, 110);
    EXPECT_NEAR(static_cast<int>(first & 0xFF), 130, 1);
    EXPECT_EQ(first & 0xFFFFFF, (first & 0xFF) * 0x010101u);
    EXPECT_EQ(PixelAt(window_->LastImage(), 120, 110), 0xFF000000u);
}

TEST_F(ImageListTest, APreviewKeepsToTheBitmapCapAndToASideOnScreen) {
    // Previews given by their header alone (8 bits per pixel: a transparent image).
    struct Case {
        int areaHeight;
        int w, h;
        bool added;
    } cases[] = {
        {143, 2048, 8192, false}, // would make a 3193 x 8192 picture
        {8192, 2028, 8192, true}, // picture 2048 x 8192: the cap exactly
        {8192, 2029, 8192, false},
        {8192, 1022, 1024, true}, // caption 2, shown 8 x 1024 = 8192 wide
        {8192, 1023, 1024, false},
    };
    for (const Case& c : cases) {
        Make(0, 0, 283, c.areaHeight);
        plat::ResourceModule m;
        ASSERT_TRUE(TestSkin().Value(kSkinIdValueId, 1).Depth(kSkinPreviewId, c.w, c.h, 8).Load(m));
        EXPECT_EQ(form_->strip.AddSkin(&m, false, "DejaVu Sans"), c.added) << c.w << " x " << c.h;
        EXPECT_EQ(form_->strip.Count(), c.added ? 1 : 0);
    }
}

TEST_F(ImageListTest, AClickSelectsADoubleClickAsksForThatSkin) {
    auto builtIn = SkinModule(0, 0);
    auto other = SkinModule(7, 1);
    ASSERT_TRUE(form_->strip.AddSkin(builtIn.get(), false, "DejaVu Sans"));
    ASSERT_TRUE(form_->strip.AddSkin(other.get(), false, "DejaVu Sans"));
    zel_ImageList& strip = form_->strip;
    // Previews 75 wide with gaps of 10; a gap belongs to the preview after it.
    struct Case {
        int x;
        int32_t selected;
    } cases[] = {{0, 0}, {74, 0}, {75, 7}, {84, 7}, {159, 7}, {160, -1}, {282, -1}, {74, 0}};
    for (const Case& c : cases) {
        strip.OnLButtonDown(plat::kMkLButton, {c.x, 50});
        EXPECT_EQ(strip.GetSelectedId(), c.selected) << "x " << c.x;
    }
    strip.OnLButtonDown(plat::kMkLButton, {10, 50});
    strip.OnLButtonDblClk(plat::kMkLButton, {10, 50});
    EXPECT_EQ(form_->commands, (std::vector<std::pair<uint16_t, int32_t>>{{kStrip, 0}}));
    strip.OnLButtonDown(plat::kMkLButton, {200, 50});
    strip.OnLButtonDblClk(plat::kMkLButton, {200, 50});
    EXPECT_EQ(form_->commands.size(), 1u); // nothing selected: nothing asked
}

} // namespace
