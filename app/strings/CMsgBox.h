#pragma once
#include <string>
#include <string_view>

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
    // The same with the text's first "%s" replaced by `argument` (a name shown to the user).
    // The text is a skin's and untrusted, so it is never used as a format.
    int ShowMessage(int stringId, unsigned flags, std::string_view argument);

protected:
    const plat::MessageBoxOwner* m_pOwner;

private:
    int Show(const std::string& text, unsigned flags);
};
