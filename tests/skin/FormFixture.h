#pragma once
#include <gtest/gtest.h>

#include <memory>

#include "platform/ui/testing/FakeWindowSystem.h"
#include "tests/skin/DemoForm.h"

// A form of type `Form` on the fake window system, made over a skin the test makes current.
template <typename Form> class SkinnedFormTest : public ::testing::Test {
protected:
    // Loads `skin` as the current skin and creates the form's window (window_).
    void Open(const TestSkin& skin) {
        g_FormAlpha = 255;
        ASSERT_TRUE(skin.Load(module_));
        skin_ = std::make_unique<CurrentSkin>(&module_);
        ASSERT_TRUE(form_.Create());
        window_ = windows_.Windows().back();
    }

    plat::FakeWindowSystem windows_;
    plat::ResourceModule module_;
    std::unique_ptr<CurrentSkin> skin_;
    Form form_;
    plat::FakeWindow* window_ = nullptr;
};

// The demo form, skinned, made and shown at (300, 200).
class FormFixture : public SkinnedFormTest<demo::Form> {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(Open(demo::Skin()));
        ASSERT_TRUE(form_.skinned);
        window_->Move(300, 200);
        form_.ShowWindow(plat::kSwShow);
        presents_ = window_->PresentCount();
    }

    // Presents since the last call.
    int NewPresents() {
        int n = window_->PresentCount() - presents_;
        presents_ = window_->PresentCount();
        return n;
    }
    uint32_t Shown(int x, int y) const { return PixelAt(window_->LastImage(), x, y); }

    int presents_ = 0;
};
