#include "app/strings/CMsgBox.h"

#include "app/strings/StringTable.h"

int CMsgBox::ShowMessage(int stringId, unsigned flags) {
    char text[kTextSize];
    LoadStringById(stringId, text, kTextSize);
    plat::NativeWindow owner = m_pOwner ? m_pOwner->MessageBoxParent() : nullptr;
    return plat::MessageBox(owner, text, "Quorvex", flags);
}
