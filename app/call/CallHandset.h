#pragma once

// The USB handset as the call logic uses it. GUI thread only.
class CallHandset {
public:
    virtual ~CallHandset() = default;
    virtual void Ring() = 0;
    virtual void StopRing() = 0;
    virtual void ClearDisplay() = 0;
};
