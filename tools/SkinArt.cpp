// quorvex_skinart <output dir> [plum]: draws every picture of the built-in skin and writes each
// as <name>.bmp (32-bit, straight alpha). With "plum" the same pictures come out in the plum
// skin's colours (each pixel's red, green and blue taken from its blue, red and green). Exits
// non-zero, naming the picture, on any failure.
#include <cairo.h>
#include <fontconfig/fontconfig.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "tools/BmpFile.h"
#include "tools/CallArt.h"
#include "tools/ContactsArt.h"
#include "tools/LoginArt.h"
#include "tools/PanelArt.h"
#include "tools/PreviewArt.h"

namespace {

template <char kLabel> void DrawKey(cairo_t* cr, int width, int height) {
    const char label[] = {kLabel, '\0'};
    DrawKeypadKey(cr, width, height, label);
}

struct Picture {
    const char* name;
    int width;
    int height;
    void (*draw)(cairo_t*, int, int);
    // Signs whose colour means something (the icon, talk and hang-up, the lights and the
    // warning) keep it in every palette.
    bool keepColours = false;
};

// Every picture of the built-in skin.
constexpr Picture kPictures[] = {
    {"preview", 212, 404, DrawPreview},
    {"icon", 32, 32, DrawProgramIcon, true},
    {"loginface", 232, 300, DrawLoginFace},
    {"signin", 120, 108, DrawSignInButton},
    {"hide", 18, 54, DrawHideButton},
    {"minimise", 18, 54, DrawMinimiseButton},
    {"close", 18, 54, DrawCloseButton},
    {"callface", 232, 440, DrawCallFace},
    {"talk", 48, 144, DrawTalkButton, true},
    {"hangup", 48, 144, DrawHangUpButton, true},
    {"key0", 56, 102, DrawKey<'0'>},
    {"key1", 56, 102, DrawKey<'1'>},
    {"key2", 56, 102, DrawKey<'2'>},
    {"key3", 56, 102, DrawKey<'3'>},
    {"key4", 56, 102, DrawKey<'4'>},
    {"key5", 56, 102, DrawKey<'5'>},
    {"key6", 56, 102, DrawKey<'6'>},
    {"key7", 56, 102, DrawKey<'7'>},
    {"key8", 56, 102, DrawKey<'8'>},
    {"key9", 56, 102, DrawKey<'9'>},
    {"keyhash", 56, 102, DrawKey<'#'>},
    {"keystar", 56, 102, DrawKey<'*'>},
    {"backspace", 36, 72, DrawBackspaceButton},
    {"forward", 18, 54, DrawForwardButton},
    {"light0", 7, 6, DrawQualityLight, true},
    {"light1", 7, 9, DrawQualityLight, true},
    {"light2", 7, 12, DrawQualityLight, true},
    {"light3", 7, 15, DrawQualityLight, true},
    {"warning", 18, 18, DrawBalanceWarning, true},
    {"skinspanel", 300, 210, DrawSkinsPanel},
    {"audiopanel", 220, 170, DrawAudioPanel},
    {"menupanel", 200, 150, DrawMenuPanel},
    {"install", 110, 60, DrawInstallButton},
    {"useskin", 110, 60, DrawUseSkinButton},
    {"arrowleft", 14, 42, DrawArrowLeft},
    {"arrowright", 14, 42, DrawArrowRight},
    {"arrowup", 12, 36, DrawArrowUp},
    {"arrowdown", 12, 36, DrawArrowDown},
    {"hthumb", 30, 42, DrawScrollThumb},
    {"vthumb", 12, 60, DrawScrollThumb},
    {"htrack", 208, 14, DrawScrollTrack},
    {"vtrack", 12, 84, DrawScrollTrack},
    {"sliderthumb", 24, 36, DrawSliderThumb},
    {"histpanel", 244, 136, DrawHistoryPanel},
    {"contpanel", 244, 136, DrawContactsPanel},
    {"btnmissed", 50, 60, DrawMissedButton},
    {"btnrecv", 50, 60, DrawReceivedButton},
    {"btndialed", 50, 60, DrawDialedButton},
    {"btnerase", 24, 60, DrawEraseButton},
    {"btnnew", 58, 60, DrawNewContactButton},
    {"btnedit", 58, 60, DrawEditContactButton},
    {"btndelete", 64, 60, DrawDeleteContactButton},
};

// The plum skin's colours: red from blue, green from red, blue from green (premultiplied
// pixels stay premultiplied).
void ToPlum(cairo_surface_t* surface) {
    cairo_surface_flush(surface);
    unsigned char* data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    for (int y = 0; y < cairo_image_surface_get_height(surface); ++y) {
        unsigned char* p = data + y * stride;
        for (int x = 0; x < cairo_image_surface_get_width(surface); ++x, p += 4) {
            // Bytes blue, green, red, alpha (ARGB32 on little-endian).
            const unsigned char blue = p[0], green = p[1], red = p[2];
            p[2] = blue;
            p[1] = red;
            p[0] = green;
        }
    }
    cairo_surface_mark_dirty(surface);
}

bool Render(const Picture& picture, const std::string& dir, bool plum) {
    cairo_surface_t* surface =
        cairo_image_surface_create(CAIRO_FORMAT_ARGB32, picture.width, picture.height);
    cairo_t* cr = cairo_create(surface);
    picture.draw(cr, picture.width, picture.height);
    bool ok = cairo_status(cr) == CAIRO_STATUS_SUCCESS;
    cairo_destroy(cr);
    if (ok && plum && !picture.keepColours) {
        ToPlum(surface);
    }
    ok = ok && WriteBmp32(surface, dir + "/" + picture.name + ".bmp");
    cairo_surface_destroy(surface);
    return ok;
}

} // namespace

int main(int argc, char** argv) {
    const bool plum = argc == 3 && std::strcmp(argv[2], "plum") == 0;
    if (argc != 2 && !plum) {
        std::fprintf(stderr, "usage: quorvex_skinart <output dir> [plum]\n");
        return 2;
    }
    int status = 0;
    for (const Picture& picture : kPictures) {
        if (!Render(picture, argv[1], plum)) {
            std::fprintf(stderr, "quorvex_skinart: cannot write %s.bmp in %s\n", picture.name,
                         argv[1]);
            status = 1;
            break;
        }
    }
    // The texts went through fontconfig: give its caches back, so a leak checker sees none.
    cairo_debug_reset_static_data();
    FcFini();
    return status;
}
