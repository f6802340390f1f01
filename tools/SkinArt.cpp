// quorvex_skinart <output dir>: draws every picture of the built-in skin and writes each as
// <name>.bmp (32-bit, straight alpha). Exits non-zero, naming the picture, on any failure.
#include <cairo.h>
#include <fontconfig/fontconfig.h>

#include <cstdio>
#include <string>

#include "tools/BmpFile.h"
#include "tools/CallArt.h"
#include "tools/LoginArt.h"
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
};

// Every picture of the built-in skin.
constexpr Picture kPictures[] = {
    {"preview", 212, 404, DrawPreview},
    {"icon", 32, 32, DrawProgramIcon},
    {"loginface", 232, 300, DrawLoginFace},
    {"signin", 120, 108, DrawSignInButton},
    {"hide", 18, 54, DrawHideButton},
    {"minimise", 18, 54, DrawMinimiseButton},
    {"close", 18, 54, DrawCloseButton},
    {"callface", 232, 440, DrawCallFace},
    {"talk", 48, 144, DrawTalkButton},
    {"hangup", 48, 144, DrawHangUpButton},
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
    {"light0", 7, 6, DrawQualityLight},
    {"light1", 7, 9, DrawQualityLight},
    {"light2", 7, 12, DrawQualityLight},
    {"light3", 7, 15, DrawQualityLight},
    {"warning", 18, 18, DrawBalanceWarning},
};

bool Render(const Picture& picture, const std::string& dir) {
    cairo_surface_t* surface =
        cairo_image_surface_create(CAIRO_FORMAT_ARGB32, picture.width, picture.height);
    cairo_t* cr = cairo_create(surface);
    picture.draw(cr, picture.width, picture.height);
    bool ok = cairo_status(cr) == CAIRO_STATUS_SUCCESS;
    cairo_destroy(cr);
    ok = ok && WriteBmp32(surface, dir + "/" + picture.name + ".bmp");
    cairo_surface_destroy(surface);
    return ok;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: quorvex_skinart <output dir>\n");
        return 2;
    }
    int status = 0;
    for (const Picture& picture : kPictures) {
        if (!Render(picture, argv[1])) {
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
