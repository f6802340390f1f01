#include "app/strings/CMsgBox.h"

#include <string>

#include "app/strings/StringTable.h"

int CMsgBox::ShowMessage(int stringId, unsigned flags) {
    char text[kTextSize];
    LoadStringById(stringId, text, kTextSize);
    plat::NativeWindow owner = m_pOwner ? m_pOwner->MessageBoxParent() : nullptr;
    return plat::MessageBox(owner, text, "Quorvex", flags);
}

int CMsgBox::ShowMessage(int stringId, unsigned flags, std::string_view argument) {
    char loaded[kTextSize];
    LoadStringById(stringId, loaded, kTextSize);
    std::string text = loaded;
    if (const size_t mark = text.find("%s"); mark != std::string::npos) {
        text.replace(mark, 2, argument);
    }
    plat::NativeWindow owner = m_pOwner ? m_pOwner->MessageBoxParent() : nullptr;
    return plat::MessageBox(owner, text, "Quorvex", flags);
}
