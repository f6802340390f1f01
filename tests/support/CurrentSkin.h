#pragma once
#include "platform/res/ResourceModule.h"
#include "skin/SkinResources.h"

// Makes a module the current skin module (and its font face the interface's) for one scope.
class CurrentSkin {
public:
    explicit CurrentSkin(plat::ResourceModule* module) : previous_(g_SkinModule) {
        g_SkinModule = module;
        GetUiFontFace();
    }
    ~CurrentSkin() {
        g_SkinModule = previous_;
        GetUiFontFace();
    }
    CurrentSkin(const CurrentSkin&) = delete;
    CurrentSkin& operator=(const CurrentSkin&) = delete;

private:
    plat::ResourceModule* previous_;
};
