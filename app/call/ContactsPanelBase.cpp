#include "app/call/ContactsPanelBase.h"

#include "app/contacts/EntrySlot.h"
#include "app/trace/TraceFile.h"
#include "skin/SkinResources.h"

namespace {

constexpr char kRootKey[] = "Software\\Quorvex\\";

} // namespace

bool CMakeCall::zel_SldContactHandling::GetEntry(int32_t index, std::string* name,
                                                 std::string* number) {
    return name && ReadEntry(m_Registry, kRootKey + m_KeyText, index, name, number);
}

void CMakeCall::zel_SldContactHandling::ShowItems(const std::vector<ListItem>& items) {
    m_List.RemoveAll();
    for (const ListItem& item : items) {
        m_List.AddItem(item.text, item.data);
    }
    Invalidate();
}

bool CMakeCall::zel_SldContactHandling::LoadList(int fontValue, int listId, bool sticky) {
    const int32_t height = GetSkinValue(fontValue);
    if (!m_Font.Create(g_UiFontFace, height, 400)) {
        AppTrace("zel_SldContactHandling: altura de letra no valida, id=", fontValue);
        return false;
    }
    if (!m_List.CreateFromSkin(this, listId, &m_Font, sticky, false)) {
        AppTrace("zel_SldContactHandling: falta la lista ", listId);
        return false;
    }
    return true;
}
