#include "app/panels/zel_SldMenu.h"

#include <string>

#include "app/strings/StringTable.h"
#include "app/trace/TraceFile.h"

bool CMakeCall::zel_SldMenu::Create(zel_Parent* parent) {
    m_Font.Reset();
    if (!m_Font.Create(g_UiFontFace, GetSkinValue(kFontHeightValue), 400)) {
        AppTrace("CMakeCall::zel_SldMenu: !CreateFont");
    }
    m_List.CreateFromSkin(this, kList, &m_Font, false, false);
    m_List.RemoveAll();
    for (int id : kItems) {
        std::string text;
        LoadCString(id, text);
        m_List.AddItem(text, id);
    }
    return CreateFromSkin(parent, kPanel, 0);
}
