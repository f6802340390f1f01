#include "skin/CForm.h"

#include "platform/core/DebugOutput.h"
#include "platform/store/Registry.h"
#include "platform/ui/ModalLoop.h"
#include "platform/ui/VirtualKeys.h"
#include "skin/zel_Command.h"

uint8_t g_FormAlpha = 0;

void LoadFormAlpha() {
    if (g_FormAlpha != 0) {
        return;
    }
    plat::Registry& registry = plat::Registry::CurrentUser();
    plat::Registry::Key key;
    uint8_t alpha = 0;
    uint32_t size = 1;
    if (registry.CreateKey("Software\\Quorvex", &key) != plat::kErrorSuccess ||
        registry.QueryValue(key, "Alpha", nullptr, &alpha, &size) != plat::kErrorSuccess ||
        size != 1) {
        g_FormAlpha = 255;
        return;
    }
    g_FormAlpha = alpha < 120 ? 120 : alpha;
}

// One window message being handled: counts the depth, and at the end of the outermost one
// notes whether a modal loop ran inside it. Safe when the message frees the form.
class CForm::MessageScope {
public:
    explicit MessageScope(CForm& form) : form_(form), alive_(form.m_pAlive) {
        if (form_.m_nMessageDepth++ == 0) {
            form_.m_nModalLoopsAtEntry = plat::ModalLoop::EndedCount();
        }
    }
    ~MessageScope() {
        if (*alive_ && --form_.m_nMessageDepth == 0 &&
            plat::ModalLoop::EndedCount() != form_.m_nModalLoopsAtEntry) {
            form_.m_bLeavePending = 1;
        }
    }
    MessageScope(const MessageScope&) = delete;
    MessageScope& operator=(const MessageScope&) = delete;

private:
    CForm& form_;
    std::shared_ptr<bool> alive_;
};

// Turns the window's messages into the form's handlers, composing after each.
class CForm::WindowSink final : public plat::WindowEvents {
public:
    explicit WindowSink(CForm& form) : form_(form) {}

    void OnLButtonDown(uint32_t flags, plat::Point p) override {
        MessageScope scope(form_);
        form_.OnMsgLButtonDown(flags, p);
    }
    void OnLButtonUp(uint32_t flags, plat::Point p) override {
        MessageScope scope(form_);
        form_.OnMsgLButtonUp(flags, p);
    }
    void OnLButtonDblClk(uint32_t flags, plat::Point p) override {
        MessageScope scope(form_);
        form_.OnMsgLButtonDblClk(flags, p);
    }
    void OnMouseMove(uint32_t flags, plat::Point p) override {
        MessageScope scope(form_);
        form_.OnMsgMouseMove(flags, p);
    }
    void OnCaptureChanged() override {
        MessageScope scope(form_);
        form_.OnCaptureChanged();
    }
    void OnTimer(uint32_t id) override {
        MessageScope scope(form_);
        form_.OnTimer(id);
    }
    bool OnKeyDown(uint32_t vk) override {
        MessageScope scope(form_);
        std::shared_ptr<bool> alive = form_.m_pAlive;
        form_.OnKeyDown(vk, 0, 0);
        return *alive ? form_.DialogKey(vk) : true;
    }
    void OnKeyUp(uint32_t vk) override {
        MessageScope scope(form_);
        form_.OnKeyUp(vk, 0, 0);
    }
    void OnChar(uint32_t ch) override {
        MessageScope scope(form_);
        form_.OnChar(ch, 0, 0);
    }
    void OnMessage(const plat::WindowMessage& m) override {
        MessageScope scope(form_);
        form_.OnPostedMessage(m);
    }
    void OnCloseRequest() override {
        MessageScope scope(form_);
        form_.OnCancel();
    }
    void AfterMessage() override { form_.AfterMessage(); }

private:
    CForm& form_;
};

CForm::CForm(unsigned templateId) : m_nTemplateId(templateId) {
    LoadFormAlpha();
}

CForm::~CForm() {
    *m_pAlive = false;
    // A flashing button that outlives the form must not call back into it.
    if (m_pFlashing) {
        m_pFlashing->FormGone();
    }
    // The window goes first: its timers and queued messages must not reach a form that is
    // being freed.
    m_pWindow.reset();
}

// --- the window ---

bool CForm::MakeWindow(CForm* owner) {
    if (m_pWindow) {
        return true;
    }
    m_pSink = std::make_unique<WindowSink>(*this);
    m_pWindow = plat::CurrentWindowSystem().CreateWindow(*m_pSink,
                                                         owner ? owner->m_pWindow.get() : nullptr);
    if (!m_pWindow) {
        plat::DebugOutput("CForm: the window could not be made\n");
        return false;
    }
    return true;
}

bool CForm::Create(CForm* owner) {
    if (!MakeWindow(owner)) {
        return false;
    }
    OnInitDialog();
    Compose();
    return true;
}

int CForm::DoModal(CForm* owner) {
    if (!MakeWindow(owner)) {
        return -1;
    }
    OnInitDialog();
    if (!m_pWindow) {
        return -1; // destroyed during its initialisation
    }
    Compose();
    m_pWindow->Show(plat::kSwShow);
    const plat::ModalLoop loop;
    const int result = m_pWindow->RunModal();
    DestroyWindow();
    return result;
}

void CForm::EndDialog(int result) {
    if (m_pWindow) {
        m_pWindow->Show(plat::kSwHide);
        m_pWindow->EndModal(result);
    }
}

void CForm::DestroyWindow() {
    if (!m_pWindow) {
        return;
    }
    OnDestroy();
    EndFlash(); // its timer goes with the window
    m_pWindow.reset();
    m_pCapture = nullptr;
    m_bDragging = 0;
    m_bPollTimer = 0;
    m_bLeavePending = 0;
}

void CForm::ShowWindow(int command) {
    if (m_pWindow) {
        Compose();
        m_pWindow->Show(command);
    }
}

bool CForm::IsWindowVisible() const {
    return m_pWindow && m_pWindow->IsVisible();
}

plat::Rect CForm::GetWindowRect() const {
    return m_pWindow ? m_pWindow->GetWindowRect() : OwnRect();
}

void CForm::MoveWindow(int32_t x, int32_t y) {
    if (m_pWindow) {
        m_pWindow->Move(x, y);
    }
}

void CForm::SetForegroundWindow() {
    if (m_pWindow) {
        m_pWindow->BringToForeground();
    }
}

void CForm::SetTimer(uint32_t id, uint32_t periodMs) {
    if (m_pWindow) {
        m_pWindow->SetTimer(id, periodMs);
    }
}

void CForm::KillTimer(uint32_t id) {
    if (m_pWindow) {
        m_pWindow->KillTimer(id);
    }
}

plat::PostTarget CForm::GetPostTarget() const {
    return m_pWindow ? m_pWindow->GetPostTarget() : plat::PostTarget();
}

plat::NativeWindow CForm::MessageBoxParent() const {
    return m_pWindow ? m_pWindow->Native() : nullptr;
}

bool CForm::OnInitDialog() {
    m_bDirty = 0;
    m_pCapture = nullptr;
    m_bDragging = 0;
    m_bBlinkPhase = 0;
    m_bPollTimer = 0;
    m_bLeavePending = 0;
    return true;
}

void CForm::OnPostedMessage(const plat::WindowMessage&) {}

void CForm::OnCommand(uint16_t, int32_t) {}

// --- composition ---

bool CForm::CreateBackBuffer(int32_t width, int32_t height) {
    if (!IsSkinSizeValid(width, height) || !m_BackBuffer.Create(width, height, true)) {
        plat::DebugOutput("CForm: the skin gives the form a size it cannot have\n");
        return false;
    }
    zel_Parent::Create(nullptr, 0, 0, width, height);
    Invalidate();
    return true;
}

void CForm::Compose() {
    if (!m_bDirty || !m_BackBuffer.surface.IsValid()) {
        return;
    }
    // Controls a skin places outside the window are cut here, never drawn outside the buffer.
    const plat::Rect clip =
        plat::Intersect(m_DirtyRect, {0, 0, m_BackBuffer.width, m_BackBuffer.height});
    m_BackBuffer.ClearRect(clip.left, clip.top, clip.right, clip.bottom);
    if (!clip.IsEmpty()) {
        plat::Canvas canvas(m_BackBuffer.surface);
        zel_Parent::Draw(canvas, clip);
    }
    if (m_pWindow) {
        m_pWindow->Present(m_BackBuffer.surface, g_FormAlpha, &clip);
        ++m_nPresents;
    }
    // Invalidations made while drawing (a caret drawn again) are part of this composition.
    m_bDirty = 0;
}

plat::Rect CForm::GetRect() const {
    if (!m_pWindow) {
        return OwnRect();
    }
    // The window takes the back buffer's size at its next composition: answer with that size
    // already (a panel placed right after a re-skin measures the new width).
    const plat::Rect r = m_pWindow->GetWindowRect();
    return {r.left, r.top, r.left + m_BackBuffer.width, r.top + m_BackBuffer.height};
}

void CForm::AcquireTimer() {
    if (m_nTimerRefs == 0) {
        SetTimer(kTimerAnimation, kAnimationPeriodMs);
    }
    ++m_nTimerRefs;
}

void CForm::ReleaseTimer() {
    if (m_nTimerRefs <= 0) {
        return;
    }
    if (--m_nTimerRefs == 0) {
        KillTimer(kTimerAnimation);
    }
}

void CForm::Invalidate() {
    m_DirtyRect = {0, 0, m_BackBuffer.width, m_BackBuffer.height};
    m_bDirty = 1;
}

void CForm::InvalidateRect(const plat::Rect* r) {
    if (!r) {
        Invalidate();
        return;
    }
    if (m_bDirty) {
        m_DirtyRect = plat::Union(m_DirtyRect, *r);
    } else {
        m_DirtyRect = *r;
        m_bDirty = 1;
    }
}

void CForm::CaptureChild(zel_Wnd* child, plat::Point origin) {
    if (m_bDragging) {
        m_bDragging = 0; // the form keeps the capture the drag took
    } else if (m_pWindow) {
        m_pWindow->SetCapture();
    }
    if (m_bPollTimer) {
        KillTimer(kTimerMouseLeave);
        m_bPollTimer = 0;
    }
    m_pCapture = child;
    m_CaptureOrigin = origin;
}

// --- mouse ---

void CForm::OnMsgLButtonDown(uint32_t flags, plat::Point point) {
    if (m_pCapture) {
        m_pCapture->OnLButtonDown(flags,
                                  {point.x - m_CaptureOrigin.x, point.y - m_CaptureOrigin.y});
        return;
    }
    if (zel_Parent::OnLButtonDown(flags, point)) {
        return;
    }
    if (!m_bDragging && m_pWindow) {
        m_bDragging = 1;
        m_pWindow->SetCapture();
        m_DragRef = m_pWindow->GetCursorPos();
    }
}

void CForm::OnMsgLButtonUp(uint32_t flags, plat::Point point) {
    if (m_pCapture) {
        m_pCapture->OnLButtonUp(flags, {point.x - m_CaptureOrigin.x, point.y - m_CaptureOrigin.y});
        return;
    }
    if (m_bDragging && m_pWindow) {
        m_pWindow->ReleaseCapture();
    }
    zel_Parent::OnLButtonUp(flags, point);
}

void CForm::OnMsgMouseMove(uint32_t flags, plat::Point point) {
    if (m_pCapture) {
        m_pCapture->OnMouseMove(flags, {point.x - m_CaptureOrigin.x, point.y - m_CaptureOrigin.y});
        return;
    }
    if (!m_bPollTimer) {
        SetTimer(kTimerMouseLeave, kMouseLeavePeriodMs);
        m_bPollTimer = 1;
    }
    zel_Parent::OnMouseMove(flags, point);
    if (!m_bDragging || !m_pWindow) {
        return;
    }
    if (flags & plat::kMkLButton) {
        const plat::Point cursor = m_pWindow->GetCursorPos();
        if (cursor != m_DragRef) {
            const plat::Rect r = m_pWindow->GetWindowRect();
            m_pWindow->Move(r.left + cursor.x - m_DragRef.x, r.top + cursor.y - m_DragRef.y);
            m_DragRef = cursor;
        }
    } else {
        m_pWindow->ReleaseCapture(); // the drag ends through the capture change
    }
}

void CForm::OnMsgLButtonDblClk(uint32_t flags, plat::Point point) {
    zel_Parent::OnLButtonDblClk(flags, point);
}

void CForm::OnCaptureChanged() {
    if (m_pCapture) {
        zel_Wnd* child = m_pCapture;
        child->OnCaptureLost();
        if (m_pCapture == child) {
            m_pCapture = nullptr;
        }
        return;
    }
    zel_Parent::OnMouseLeave(0);
    m_bDragging = 0;
}

// --- timers ---

bool CForm::StartFlash(zel_Command* button, uint32_t ms) {
    if (!m_pWindow || !button) {
        return false;
    }
    if (m_pFlashing != button) {
        EndFlash();
    }
    m_pFlashing = button;
    SetTimer(kTimerFlash, ms);
    return true;
}

void CForm::ForgetFlash(const zel_Command* button) {
    if (IsFlashing(button)) {
        m_pFlashing = nullptr;
        KillTimer(kTimerFlash);
    }
}

void CForm::EndFlash() {
    if (!m_pFlashing) {
        return;
    }
    KillTimer(kTimerFlash);
    zel_Command* button = m_pFlashing;
    m_pFlashing = nullptr;
    button->EndFlash();
}

void CForm::OnTimer(uint32_t id) {
    switch (id) {
    case kTimerCaret:
        m_bBlinkPhase ^= 1;
        if (m_pFocus) {
            if (m_bBlinkPhase) {
                m_pFocus->ShowCaret();
            } else {
                m_pFocus->HideCaret();
            }
        }
        break;
    case kTimerAnimation:
        OnTimerTick();
        break;
    case kTimerFlash:
        EndFlash();
        break;
    case kTimerMouseLeave:
        if (m_pWindow && !m_pWindow->IsUnderCursor()) {
            PointerLeft();
        }
        break;
    default:
        break;
    }
}

// --- the pointer's leave ---

void CForm::PointerLeft() {
    if (m_nMessageDepth > 0) {
        m_bLeavePending = 1;
    } else {
        LeaveNow();
    }
}

void CForm::LeaveNow() {
    m_bLeavePending = 0;
    if (m_pCapture && m_pWindow && m_pWindow->HasCapture()) {
        m_pWindow->ReleaseCapture(); // the capturing child hears of it through the change
    }
    const bool dragging = m_bDragging != 0;
    zel_Parent::OnMouseLeave(0);
    m_bPollTimer = 0;
    m_bDragging = 0;
    KillTimer(kTimerMouseLeave);
    // A drag that ends here gives its capture back, or the form would keep the mouse after
    // the button is released.
    if (dragging && !m_pCapture && m_pWindow && m_pWindow->HasCapture()) {
        m_pWindow->ReleaseCapture();
    }
}

void CForm::AfterMessage() {
    if (m_nMessageDepth == 0 && m_bLeavePending) {
        LeaveNow();
        // The display tells of no move when the window that had the pointer goes away over a
        // still cursor: enter the control under it now.
        if (m_pWindow && m_pWindow->IsUnderCursor()) {
            const plat::Point cursor = m_pWindow->GetCursorPos();
            const plat::Rect r = m_pWindow->GetWindowRect();
            OnMsgMouseMove(0, {cursor.x - r.left, cursor.y - r.top});
        }
    }
    Compose();
}

// --- keys ---

void CForm::TabToNextControl() {
    if (m_pFocus) {
        m_pFocus->HideCaret();
    }
    zel_Wnd* chosen = nullptr;
    for (zel_Wnd* c = m_pFocus ? m_pFocus->m_pNextHit : m_pFirstChild; c; c = c->m_pNextHit) {
        if (c->IsFocusable()) {
            chosen = c;
            break;
        }
    }
    if (!chosen && m_pFocus) {
        for (zel_Wnd* c = m_pFirstChild; c; c = c->m_pNextHit) {
            if (c == m_pFocus || c->IsFocusable()) {
                chosen = c;
                break;
            }
        }
    }
    if (chosen) {
        m_pFocus = chosen;
        chosen->ShowCaret();
    }
}

void CForm::OnKeyDown(uint32_t vk, uint32_t repeat, uint32_t flags) {
    if (vk == plat::kVkTab) {
        TabToNextControl();
    } else if (m_pFocus && m_pFocus->m_bEnabled) {
        m_pFocus->OnKeyDown(vk, repeat, flags);
    }
}

void CForm::OnChar(uint32_t ch, uint32_t repeat, uint32_t flags) {
    if (m_pFocus && m_pFocus->m_bEnabled) {
        m_pFocus->OnChar(ch, repeat, flags);
    }
}

void CForm::OnKeyUp(uint32_t, uint32_t, uint32_t) {}

bool CForm::DialogKey(uint32_t vk) {
    switch (vk) {
    case plat::kVkTab:
        return true;
    case plat::kVkReturn:
        OnOK();
        return true;
    case plat::kVkEscape:
        OnCancel();
        return true;
    default:
        return false;
    }
}
