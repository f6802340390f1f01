#pragma once
#include <span>

#include "app/layout/CallLayout.h"

// The skin ids the program's forms are built from, shared by the forms themselves, the skin
// folder's contents check (which holds each value to what it is) and the build's layout check
// of the call window (which measures the face and the side panels' controls).

// The login form.
namespace LoginFormIds {
inline constexpr int kBackground = 105;
inline constexpr int kFontHeightValue = 110;
} // namespace LoginFormIds

// The call window: the heights of its three labels' fonts, where the face meets the two panel
// columns (values 226 and 227, see CallLayout.h) and the face's picture.
namespace CallWindowIds {
inline constexpr int kCaptionHeightValue = 223;
inline constexpr int kNumberHeightValue = 224;
inline constexpr int kUserNameHeightValue = 225;
inline constexpr int kFaceOverlapValue = 226;
inline constexpr int kRightPanelsValue = 227;
inline constexpr int kFace = 229;
} // namespace CallWindowIds

// A control of a side panel, by the way the skin places it from its id n: a button at
// position n with bitmap n's width; a text area n (the preview strip); a scroll bar whose two
// arrows and track sit at positions n, n + 1 and n + 3 with the bitmaps of the same ids; a list
// in text area n with its scroll bar at n + 4; a slider whose two ends sit at positions n + 1
// and n + 2 with the width of its thumb, bitmap n.
enum class PanelControlKind { Button, Area, Scroll, List, Slider };

struct PanelControl {
    PanelControlKind kind;
    int id;
};

// A side panel: its background bitmap (the panel's skin id; values id + 1 to id + 3 are its
// closed and peek edges and its y), the font height value of its list where it has one, its
// column and every control it builds from the skin.
struct PanelIds {
    const char* name;
    int id;
    int fontHeightValue; // 0: no list
    PanelColumn column;
    std::span<const PanelControl> controls;
};

// The skins panel: the strip of skin previews with its scroll bar, the install and use buttons.
namespace SkinsPanelIds {
inline constexpr int kPanel = 901;
inline constexpr int kScroll = 905;
inline constexpr int kInstall = 909;
inline constexpr int kUse = 910;
inline constexpr int kStrip = 912;
inline constexpr PanelControl kControls[] = {{PanelControlKind::Area, kStrip},
                                             {PanelControlKind::Scroll, kScroll},
                                             {PanelControlKind::Button, kInstall},
                                             {PanelControlKind::Button, kUse}};
} // namespace SkinsPanelIds

// The audio panel: the opacity, microphone and speaker sliders.
namespace AudioPanelIds {
inline constexpr int kPanel = 500;
inline constexpr int kMicrophone = 504;
inline constexpr int kSpeaker = 507;
inline constexpr int kOpacity = 510;
inline constexpr PanelControl kControls[] = {{PanelControlKind::Slider, kOpacity},
                                             {PanelControlKind::Slider, kMicrophone},
                                             {PanelControlKind::Slider, kSpeaker}};
} // namespace AudioPanelIds

// The contacts panel: the list and the new, edit and delete buttons.
namespace ContactsPanelIds {
inline constexpr int kFontValue = 600;
inline constexpr int kPanel = 601;
inline constexpr int kList = 605;
inline constexpr int kNew = 613;
inline constexpr int kEdit = 614;
inline constexpr int kDelete = 615;
inline constexpr PanelControl kControls[] = {{PanelControlKind::List, kList},
                                             {PanelControlKind::Button, kNew},
                                             {PanelControlKind::Button, kEdit},
                                             {PanelControlKind::Button, kDelete}};
} // namespace ContactsPanelIds

// The call-history panel: the list, the missed, received and dialed buttons and the erase
// button.
namespace HistoryPanelIds {
inline constexpr int kFontValue = 400;
inline constexpr int kPanel = 401;
inline constexpr int kList = 405;
inline constexpr int kMissed = 413;
inline constexpr int kReceived = 414;
inline constexpr int kDialed = 415;
inline constexpr int kErase = 416;
inline constexpr PanelControl kControls[] = {{PanelControlKind::List, kList},
                                             {PanelControlKind::Button, kMissed},
                                             {PanelControlKind::Button, kReceived},
                                             {PanelControlKind::Button, kDialed},
                                             {PanelControlKind::Button, kErase}};
} // namespace HistoryPanelIds

// The menu panel: its list.
namespace MenuPanelIds {
inline constexpr int kFontHeightValue = 1000;
inline constexpr int kPanel = 1001;
inline constexpr int kList = 1005;
inline constexpr PanelControl kControls[] = {{PanelControlKind::List, kList}};
} // namespace MenuPanelIds

// The five panels in the order the layout takes their widths: skins and audio on the left;
// contacts, call history and menu on the right.
inline constexpr PanelIds kSidePanels[] = {
    {"skins", SkinsPanelIds::kPanel, 0, PanelColumn::Left, SkinsPanelIds::kControls},
    {"audio", AudioPanelIds::kPanel, 0, PanelColumn::Left, AudioPanelIds::kControls},
    {"contacts", ContactsPanelIds::kPanel, ContactsPanelIds::kFontValue, PanelColumn::Right,
     ContactsPanelIds::kControls},
    {"call history", HistoryPanelIds::kPanel, HistoryPanelIds::kFontValue, PanelColumn::Right,
     HistoryPanelIds::kControls},
    {"menu", MenuPanelIds::kPanel, MenuPanelIds::kFontHeightValue, PanelColumn::Right,
     MenuPanelIds::kControls},
};
