#pragma once
#include "app/call/CallHandset.h"
#include "app/handset/CUsbEventsDest.h"

// The USB handset (when one is open) as the call logic uses it.
class UsbCallHandset final : public CallHandset {
public:
    void Ring() override { CUsbEventsDest::Ring(); }
    void StopRing() override { CUsbEventsDest::StopRing(); }
    void ClearDisplay() override { CUsbEventsDest::ClearDisplay(); }
};
