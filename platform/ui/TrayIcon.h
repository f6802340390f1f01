#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "platform/ui/MessagePort.h"
#include "platform/ui/Surface.h"

namespace plat {

// Mouse messages a tray icon reports, numbered as the original platform's.
constexpr intptr_t kWmLButtonDown = 0x0201;
constexpr intptr_t kWmRButtonDown = 0x0204;
constexpr intptr_t kWmMButtonDown = 0x0207;

// The program's icon in the desktop's notification area. Every mouse press on it posts
// `message` to the target, with the icon's id as wParam and the mouse message (kWm*) as
// lParam, as the original platform reports tray events to a window.
//
// Threads: GUI thread only.
class TrayIcon {
public:
    virtual ~TrayIcon() = default;
    // Shows the icon (or changes it when shown). False when there is no notification area
    // to put it in (no display).
    virtual bool Add(const Surface& picture, const std::string& tip, const PostTarget& target,
                     uint32_t message, uint32_t id) = 0;
    // Takes the icon away; nothing when it is not shown.
    virtual void Remove() = 0;
    virtual bool IsShown() const = 0;
    // Whether a notification area holds the icon, so that a click on it can reach the program.
    // Desktops without an XEmbed system tray never show it: a window hidden there has no way
    // back, and the program minimises it instead.
    virtual bool IsEmbedded() const = 0;
};

// Makes tray icons: GTK's status icon unless a test installed another.
class TrayIconFactory {
public:
    virtual ~TrayIconFactory() = default;
    virtual std::unique_ptr<TrayIcon> Create() = 0;
};

// A new, hidden tray icon of the current factory. GUI thread.
std::unique_ptr<TrayIcon> CreateTrayIcon();
// Installs a factory (nullptr restores GTK's); returns the one it replaced.
TrayIconFactory* SetTrayIconFactory(TrayIconFactory* factory);

} // namespace plat
