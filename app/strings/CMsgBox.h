#pragma once
#include "platform/ui/MessageBox.h"

// Base of every window that asks questions or reports errors: shows a text of the string table
// in a message box owned by the window, with the product name as caption. GUI thread.
class CMsgBox {
public:
    // Texts longer than this are cut.
    static constexpr int kTextSize = 300;

    // `owner`: the deriving window itself (it need not exist on screen yet); null for none.
    explicit CMsgBox(const plat::MessageBoxOwner* owner) : m_pOwner(owner) {}

    // Shows string `stringId` with `flags` (plat::kMb*: 0 a plain OK box, 36 Yes/No with the
    // question icon, 20 Yes/No with the stop icon, 16 OK with the stop icon) and returns the id
    // of the button pressed (plat::kId*).
    int ShowMessage(int stringId, unsigned flags);

protected:
    const plat::MessageBoxOwner* m_pOwner;
};
