#pragma once
#include <cstdint>

#include "platform/ui/MessagePort.h"

// The USB handset connection, shared by every window that takes handset events (the login
// form, the call window, the settings dialog, the audio wizard): one handset and one target
// window per process. The driver's key events reach the target window as the posted message
// WM_USB_EVENT, wParam = the event type, lParam = the key code, both as the driver gave them
// (handlers read their low bytes).
//
// Threads: the operations run on the GUI thread. DriverCallback runs on the driver's thread
// and only posts (a synchronous send would wait for a GUI thread that may be closing the
// driver). The open and enabled flags are atomics; the target is guarded by a lock of its own
// that is never held while the driver is called.
class CUsbEventsDest {
public:
    static constexpr uint32_t WM_USB_EVENT = 0x80C8;
    // Event types the program handles.
    static constexpr uint32_t kEventKeyDown = 4;
    static constexpr uint32_t kEventKeyUp = 5;
    static constexpr uint32_t kEventDigit = 11; // codes 128-137 for '0'-'9'

    // Opens the handset and shows the product name; true when open (at once when it already
    // was). Switches events on either way.
    static bool Open();
    // Closes an open handset and forgets the target window.
    static void Close();
    // Empties the display of an open handset.
    static void ClearDisplay();
    // Starts the ringer of an open handset; the driver's answer, 0 when not open.
    static uint32_t Ring();
    static void StopRing();
    static void EnableEvents(bool enable);
    // The window that receives the events from now on (an empty target: none).
    static void SetTargetWindow(const plat::PostTarget& target);
    static bool IsOpen();

    // Handed to the driver: posts the event to the target when there is one and events are
    // enabled. Non-zero when posted.
    static uint32_t DriverCallback(uint32_t type, uint32_t code);

protected:
    CUsbEventsDest() = default;
    ~CUsbEventsDest() = default;
};
