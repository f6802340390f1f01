#pragma once

// A window that can rebuild its controls from the current skin module and be shown with a
// show command. The login form and the call window implement it.
class SkinControl {
public:
    virtual ~SkinControl() = default;
    // Rebuilds every control from the current skin module; false when a required control
    // fails to load (the caller then rolls the skin back).
    virtual bool ApplySkin() = 0;
    // A show command (plat::kSw*).
    virtual void Show(int command) = 0;
};
