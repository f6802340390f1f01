#pragma once
#include "skin/zel_Parent.h"
#include "skin/zel_TrackButton.h"

// A slider: one thumb between two skin positions, mapped to a range of values; the end with
// the smaller coordinate is the maximum. The volume and opacity settings use it. A slider
// whose skin lacks its end positions stays hidden.
//
// Skin ids for base n: thumb bitmap n (3 frames), the ends of the track at positions n + 1
// and n + 2. The slider and its thumb take id n; every drag step notifies (n, 0).
class zel_ScrollSlide : public zel_Parent {
public:
    // False, leaving the slider hidden, when an end position is missing.
    bool CreateFromSkin(zel_Parent* parent, int id);
    // minimum < maximum is the range; anything else gives 0, 0 (no range).
    void SetRange(int32_t minimum, int32_t maximum);
    // Puts the thumb at `value`, clamped to the range; nothing without a range.
    void SetPos(float value);
    // The value of the thumb's place; 0 without a range.
    float GetPos() const;

    zel_TrackButton m_Thumb;
    float m_fMin = 0;
    float m_fMax = 0;
};
