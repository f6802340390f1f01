#pragma once
#include <string>
#include <vector>

#include "skin/zel_Parent.h"

// A control for tree tests: a rectangle that paints itself in one colour and writes every
// call it receives to a shared log ("A:down 3,4").
class ControlProbe : public zel_Wnd {
public:
    ControlProbe(std::string name, plat::Rect rect, std::vector<std::string>* log)
        : name_(std::move(name)), rect_(rect), log_(log) {
        pos_ = {rect.left, rect.top};
        m_pPos = &pos_;
    }

    void Draw(plat::Canvas& target, const plat::Rect& clip) override {
        target.FillRect(clip, color);
        Log("draw " + std::to_string(clip.left) + "," + std::to_string(clip.top) + "," +
            std::to_string(clip.right) + "," + std::to_string(clip.bottom));
    }
    plat::Rect GetRect() const override { return rect_; }
    bool IsFocusable() override { return focusable; }
    bool OnMouseEnter(uint32_t) override {
        Log("enter");
        return acceptsHover;
    }
    void OnMouseLeave(uint32_t) override { Log("leave"); }
    bool OnLButtonDown(uint32_t, plat::Point p) override {
        Log("down " + Pt(p));
        return takesPress;
    }
    void OnLButtonUp(uint32_t, plat::Point p) override { Log("up " + Pt(p)); }
    bool OnMouseMove(uint32_t, plat::Point p) override {
        Log("move " + Pt(p));
        return takesMove;
    }
    void OnLButtonDblClk(uint32_t, plat::Point p) override { Log("dbl " + Pt(p)); }
    void ShowCaret() override { Log("show"); }
    void HideCaret() override { Log("hide"); }
    void Deactivate() override { Log("deactivate"); }
    void OnTimerTick() override { Log("tick"); }
    void OnKeyDown(uint32_t vk, uint32_t, uint32_t) override { Log("key " + std::to_string(vk)); }
    void OnChar(uint32_t ch, uint32_t, uint32_t) override { Log("char " + std::to_string(ch)); }

    uint32_t color = 0;
    bool focusable = false;
    bool acceptsHover = true;
    bool takesPress = true;
    bool takesMove = false;

private:
    static std::string Pt(plat::Point p) { return std::to_string(p.x) + "," + std::to_string(p.y); }
    void Log(const std::string& what) { log_->push_back(name_ + ":" + what); }

    std::string name_;
    plat::Rect rect_;
    SkinPos pos_;
    std::vector<std::string>* log_;
};

// The root of a tree under test: records what reaches the form.
class RootProbe : public zel_Parent {
public:
    RootProbe() { SetOwnRect({0, 0, 100, 100}); }
    void InvalidateRect(const plat::Rect* r) override {
        invalidated.push_back(r ? *r : plat::Rect{-1, -1, -1, -1});
    }
    void AcquireTimer() override { ++timerRefs; }
    void ReleaseTimer() override { --timerRefs; }
    void Notify(uint16_t id, int32_t value) override { notified.push_back({id, value}); }
    void CaptureChild(zel_Wnd* child, plat::Point origin) override {
        captured = child;
        captureOrigin = origin;
    }

    std::vector<plat::Rect> invalidated;
    int timerRefs = 0;
    std::vector<std::pair<uint16_t, int32_t>> notified;
    zel_Wnd* captured = nullptr;
    plat::Point captureOrigin;
};
