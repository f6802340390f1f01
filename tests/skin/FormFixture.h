#pragma once
#include <gtest/gtest.h>

#include <memory>

#include "platform/ui/testing/FakeWindowSystem.h"
#include "tests/skin/DemoForm.h"

// The demo form on the fake window system, skinned, made and shown at (300, 200).
class FormFixture : public ::testing::Test {
protected:
    void SetUp() override {
        g_FormAlpha = 255;
        ASSERT_TRUE(demo::Skin().Load(module_));
        skin_ = std::make_unique<CurrentSkin>(&module_);
        ASSERT_TRUE(form_.Create());
        ASSERT_TRUE(form_.skinned);
        window_ = windows_.Windows().back();
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

    plat::FakeWindowSystem windows_;
    plat::ResourceModule module_;
    std::unique_ptr<CurrentSkin> skin_;
    demo::Form form_;
    plat::FakeWindow* window_ = nullptr;
    int presents_ = 0;
};
