#pragma once
#include <cstdint>
#include <string>
#include <string_view>

typedef struct _PangoFontDescription PangoFontDescription;

namespace plat {

// Width and height in pixels.
struct Size {
    int32_t cx = 0;
    int32_t cy = 0;
    bool operator==(const Size&) const = default;
};

// A UI font as the original platform makes one from a face name and a positive height: the
// height is the font's cell height (ascent plus descent) in pixels, the weight is 100-900
// (400 normal, 700 bold), the escapement (tenths of a degree, counter-clockwise) turns the
// text. Text is drawn with greyscale antialiasing. A face that is not installed is replaced
// by the closest one fontconfig has.
//
// Threads: the GUI thread (the font machinery is not thread-safe).
class Font {
public:
    static constexpr int kMaxHeight = 1024;

    Font() = default;
    ~Font();
    Font(Font&& other) noexcept;
    Font& operator=(Font&& other) noexcept;
    Font(const Font&) = delete;
    Font& operator=(const Font&) = delete;

    // False, leaving the font empty, for a height outside 1..kMaxHeight.
    bool Create(const std::string& face, int32_t height, int32_t weight = 400,
                int32_t escapement = 0);
    void Reset();
    bool IsValid() const { return description_ != nullptr; }

    // The size of `text` (UTF-8) on one line: its advance width and the cell height, as the
    // platform's text-extent query reports them. An empty font measures 0 x 0.
    Size Measure(std::string_view text) const;

    int32_t Height() const { return height_; }
    int32_t Escapement() const { return escapement_; }
    // For the canvas.
    PangoFontDescription* Description() const { return description_; }

private:
    PangoFontDescription* description_ = nullptr;
    int32_t height_ = 0;
    int32_t escapement_ = 0;
};

} // namespace plat
