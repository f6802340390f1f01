#pragma once
#include <cstdint>
#include <memory>

#include "platform/ui/MessageBox.h"
#include "platform/ui/Window.h"
#include "skin/zel_Bitmap.h"
#include "skin/zel_Parent.h"

class zel_Command;

// The constant alpha of every form (120-255); 0 until the first form reads it.
extern uint8_t g_FormAlpha;

// The base of every skinned window: a top-level window whose pixels are a back buffer
// composed from a control tree (the form is the tree's root), presented with per-pixel alpha
// and the program-wide constant alpha after every message that changed something. It drags
// the window when the user presses where no control takes the press, runs the caret blink
// (timer 5000, started by the program), the animation tick (5001, while a control holds a
// reference), the mouse-leave poll (5002, from the first move until the cursor is over
// another window) and the end of a button's flash (5003, once, 150 ms after the flash), and
// routes keys to the focused control, Tab through the focusable ones.
// As a dialog, Return calls OnOK, Escape and a close request call OnCancel.
//
// A modal loop (a dialog, a message box) that runs inside one of the form's messages, as one
// opened by a click does, takes the pointer away: the press's release and every move go to
// the dialog. When that message has been handled the form sees the pointer leave, as its
// leave poll would (capture released, hover cleared), and, when the pointer is over the form
// again, a move there, so the control under it is entered afresh. A leave that comes inside a
// message of the form (the leave poll firing while a dialog opened by a click runs) waits for
// the end of that message too, so that the rest of the click cannot undo it.
//
// A form is made hidden with Create (modeless; the program shows it) or runs with DoModal;
// its controls exist once the deriving form's ApplySkin has built them and the back buffer
// (CreateBackBuffer). The window is destroyed by DestroyWindow, EndDialog's return from
// DoModal, or the destructor; its timers go with it.
//
// Threads: the GUI thread only; other threads post messages through GetPostTarget().
class CForm : public zel_Parent, public plat::MessageBoxOwner {
public:
    static constexpr uint32_t kTimerCaret = 5000;
    static constexpr uint32_t kTimerAnimation = 5001;
    static constexpr uint32_t kTimerMouseLeave = 5002;
    static constexpr uint32_t kTimerFlash = 5003;
    static constexpr uint32_t kCaretPeriodMs = 400;
    static constexpr uint32_t kAnimationPeriodMs = 60;
    static constexpr uint32_t kMouseLeavePeriodMs = 100;
    static constexpr int kIdOk = 1;
    static constexpr int kIdCancel = 2;

    explicit CForm(unsigned templateId);
    ~CForm() override;

    // --- the window ---
    // Makes the window (hidden) and runs OnInitDialog. False without a window system.
    bool Create(CForm* owner = nullptr);
    // Makes the window, runs OnInitDialog, shows it and runs a modal loop until EndDialog;
    // the window is destroyed before it returns. -1 when no window could be made.
    int DoModal(CForm* owner = nullptr);
    void EndDialog(int result);
    void DestroyWindow();
    plat::Window* GetWindow() const { return m_pWindow.get(); }
    void ShowWindow(int command);
    bool IsWindowVisible() const;
    // The window's screen rectangle.
    plat::Rect GetWindowRect() const;
    void MoveWindow(int32_t x, int32_t y);
    // Minimises the window.
    void CloseWindow() { ShowWindow(plat::kSwMinimize); }
    void SetForegroundWindow();
    // Window timers (the form's OnTimer receives them); nothing without a window.
    void SetTimer(uint32_t id, uint32_t periodMs);
    void KillTimer(uint32_t id);
    // Where any thread posts this form's messages (OnPostedMessage receives them).
    plat::PostTarget GetPostTarget() const;
    // Composes the dirty part of the back buffer and presents it; nothing when clean.
    void Compose();
    // Keyboard and handset feedback (zel_Command::Flash): `button` becomes the flashing
    // button until `ms` have passed, when it gets EndFlash. A button that was flashing gets
    // EndFlash at once; the same button again starts its time afresh. False without a window
    // (no timer would end the flash).
    bool StartFlash(zel_Command* button, uint32_t ms);
    // Forgets `button` if it is the flashing one (it is going away).
    void ForgetFlash(const zel_Command* button);
    bool IsFlashing(const zel_Command* button) const { return button && m_pFlashing == button; }

    // --- what deriving forms override ---
    virtual bool OnInitDialog();
    virtual void OnOK() { EndDialog(kIdOk); }
    virtual void OnCancel() { EndDialog(kIdCancel); }
    // Runs just before the window is destroyed.
    virtual void OnDestroy() {}
    // Keys: forms call the base for keys they do not consume.
    void OnKeyDown(uint32_t vk, uint32_t repeat, uint32_t flags) override;
    void OnChar(uint32_t ch, uint32_t repeat, uint32_t flags) override;
    virtual void OnKeyUp(uint32_t vk, uint32_t repeat, uint32_t flags);
    // Timers: forms call the base for ids they do not own.
    virtual void OnTimer(uint32_t id);
    // A control's notification (a button's click, a list's choice).
    virtual void OnCommand(uint16_t id, int32_t value);
    // A message posted to the form.
    virtual void OnPostedMessage(const plat::WindowMessage& message);

    // --- window messages, as the window delivers them (client coordinates) ---
    void OnMsgLButtonDown(uint32_t flags, plat::Point point);
    void OnMsgLButtonUp(uint32_t flags, plat::Point point);
    void OnMsgMouseMove(uint32_t flags, plat::Point point);
    void OnMsgLButtonDblClk(uint32_t flags, plat::Point point);
    void OnCaptureChanged();

    // --- the tree's root ---
    // The window's screen place with the back buffer's size (the back buffer's rectangle
    // without a window).
    plat::Rect GetRect() const override;
    void AcquireTimer() override;
    void ReleaseTimer() override;
    void Invalidate() override;
    void InvalidateRect(const plat::Rect* r) override;
    void CaptureChild(zel_Wnd* child, plat::Point origin) override;
    void Notify(uint16_t id, int32_t value) override { OnCommand(id, value); }

    // plat::MessageBoxOwner
    plat::NativeWindow MessageBoxParent() const override;

    // For ApplySkin: the back buffer at the form's full size (transparent) and the root's
    // rectangle, and the whole form invalidated. False, leaving the old buffer, for a side of
    // 0 or less or above kMaxSkinSide.
    bool CreateBackBuffer(int32_t width, int32_t height);

    // Read-only views for the deriving forms and tests.
    const zel_Bitmap& BackBuffer() const { return m_BackBuffer; }
    const plat::Rect& DirtyRect() const { return m_DirtyRect; }
    zel_Wnd* CapturingChild() const { return m_pCapture; }
    bool IsDragging() const { return m_bDragging != 0; }
    bool IsPolling() const { return m_bPollTimer != 0; }
    // How many compositions reached the window.
    int PresentCount() const { return m_nPresents; }

protected:
    unsigned m_nTemplateId;

private:
    class WindowSink;
    class MessageScope;
    bool MakeWindow(CForm* owner);
    // The pointer left the form: at once, or after the message being handled.
    void PointerLeft();
    void LeaveNow();
    // After each window message: a leave that waited, then the composition.
    void AfterMessage();
    void TabToNextControl();
    // The dialog manager's keys after the form's key-down: true when the key is consumed.
    bool DialogKey(uint32_t vk);
    // The flashing button, if any, goes back to rest; its timer stops.
    void EndFlash();

    zel_Bitmap m_BackBuffer;
    uint8_t m_bPollTimer = 0;
    zel_Wnd* m_pCapture = nullptr;
    plat::Point m_CaptureOrigin;
    uint8_t m_bDragging = 0;
    uint8_t m_bBlinkPhase = 0;
    plat::Point m_DragRef;
    plat::Rect m_DirtyRect;
    int m_nPresents = 0;
    // Window messages being handled (more than one while a modal loop runs inside one).
    int m_nMessageDepth = 0;
    // Modal loops ended when the outermost message began.
    uint64_t m_nModalLoopsAtEntry = 0;
    uint8_t m_bLeavePending = 0;
    zel_Command* m_pFlashing = nullptr;

    std::shared_ptr<bool> m_pAlive = std::make_shared<bool>(true);
    std::unique_ptr<WindowSink> m_pSink;
    std::unique_ptr<plat::Window> m_pWindow;
};

// Reads the forms' constant alpha once per process: the 1-byte value Alpha of
// Software\Quorvex, at least 120; 255 when the key or a 1-byte value is missing.
void LoadFormAlpha();
