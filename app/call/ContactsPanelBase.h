#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "app/call/CMakeCall.h"
#include "app/contacts/ListItem.h"
#include "platform/store/Registry.h"
#include "platform/ui/Font.h"
#include "skin/zel_List.h"

// What the contacts panel and the call-history panel share: the list of entries of one key
// below Software\Quorvex (the contacts, or one of the histories), in its own font, and the
// reading of one entry. The list's rows notify (list id, the entry's slot) up to the window.
// GUI thread only.
class CMakeCall::zel_SldContactHandling : public zel_Slide {
public:
    explicit zel_SldContactHandling(plat::Registry& registry) : m_Registry(registry) {}

    // The name and number of entry `index` of the panel's key.
    bool GetEntry(int32_t index, std::string* name, std::string* number);

    // Replaces the rows and redraws the panel.
    void ShowItems(const std::vector<ListItem>& items);

    // The panel's key below Software\Quorvex, such as "Contacts" or "CallsHistory\Recv".
    std::string m_KeyText;
    zel_List m_List;
    plat::Font m_Font;

protected:
    // The rows' font (the skin's face, height from value `fontValue`, weight 400) and the
    // list `listId` in it. False, traced, when the skin lacks either.
    bool LoadList(int fontValue, int listId, bool sticky);

    plat::Registry& m_Registry;
};
