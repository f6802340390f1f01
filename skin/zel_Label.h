#pragma once
#include <string>

#include "platform/ui/Font.h"
#include "skin/zel_Bitmap.h"
#include "skin/zel_Wnd.h"

// A text in a skin area, rendered into its own bitmap as black with the antialiased coverage
// as alpha, so it blends over any background. The label keeps its own copy of the area, so a
// skin switch that frees the module leaves nothing pointing into it.
class zel_Label : public zel_Wnd {
public:
    void Draw(plat::Canvas& target, const plat::Rect& clip) override;
    plat::Rect GetRect() const override;

    // Renders the text into the bitmap when the label is dirty (and clears it).
    virtual void RenderText();
    // Stores the text and invalidates; nothing when it is the same text.
    virtual void SetText(const std::string& text);
    // Stores the font (the form's, not owned), attaches the label with id `id` the first time
    // and loads area `id`. False only when the skin gives the area a size the label cannot
    // have; a missing area keeps the one the label had.
    virtual bool CreateFromSkin(zel_Parent* parent, int id, const plat::Font* font);

    // Area `id` of the current skin becomes the label's place and a new bitmap of its size.
    // False, changing nothing, when the area is missing or its size is 0 or less or above
    // kMaxSkinSide.
    bool LoadArea(int id);
    // The text of string `stringId` (through the program's string loader).
    void SetTextById(int stringId);
    const std::string& GetText() const { return m_Text; }

    // The program's string loader (the skin's string table, then the program's own); the
    // default reads the current skin module only.
    using StringLoader = bool (*)(int id, std::string& text);
    static void SetStringLoader(StringLoader loader);

    uint32_t m_nFormat = 0; // text format flags (plat::kDt*)
    zel_Bitmap m_Bitmap;
    const plat::Font* m_pFont = nullptr;
    std::string m_Text;
    SkinPos m_AreaPos{0, 0};
    int32_t m_nAreaWidth = 0;
    int32_t m_nAreaHeight = 0;

protected:
    enum class AreaLoad { Loaded, Missing, Refused };
    AreaLoad LoadAreaChecked(int id);
    // Makes the bitmap's white-backed black text into black with alpha = coverage.
    void CoverageToAlpha();
};
