#include "skin/zel_Bkgrd.h"

#include "skin/zel_Parent.h"

bool zel_Bkgrd::CreateFromSkin(zel_Parent* parent, int id) {
    if (!m_pParent && parent) {
        parent->AddChild(this);
        m_pPos = &m_OwnPos;
    }
    m_OwnPos = {0, 0};
    if (!m_Bitmap.LoadFromSkin(id)) {
        return false;
    }
    Invalidate();
    return true;
}
