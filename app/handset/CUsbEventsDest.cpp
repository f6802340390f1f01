#include "app/handset/CUsbEventsDest.h"

#include <algorithm>
#include <atomic>
#include <iterator>
#include <mutex>

#include "platform/desktop/HandsetDriver.h"

namespace {

// The text shown on the handset at open, and how many characters of it (the display's width).
constexpr char kProductName[] = "Quorvex";
constexpr uintptr_t kDisplayLength = 5;

std::atomic<bool> g_bOpen{false};
std::atomic<bool> g_bEventsEnabled{false};
std::mutex g_TargetLock; // guards g_Target
plat::PostTarget g_Target;

// The context given to the driver at open; the callback does not use it.
int g_Context;

plat::PostTarget Target() {
    std::lock_guard<std::mutex> guard(g_TargetLock);
    return g_Target;
}

} // namespace

bool CUsbEventsDest::Open() {
    if (g_bOpen.load()) {
        return true;
    }
    g_bEventsEnabled.store(true);
    plat::HandsetDriver& driver = plat::CurrentHandsetDriver();
    if (driver.DeviceIoControl(plat::kHandsetOpen,
                               reinterpret_cast<void*>(&CUsbEventsDest::DriverCallback),
                               reinterpret_cast<uintptr_t>(&g_Context), nullptr, 0, nullptr) == 0) {
        return false;
    }
    g_bOpen.store(true);
    char name[sizeof(kProductName)];
    std::copy(std::begin(kProductName), std::end(kProductName), name);
    driver.DeviceIoControl(plat::kHandsetDisplayText, name, kDisplayLength, nullptr, 0, nullptr);
    return true;
}

void CUsbEventsDest::Close() {
    if (!g_bOpen.exchange(false)) {
        return;
    }
    SetTargetWindow(plat::PostTarget());
    plat::CurrentHandsetDriver().DeviceIoControl(plat::kHandsetClose, nullptr, 0, nullptr, 0,
                                                 nullptr);
}

void CUsbEventsDest::ClearDisplay() {
    if (!g_bOpen.load()) {
        return;
    }
    char blank[kDisplayLength] = {};
    plat::CurrentHandsetDriver().DeviceIoControl(plat::kHandsetDisplayText, blank, kDisplayLength,
                                                 nullptr, 0, nullptr);
}

uint32_t CUsbEventsDest::Ring() {
    if (!g_bOpen.load()) {
        return 0;
    }
    uint8_t on = 1;
    uint32_t result = 0;
    return plat::CurrentHandsetDriver().DeviceIoControl(plat::kHandsetRing, &on, 1, nullptr, 0,
                                                        &result);
}

void CUsbEventsDest::StopRing() {
    if (!g_bOpen.load()) {
        return;
    }
    uint32_t result = 0;
    plat::CurrentHandsetDriver().DeviceIoControl(plat::kHandsetStopRing, nullptr, 0, nullptr, 0,
                                                 &result);
}

void CUsbEventsDest::EnableEvents(bool enable) {
    g_bEventsEnabled.store(enable);
}

void CUsbEventsDest::SetTargetWindow(const plat::PostTarget& target) {
    std::lock_guard<std::mutex> guard(g_TargetLock);
    g_Target = target;
}

bool CUsbEventsDest::IsOpen() {
    return g_bOpen.load();
}

uint32_t CUsbEventsDest::DriverCallback(uint32_t type, uint32_t code) {
    if (!g_bEventsEnabled.load()) {
        return 0;
    }
    plat::PostTarget target = Target();
    return target.PostMessage(WM_USB_EVENT, type, static_cast<intptr_t>(code)) ? 1 : 0;
}
