#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/res/ResourceModule.h"
#include "skin/SkinControl.h"

// The skin files the program loads. A skin chosen by the user is the file
// Skins/<id in lower-case hex>.zsk, installed in the data dir or shipped in the program dir;
// skin id 0 (or none) is the program's own module. The module in use stays loaded while it is
// g_SkinModule. GUI thread only.

// The file of skin `id`: the data dir's when it exists, else the program dir's.
std::string SkinFilePath(uint32_t id);

// `Skin` of Software\Quorvex (the key is created when missing); 0 when missing or not a DWORD.
uint32_t ReadSkinSetting();

// The loaded skin file that is (or was last) the current skin module; empty while the
// program's own module is in use.
std::unique_ptr<plat::ResourceModule>& LoadedSkinModule();

// The login form's skin load at start: the module of the `Skin` setting becomes the current
// skin module when it loads, its header is accepted, its contents pass
// SkinFolder::CheckContents and `form` rebuilds from it. Otherwise the program's own module is
// the skin again and `form` rebuilds from that before the file is given up; then a missing
// header shows message 4 and a damaged skin (a header that lies outside the file, values out
// of bounds, too many pixels, or a failure thrown while rebuilding) message 5, through
// `showMessage`. A file that does not load, a header out of range, a form background that is
// no picture or a form that does not rebuild shows nothing. Every fallback is traced.
void LoadSkinAtStart(SkinControl& form, const std::function<void(int stringId)>& showMessage);
