#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/strings/CMsgBox.h"
#include "platform/ui/RecordingMessageBoxSink.h"
#include "skin/SkinResources.h"
#include "tests/res/TestPe.h"
#include "tests/strings/RecordingTrace.h"
#include "tests/support/CurrentSkin.h"

namespace {

int g_window; // stands for a native window

class FakeWindow : public plat::MessageBoxOwner, public CMsgBox {
public:
    FakeWindow() : CMsgBox(this) {}
    plat::NativeWindow MessageBoxParent() const override { return native; }
    plat::NativeWindow native = nullptr;
};

TEST(CMsgBox, ShowsTheTextOfTheIdOnItsWindowWithTheProductCaption) {
    plat::RecordingMessageBoxSink boxes;
    boxes.QueueAnswer(plat::kIdYes);
    FakeWindow window;
    window.native = &g_window; // the window exists only after construction
    EXPECT_EQ(window.ShowMessage(3, 36), plat::kIdYes);
    EXPECT_EQ(window.ShowMessage(105, plat::kMbOk | plat::kMbIconStop), plat::kIdOk);
    ASSERT_EQ(boxes.Requests().size(), 2u);
    EXPECT_EQ(boxes.Requests()[0].text, "Do you want to exit now?");
    EXPECT_EQ(boxes.Requests()[0].caption, "Quorvex");
    EXPECT_EQ(boxes.Requests()[0].flags, 36u);
    EXPECT_EQ(boxes.Requests()[0].owner, &g_window);
    EXPECT_EQ(boxes.Requests()[1].flags, 16u);

    CMsgBox ownerless(nullptr);
    ownerless.ShowMessage(1, 0);
    ASSERT_EQ(boxes.Requests().size(), 3u);
    EXPECT_EQ(boxes.Requests()[2].owner, nullptr);
    EXPECT_EQ(boxes.Requests()[2].text, "Ok");
}

TEST(CMsgBox, MissingTextsShowStarsAndLongTextsAreCut) {
    plat::RecordingMessageBoxSink boxes;
    RecordingTrace trace;
    CMsgBox box(nullptr);
    box.ShowMessage(189, 0);
    ASSERT_EQ(boxes.Requests().size(), 1u);
    EXPECT_EQ(boxes.Requests()[0].text, "***");
    EXPECT_EQ(trace.Text(), "string no encontrado:189<time>\n");

    // A skin's 400-character text is shown with its first 299 characters.
    std::vector<uint8_t> block = {0x90, 0x01}; // string 0: 400 units
    for (int i = 0; i < 400; ++i) {
        block.push_back(static_cast<uint8_t>('a' + i % 26));
        block.push_back(0);
    }
    block.resize(block.size() + 30, 0);                                // strings 1-15: empty
    auto img = testpe::Build({{plat::kResourceString, 13, 0, block}}); // ids 192-207
    plat::ResourceModule skin;
    ASSERT_TRUE(skin.LoadFromBytes(img.bytes.data(), img.bytes.size()));
    {
        CurrentSkin current(&skin);
        box.ShowMessage(192, 0);
    }
    ASSERT_EQ(boxes.Requests().size(), 2u);
    EXPECT_EQ(boxes.Requests()[1].text.size(), 299u);
    EXPECT_EQ(boxes.Requests()[1].text.substr(0, 3), "abc");
}

} // namespace
