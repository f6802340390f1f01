#pragma once
#include <cstdint>
#include <functional>
#include <vector>

#include "app/skinfiles/SkinFolder.h"
#include "skin/SkinControl.h"

// Switches the program's skin at run time. Every form that draws from the current skin module
// is rebuilt from the new one (the call window first, then the login form); the old module is
// freed only when all of them rebuilt, so no control keeps a place inside a freed module. A
// rebuild that fails puts the previous skin back (and, when even that fails, the built-in
// one) before the new module goes, and shows message 38. The skin in use is kept as `Skin`
// of Software\Quorvex. GUI thread only.
class SkinSwitcher {
public:
    static constexpr int kMsgCannotLoadSkin = 38;

    enum class Outcome {
        Unchanged,   // the skin was in use already
        Switched,    // the new skin is in use
        Refused,     // the file does not load, or its header or contents are refused:
                     // nothing changed
        RolledBack,  // a form failed to rebuild: the previous skin is back
        BuiltInBack, // neither the new nor the previous skin rebuilt: the built-in one is in use
    };

    struct Hooks {
        // The forms to rebuild, in order.
        std::vector<SkinControl*> forms;
        // Hides (false) and shows (true) the window around a rebuild.
        std::function<void(bool shown)> show;
        // Shows a message of the string table.
        std::function<void(int stringId)> message;
    };

    SkinSwitcher(Hooks hooks, SkinFolder folder = SkinFolder::Default());

    // Switches to skin `id` (above 0).
    Outcome SwitchSkin(uint32_t id);
    // Back to the program's own skin; the `Skin` setting goes.
    Outcome RevertToBuiltInSkin();

private:
    // Every form rebuilt from the current module; false at the first that fails or throws.
    bool RebuildForms();
    void Show(bool shown);

    Hooks m_Hooks;
    SkinFolder m_Folder;
};

// `Skin` of Software\Quorvex: stores the skin id, or removes the value for 0. False (traced)
// when the setting cannot be written.
bool WriteSkinSetting(uint32_t id);
