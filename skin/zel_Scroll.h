#pragma once
#include "skin/zel_Command.h"
#include "skin/zel_Image.h"
#include "skin/zel_Parent.h"
#include "skin/zel_TrackButton.h"

// A scroll bar: two arrow buttons, a track picture and a thumb dragged between the arrows,
// whose place maps to a range of values. Each arrow press steps a tenth of the range. Hidden
// until it gets a range; a bar whose skin lacks its positions stays hidden.
//
// Skin ids for base n: arrows at position and bitmap n and n + 1 (3 frames), thumb bitmap
// n + 2 (3 frames), track position and bitmap n + 3. The bar and the thumb take id n, the
// arrows n + 1 and n + 2.
class zel_Scroll : public zel_Parent {
public:
    // False, leaving the bar hidden, when a position is missing.
    bool CreateFromSkin(zel_Parent* parent, int id, bool horizontal);
    // A range with minimum < maximum shows the bar; any other hides it (range 0, 0). The
    // thumb does not move.
    void SetRange(int32_t minimum, int32_t maximum);
    // The value of the thumb's place; 0 without a range.
    float GetPos() const;
    void Notify(uint16_t id, int32_t value) override;

    // The thumb's place as a fraction 0..1 of its track (0 for a track without length).
    float Fraction() const;

    zel_Command m_Arrow1;
    zel_Command m_Arrow2;
    zel_Image m_Track;
    zel_TrackButton m_Thumb;
    SkinPos m_Arrow1Pos{0, 0};
    SkinPos m_Arrow2Pos{0, 0};
    SkinPos m_TrackPos{0, 0};
    float m_fMin = 0;
    float m_fMax = 0;

    static constexpr float kArrowStep = 0.1f;
};
