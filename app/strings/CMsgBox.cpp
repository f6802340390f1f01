#include "app/strings/CMsgBox.h"

#include <string>

#include "app/strings/StringTable.h"

namespace {

std::string LoadText(int stringId) {
    char text[CMsgBox::kTextSize];
    LoadStringById(stringId, text, CMsgBox::kTextSize);
    return text;
}

} // namespace

int CMsgBox::ShowMessage(int stringId, unsigned flags) {
    return Show(LoadText(stringId), flags);
}

int CMsgBox::ShowMessage(int stringId, unsigned flags, std::string_view argument) {
    std::string text = LoadText(stringId);
    if (const size_t mark = text.find("%s"); mark != std::string::npos) {
        text.replace(mark, 2, argument);
    }
    return Show(text, flags);
}

int CMsgBox::Show(const std::string& text, unsigned flags) {
    plat::NativeWindow owner = m_pOwner ? m_pOwner->MessageBoxParent() : nullptr;
    return plat::MessageBox(owner, text, "Quorvex", flags);
}
